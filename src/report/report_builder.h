#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "base/collection_item.h"
#include "criteria/report_preferences.h"

namespace orvik {

// The results grid keeps room for this many coupons per scripted run and for
// element positions 1 to kGridPositions - 1; slot 0 is never printed.
inline constexpr int kGridCouponLimit = 1000;
inline constexpr int kGridPositions = 100;
// A report lists runs until it holds this many runs or grid results (coupons
// by tests); a crafted collection of thousands of runs must not make a report
// of thousands of pages (each run starts a page, and a full grid of 1000
// coupons by 99 tests fills some 460 sheets).
inline constexpr int kReportRunLimit = 250;
inline constexpr int kReportResultLimit = 200000;

// One row of a run's test table: the element and, when some trace of the run
// used its criterion, that trace's copy of the criterion.
struct ReportTestRow {
    std::int32_t Position = 0;
    std::string Postfix;
    bool Defined = false;
    double TargetImpedance = 0.0;
    bool DoubleEnded = false;
    double AllowableError = 0.0;
};

// One coupon of the results grid.
struct ReportCoupon {
    std::string Serial;
    bool Failed = false;
    std::array<double, kGridPositions> Values{};  // by element position
};

// One scripted run found in the collection.
struct ScriptReportSection {
    std::string Customer;
    std::string Operator;
    std::string JobNumber;
    std::string StationId;
    std::vector<ReportTestRow> Tests;  // the first 99 elements
    int TestCount = 0;                 // columns of the grid: the script's elements, at most 99
    int Logged = 0;
    int Tested = 0;
    int Passed = 0;
    int Failed = 0;
    std::vector<ReportCoupon> Coupons;  // at most kGridCouponLimit
    // Coupons, tests or positions beyond the grid's storage were left out.
    bool GridLimited = false;
};

// One trace recorded outside a script.
struct ReportSampleRow {
    std::string Name;
    bool Passed = false;
    double Average = 0.0;
    double TargetImpedance = 0.0;
    double AllowableError = 0.0;
    bool DoubleEnded = false;
};

struct SampleReportSection {
    bool WithCompanyHeader = true;  // only when no scripted run was reported
    std::vector<ReportSampleRow> Rows;
};

// What a report says, independent of how it is drawn.
struct ReportContent {
    ReportPreferences Preferences;
    std::vector<ScriptReportSection> Scripts;
    SampleReportSection Samples;
    // Runs after the first kReportRunLimit, or after kReportResultLimit grid
    // results, were left out.
    bool RunsLimited = false;

    bool GridLimited() const;
    // What the operator is told about what the report left out; empty when
    // it lists everything.
    std::string LimitNote() const;
};

// Builds the report of a collection's items and renders it as text. It reads
// the items only.
class ReportBuilder {
  public:
    ReportBuilder(const std::vector<std::unique_ptr<CollectionItem>>& items,
                  const ReportPreferences& preferences);

    const ReportContent& Content() const { return content_; }

    // The text rendering: CR LF line ends, cells separated by seven spaces,
    // dash lines of 120.
    std::string Text() const;
    // The tab rendering in order, without vertical spacing: cells separated
    // by one tab, no line ends.
    std::vector<std::string> TabLines(int dashCount) const;

  private:
    ReportContent content_;
};

// The operator's note when a run's grid could not hold everything.
inline constexpr const char* kGridLimitedNote =
    "The report lists at most 1000 coupons per run and tests 1 to 99; further results are "
    "counted but not listed.";
inline constexpr const char* kRunsLimitedNote =
    "The report lists at most 250 runs and 200000 results in all; later runs are not listed.";

}  // namespace orvik
