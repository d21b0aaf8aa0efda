#include "report/report_lines.h"

#include <charconv>

#include "base/c_numbers.h"

namespace orvik {

std::string FormatFixed(double value, int decimals) {
    // to_chars never consults the locale: a report reads the same on every desk.
    char buffer[400];
    const auto result = std::to_chars(buffer, buffer + sizeof buffer, PrintableNumber(value),
                                      std::chars_format::fixed, decimals);
    return std::string(buffer, result.ptr);
}

namespace {

const char* YesNo(bool value) {
    return value ? "Yes" : "No";
}

const char* PassFail(bool passed) {
    return passed ? "Pass" : "Fail";
}

}  // namespace

std::vector<std::string> CompanyHeaderLines(const ReportPreferences& preferences) {
    return {
        preferences.CompanyName,         preferences.Address1,      preferences.Address2,
        "Tel: " + preferences.Telephone, "Fax: " + preferences.Fax, "Email: " + preferences.Email,
        "Web: " + preferences.Web,
    };
}

ReportCells CustomerCells(const ScriptReportSection& section) {
    return {"Customer:", section.Customer, "Operator:", section.Operator};
}

ReportCells JobCells(const ScriptReportSection& section) {
    return {"Job Number:", section.JobNumber, "Station ID:", section.StationId};
}

ReportCells TestTableHeaderCells() {
    return {"Test #", "Postfix", "Z Nominal", "Differential", "Tolerance +/-"};
}

ReportCells TestRowCells(const ReportTestRow& row) {
    if (!row.Defined) {
        return {std::to_string(row.Position), row.Postfix, "Undefined", "Undefined", "Undefined"};
    }
    return {std::to_string(row.Position), row.Postfix, FormatFixed(row.TargetImpedance, 2),
            YesNo(row.DoubleEnded), "%" + FormatFixed(row.AllowableError, 1)};
}

std::vector<ReportCells> BoardCountCells(const ScriptReportSection& section) {
    return {
        {"Boards Logged:", std::to_string(section.Logged)},
        {"Boards Tested:", std::to_string(section.Tested)},
        {"Boards Passed:", std::to_string(section.Passed)},
        {"Boards Failed:", std::to_string(section.Failed)},
    };
}

ReportCells GridHeaderCells(int firstTest, int lastTest) {
    ReportCells cells = {"Serial #", "Result"};
    for (int test = firstTest; test <= lastTest; ++test) {
        cells.push_back("Test " + std::to_string(test));
    }
    return cells;
}

ReportCells GridRowCells(const ReportCoupon& coupon, int firstTest, int lastTest) {
    ReportCells cells = {coupon.Serial, coupon.Failed ? "Fail" : "Pass"};
    for (int test = firstTest; test <= lastTest; ++test) {
        // A column beyond the grid's storage has no stored value to show.
        const double value = test >= 0 && test < kGridPositions ? coupon.Values[test] : 0.0;
        cells.push_back(FormatFixed(value, 2));
    }
    return cells;
}

ReportCells SampleHeaderCells() {
    return {"Coupon Name", "Result", "Average", "Z Nominal", "Tolerance", "Differential"};
}

ReportCells SampleRowCells(const ReportSampleRow& row) {
    return {row.Name,
            PassFail(row.Passed),
            FormatFixed(row.Average, 2),
            FormatFixed(row.TargetImpedance, 2),
            FormatFixed(row.AllowableError, 1),
            YesNo(row.DoubleEnded)};
}

std::string DashLine(int count) {
    return std::string(static_cast<std::size_t>(count > 0 ? count : 0), '-');
}

std::string JoinCells(const ReportCells& cells, const std::string& separator) {
    std::string line;
    for (std::size_t i = 0; i < cells.size(); ++i) {
        if (i > 0) {
            line += separator;
        }
        line += cells[i];
    }
    return line;
}

}  // namespace orvik
