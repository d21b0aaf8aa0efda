#pragma once

#include <string>
#include <vector>

#include "report/report_builder.h"

namespace orvik {

// A report line as cells; the text rendering joins them with seven spaces,
// the tab rendering with tabs. Both renderings and the window's layout take
// their lines from here, so that they cannot drift apart.
using ReportCells = std::vector<std::string>;

inline constexpr const char* kReportBanner = "Korveth MV300 - Orvik Script Report";
inline constexpr int kTextDashCount = 120;
inline constexpr int kScreenDashCount = 155;

// Fixed-point text of a number in the C locale, whatever locale the program runs in.
std::string FormatFixed(double value, int decimals);

// Company name, both address lines and the four contact lines.
std::vector<std::string> CompanyHeaderLines(const ReportPreferences& preferences);

ReportCells CustomerCells(const ScriptReportSection& section);
ReportCells JobCells(const ScriptReportSection& section);
ReportCells TestTableHeaderCells();
ReportCells TestRowCells(const ReportTestRow& row);
// Logged, tested, passed and failed, one line each.
std::vector<ReportCells> BoardCountCells(const ScriptReportSection& section);
// Grid lines for tests firstTest to lastTest (1-based, inclusive).
ReportCells GridHeaderCells(int firstTest, int lastTest);
ReportCells GridRowCells(const ReportCoupon& coupon, int firstTest, int lastTest);
ReportCells SampleHeaderCells();
ReportCells SampleRowCells(const ReportSampleRow& row);
std::string DashLine(int count);

std::string JoinCells(const ReportCells& cells, const std::string& separator);

}  // namespace orvik
