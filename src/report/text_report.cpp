#include "report/text_report.h"

#include <span>

#include "base/file_store.h"
#include "report/report_builder.h"

namespace orvik {

Status WriteTextReport(const std::string& path,
                       const std::vector<std::unique_ptr<CollectionItem>>& items,
                       const ReportPreferences& preferences) {
    const std::string text = ReportBuilder(items, preferences).Text();
    // Through a temporary file: a report that cannot be finished leaves the
    // old file as it was and nothing half-written beside it.
    return SaveFileAtomically(
        path, std::span(reinterpret_cast<const std::uint8_t*>(text.data()), text.size()));
}

std::string TextReportFailureMessage(const std::string& path, const Failure& failure) {
    return "The text report could not be written to " + path + ".\n" + failure.Message;
}

}  // namespace orvik
