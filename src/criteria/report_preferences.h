#pragma once

#include <string>

namespace orvik {

// Company details printed at the head of reports, and a default serial-number
// prefix and postfix; stored in criteria.dat in this order.
struct ReportPreferences {
    std::string CompanyName;
    std::string Address1;
    std::string Address2;
    std::string Telephone;
    std::string Fax;
    std::string Email;
    std::string Web;
    std::string DefaultPrefix;
    std::string DefaultPostfix;

    bool operator==(const ReportPreferences&) const = default;
};

}  // namespace orvik
