#include "report/report_builder.h"

#include <algorithm>
#include <unordered_map>

#include "collection/trace_record.h"
#include "report/report_lines.h"
#include "script/script.h"

namespace orvik {
namespace {

using ItemList = std::vector<std::unique_ptr<CollectionItem>>;

const TraceRecord* AsTrace(const CollectionItem& item) {
    return item.TypeCode == kTraceRecordType ? static_cast<const TraceRecord*>(&item) : nullptr;
}

bool IsUnscriptedTrace(const CollectionItem& item) {
    return item.TypeCode == kTraceRecordType && item.Tag == kTagOutsideScript;
}

// The last item of the run that starts at the script item `first`: the item
// before the next script item or the next trace recorded outside a script.
std::size_t SectionEnd(const ItemList& items, std::size_t first) {
    std::size_t last = first;
    while (last + 1 < items.size()) {
        const CollectionItem& next = *items[last + 1];
        if (next.TypeCode == kScriptType || IsUnscriptedTrace(next)) {
            break;
        }
        ++last;
    }
    return last;
}

// Tests beyond the grid's last position are left out of the test table as
// they are of the grid: a crafted script of thousands of tests must not make
// a report of thousands of pages.
constexpr std::size_t kListedTests = kGridPositions - 1;

std::vector<ReportTestRow> TestRows(const Script& script, const ItemList& items, std::size_t first,
                                    std::size_t last) {
    // The values printed are the ones the run's first trace of each criterion
    // was judged by, not whatever the library says today.
    std::unordered_map<std::int32_t, const Criterion*> judgedBy;
    for (std::size_t i = first; i <= last; ++i) {
        if (const TraceRecord* trace = AsTrace(*items[i])) {
            judgedBy.try_emplace(trace->Criteria.Id, &trace->Criteria);
        }
    }
    std::vector<ReportTestRow> rows;
    for (const ScriptElement& element : script.Elements) {
        if (rows.size() == kListedTests) {
            break;
        }
        ReportTestRow& row = rows.emplace_back();
        row.Position = element.Position;
        row.Postfix = element.Postfix;
        const auto found = judgedBy.find(element.CriterionId);
        if (found != judgedBy.end()) {
            row.Defined = true;
            row.TargetImpedance = found->second->TargetImpedance;
            row.DoubleEnded = found->second->IsDifferential();
            row.AllowableError = found->second->AllowableError;
        }
    }
    return rows;
}

// Counts the coupon marker at `marker` and enters its traces into the grid.
void AddCoupon(ScriptReportSection& section, const ItemList& items, std::size_t marker,
               std::size_t last) {
    ++section.Logged;
    const bool inGrid = section.Coupons.size() < static_cast<std::size_t>(kGridCouponLimit);
    if (!inGrid) {
        section.GridLimited = true;
    }
    ReportCoupon* coupon = nullptr;
    if (inGrid) {
        coupon = &section.Coupons.emplace_back();
        coupon->Serial = static_cast<const CouponMarker&>(*items[marker]).Serial;
    }
    bool anyTrace = false;
    bool anyFailed = false;
    for (std::size_t i = marker + 1; i <= last; ++i) {
        const TraceRecord* trace = AsTrace(*items[i]);
        if (!trace) {
            break;
        }
        anyTrace = true;
        anyFailed = anyFailed || !trace->Passed;
        if (!coupon) {
            continue;
        }
        const std::int32_t position = trace->ElementPosition;
        if (position >= 0 && position < kGridPositions) {
            coupon->Values[static_cast<std::size_t>(position)] = trace->Average;
        } else {
            section.GridLimited = true;
        }
    }
    if (coupon) {
        coupon->Failed = anyFailed;
    }
    if (anyTrace) {
        ++section.Tested;
        ++(anyFailed ? section.Failed : section.Passed);
    }
}

ScriptReportSection BuildScriptSection(const ItemList& items, std::size_t first, std::size_t last) {
    const auto& script = static_cast<const Script&>(*items[first]);
    ScriptReportSection section;
    section.Customer = script.Customer;
    section.Operator = script.Operator;
    section.JobNumber = script.JobNumber;
    section.StationId = script.StationId;
    section.Tests = TestRows(script, items, first, last);
    section.TestCount = static_cast<int>(std::min(script.Elements.size(), kListedTests));
    if (script.Elements.size() > kListedTests) {
        section.GridLimited = true;
    }
    for (std::size_t i = first; i <= last; ++i) {
        if (items[i]->TypeCode == kCouponMarkerType) {
            AddCoupon(section, items, i, last);
        }
    }
    return section;
}

SampleReportSection BuildSampleSection(const ItemList& items, bool withHeader) {
    SampleReportSection section;
    section.WithCompanyHeader = withHeader;
    for (const auto& item : items) {
        if (!IsUnscriptedTrace(*item)) {
            continue;
        }
        const auto& trace = static_cast<const TraceRecord&>(*item);
        section.Rows.push_back({trace.Name, trace.Passed, trace.Average,
                                trace.Criteria.TargetImpedance, trace.Criteria.AllowableError,
                                trace.Criteria.IsDifferential()});
    }
    return section;
}

void AddPlainLines(std::vector<ReportCells>& lines, const std::vector<std::string>& texts) {
    for (const std::string& text : texts) {
        lines.push_back({text});
    }
}

// Every line of the report in order, a dash line being one cell of dashes.
std::vector<ReportCells> ReportSequence(const ReportContent& content, int dashCount) {
    std::vector<ReportCells> lines;
    const std::vector<std::string> header = CompanyHeaderLines(content.Preferences);
    for (const ScriptReportSection& section : content.Scripts) {
        AddPlainLines(lines, header);
        lines.push_back({kReportBanner});
        lines.push_back(CustomerCells(section));
        lines.push_back(JobCells(section));
        lines.push_back(TestTableHeaderCells());
        lines.push_back({DashLine(dashCount)});
        for (const ReportTestRow& row : section.Tests) {
            lines.push_back(TestRowCells(row));
        }
        for (ReportCells& count : BoardCountCells(section)) {
            lines.push_back(std::move(count));
        }
        lines.push_back(GridHeaderCells(1, section.TestCount));
        lines.push_back({DashLine(dashCount)});
        for (const ReportCoupon& coupon : section.Coupons) {
            lines.push_back(GridRowCells(coupon, 1, section.TestCount));
        }
    }
    if (content.Samples.WithCompanyHeader) {
        AddPlainLines(lines, header);
    }
    lines.push_back({kReportBanner});
    if (!content.Samples.Rows.empty()) {
        lines.push_back(SampleHeaderCells());
        lines.push_back({DashLine(dashCount)});
        for (const ReportSampleRow& row : content.Samples.Rows) {
            lines.push_back(SampleRowCells(row));
        }
    }
    return lines;
}

}  // namespace

bool ReportContent::GridLimited() const {
    return std::any_of(Scripts.begin(), Scripts.end(),
                       [](const ScriptReportSection& section) { return section.GridLimited; });
}

std::string ReportContent::LimitNote() const {
    std::string note;
    if (GridLimited()) {
        note = kGridLimitedNote;
    }
    if (RunsLimited) {
        note += note.empty() ? "" : " ";
        note += kRunsLimitedNote;
    }
    return note;
}

ReportBuilder::ReportBuilder(const ItemList& items, const ReportPreferences& preferences) {
    content_.Preferences = preferences;
    std::size_t listedResults = 0;
    std::size_t i = 0;
    while (i < items.size()) {
        if (items[i]->TypeCode != kScriptType) {
            ++i;
            continue;
        }
        if (content_.Scripts.size() == static_cast<std::size_t>(kReportRunLimit) ||
            listedResults >= static_cast<std::size_t>(kReportResultLimit)) {
            content_.RunsLimited = true;
            break;
        }
        const std::size_t last = SectionEnd(items, i);
        content_.Scripts.push_back(BuildScriptSection(items, i, last));
        const ScriptReportSection& listed = content_.Scripts.back();
        listedResults += listed.Coupons.size() * static_cast<std::size_t>(listed.TestCount);
        i = last + 1;
    }
    content_.Samples = BuildSampleSection(items, content_.Scripts.empty());
}

std::string ReportBuilder::Text() const {
    std::string text;
    for (const ReportCells& line : ReportSequence(content_, kTextDashCount)) {
        text += JoinCells(line, "       ");
        text += "\r\n";
    }
    return text;
}

std::vector<std::string> ReportBuilder::TabLines(int dashCount) const {
    std::vector<std::string> lines;
    for (const ReportCells& line : ReportSequence(content_, dashCount)) {
        lines.push_back(JoinCells(line, "\t"));
    }
    return lines;
}

}  // namespace orvik
