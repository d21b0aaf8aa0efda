// Arbitrary collections, as the .tdr reader takes them, through the report:
// its content, the text and tab renderings, the layout on screen and on
// paper, and the CSV export. Whatever the collection holds (runs without
// coupons, coupons without traces, element positions outside the grid, more
// coupons than the grid keeps), the counts must add up and nothing may be
// read outside the grid.
#include <cstdint>
#include <cstdlib>
#include <span>
#include <string>

#include "base/archive.h"
#include "collection/orvik_doc.h"
#include "collection/trace_record.h"
#include "report/csv_export.h"
#include "report/report_builder.h"
#include "report/report_layout.h"
#include "report/report_lines.h"

namespace {

using namespace orvik;

ReportPreferences SomePreferences() {
    ReportPreferences preferences;
    preferences.CompanyName = "Coupon Works";
    preferences.Address1 = "1 Bench Road";
    preferences.Telephone = "555 0100";
    preferences.Email = "lab@example.com";
    return preferences;
}

void CheckCounts(const ReportContent& content, const COrvikDoc::ItemList& items) {
    std::size_t markers = 0;
    std::size_t unscripted = 0;
    for (const auto& item : items) {
        markers += item->TypeCode == kCouponMarkerType ? 1 : 0;
        unscripted += item->TypeCode == kTraceRecordType && item->Tag == kTagOutsideScript ? 1 : 0;
    }
    std::size_t logged = 0;
    for (const ScriptReportSection& section : content.Scripts) {
        const auto kept = static_cast<int>(section.Coupons.size());
        if (section.Passed + section.Failed != section.Tested || section.Tested > section.Logged ||
            kept > section.Logged || kept > kGridCouponLimit ||
            (kept < section.Logged && !section.GridLimited) ||
            section.Tests.size() != static_cast<std::size_t>(section.TestCount)) {
            std::abort();
        }
        logged += static_cast<std::size_t>(section.Logged);
    }
    if (logged > markers || content.Samples.Rows.size() != unscripted) {
        std::abort();
    }
}

void CheckRenderings(const ReportBuilder& builder) {
    const std::string text = builder.Text();
    if (text.size() < 2 || text.compare(text.size() - 2, 2, "\r\n") != 0) {
        std::abort();
    }
    if (builder.TabLines(kScreenDashCount).empty()) {
        std::abort();
    }
    for (const ReportMedium medium : {ReportMedium::Screen, ReportMedium::Paper}) {
        const ReportLayout layout =
            LayOutReport(builder.Content(), ReportMetrics{600, 600, 50, medium});
        if (layout.Pages.empty()) {
            std::abort();
        }
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    COrvikDoc document;
    try {
        Archive archive = Archive::ForLoading(std::span(data, size));
        document.Serialize(archive);
    } catch (const ArchiveError&) {
        return 0;
    }
    const ReportBuilder builder(document.Items(), SomePreferences());
    CheckCounts(builder.Content(), document.Items());
    CheckRenderings(builder);
    const std::string csv = CollectionCsv(document.Items());
    if (csv.empty()) {
        std::abort();
    }
    return 0;
}
