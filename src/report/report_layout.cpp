#include "report/report_layout.h"

#include <algorithm>
#include <cmath>
#include <initializer_list>

namespace orvik {
namespace {

struct Stops {
    static constexpr std::initializer_list<double> kRunDetails = {1.5, 3.75, 5.375};
    static constexpr std::initializer_list<double> kTestTable = {1.5, 3.0, 4.5, 6.0};
    static constexpr std::initializer_list<double> kTables = {1.5, 2.5, 3.5, 4.5, 5.5, 6.5};
};

// The x of column n of a line: its x for the first, then its tab stops, and
// past the last stop further columns at the spacing of the last two.
int ColumnX(const PlacedLine& line, std::size_t n) {
    const std::vector<int>& stops = line.TabStops;
    if (n == 0 || stops.empty()) {
        return line.X;
    }
    if (n <= stops.size()) {
        return stops[n - 1];
    }
    const int before = stops.size() >= 2 ? stops[stops.size() - 2] : line.X;
    return stops.back() + static_cast<int>(n - stops.size()) * (stops.back() - before);
}

// Places lines on pages, keeping the running y of the report.
class Placer {
  public:
    explicit Placer(const ReportMetrics& metrics)
        : metrics_(metrics),
          paper_(metrics.Medium == ReportMedium::Paper),
          line_(std::max(1, metrics.LineHeight)),
          left_(Inches(paper_ ? 0.75 : 0.25, metrics.DpiX)),
          top_(Inches(paper_ ? 0.5 : 0.25, metrics.DpiY)),
          dashes_(paper_ ? kTextDashCount : kScreenDashCount) {
        // The margins are the same on both sides, and at the foot of a sheet
        // as at its head.
        const int width =
            paper_ && metrics.PageWidth > 0 ? metrics.PageWidth : Inches(8.5, metrics.DpiX);
        rightEdge_ = width - left_;
        bottom_ = paper_ && metrics.PageHeight > 0 ? metrics.PageHeight - top_ : 0;
        layout_.Pages.emplace_back();
    }

    static int Inches(double inches, double dpi) {
        return static_cast<int>(std::lround(inches * dpi));
    }

    bool Paper() const { return paper_; }
    int Line() const { return line_; }
    int Top() const { return top_; }
    std::string Dashes() const { return DashLine(dashes_); }

    void Put(int y, ReportCells cells, std::initializer_list<double> stops = {}) {
        PlacedLine& placed = layout_.Pages.back().Lines.emplace_back();
        placed.X = left_;
        placed.Y = y;
        placed.Cells = std::move(cells);
        for (const double stop : stops) {
            placed.TabStops.push_back(Inches(stop, metrics_.DpiX));
        }
        placed.RightEdge = rightEdge_;
        if (placed.Cells.size() > 1) {
            // A wide grid widens the scrollable area to its last column.
            widest_ = std::max(widest_, ColumnX(placed, placed.Cells.size()) + left_);
        }
    }

    // Whether `lines` lines starting at y fit on the sheet.
    bool Fits(int y, int lines = 1) const { return bottom_ == 0 || y + lines * line_ <= bottom_; }

    // Where a block of `lines` lines meant for y goes: there, or at the top
    // margin of a new page when the sheet has no room left for it.
    int OnSheet(int y, int lines = 1) {
        if (Fits(y, lines)) {
            return y;
        }
        NewPage();
        return top_;
    }

    // Ends the page; the report goes on at the top margin of the next one.
    void NewPage() {
        if (!layout_.Pages.back().Lines.empty()) {
            layout_.Pages.emplace_back();
        }
    }

    ReportLayout Finish(int finalY) {
        if (layout_.Pages.size() > 1 && layout_.Pages.back().Lines.empty()) {
            layout_.Pages.pop_back();
        }
        layout_.Width = std::max(Inches(8.5, metrics_.DpiX), widest_);
        layout_.Height = finalY + 2 * line_;
        return std::move(layout_);
    }

  private:
    ReportMetrics metrics_;
    bool paper_;
    int line_;
    int left_;
    int top_;
    int dashes_;
    int rightEdge_ = 0;
    int bottom_ = 0;  // 0: no sheet, no foot
    int widest_ = 0;
    ReportLayout layout_;
};

// Company header with its lines at y, y + L, y + 2L and y + 4L to y + 7L;
// returns the y of the banner.
int PutCompanyHeader(Placer& placer, int y, const ReportPreferences& preferences) {
    const std::vector<std::string> lines = CompanyHeaderLines(preferences);
    const int offsets[] = {0, 1, 2, 4, 5, 6, 7};
    for (std::size_t i = 0; i < lines.size(); ++i) {
        placer.Put(y + offsets[i] * placer.Line(), {lines[i]});
    }
    return y + 9 * placer.Line();
}

// One block of the grid: header, dash line and the block's coupons; returns
// the y below its last line.
int PutGridBlock(Placer& placer, int y, const ScriptReportSection& section, std::size_t firstCoupon,
                 std::size_t endCoupon, int firstTest, int lastTest) {
    const int line = placer.Line();
    placer.Put(y, GridHeaderCells(firstTest, lastTest), Stops::kTables);
    placer.Put(y + line, {placer.Dashes()});
    y += 2 * line;
    for (std::size_t k = firstCoupon; k < endCoupon; ++k, y += line) {
        placer.Put(y, GridRowCells(section.Coupons[k], firstTest, lastTest), Stops::kTables);
    }
    return y;
}

// Returns the y where whatever follows the run goes.
int PutScriptSection(Placer& placer, int y, const ScriptReportSection& section,
                     const ReportPreferences& preferences) {
    const int line = placer.Line();
    y += placer.Top();
    const int banner = PutCompanyHeader(placer, y, preferences);
    placer.Put(banner, {kReportBanner});
    placer.Put(y + 11 * line, CustomerCells(section), Stops::kRunDetails);
    placer.Put(y + 12 * line, JobCells(section), Stops::kRunDetails);
    placer.Put(y + 14 * line, TestTableHeaderCells(), Stops::kTestTable);
    int last = y + 15 * line;
    placer.Put(last, {placer.Dashes()}, Stops::kTestTable);
    // A long table goes on at the top of the next sheet.
    for (const ReportTestRow& row : section.Tests) {
        last = placer.OnSheet(last + line);
        placer.Put(last, TestRowCells(row), Stops::kTestTable);
    }
    // The four counts stay together.
    int counts = placer.OnSheet(last + 3 * line, 4);
    for (ReportCells& cells : BoardCountCells(section)) {
        placer.Put(counts, std::move(cells), Stops::kRunDetails);
        counts += line;
    }
    const int failedLine = counts - line;
    if (!placer.Paper()) {
        const int below = PutGridBlock(placer, failedLine + 3 * line, section, 0,
                                       section.Coupons.size(), 1, section.TestCount);
        return below + 3 * line;
    }
    placer.NewPage();
    // A run without tests still lists its coupons and their verdicts.
    const int tests = std::max(section.TestCount, 1);
    for (std::size_t first = 0; first < section.Coupons.size(); first += kPaperGridCoupons) {
        const std::size_t end = std::min(section.Coupons.size(), first + kPaperGridCoupons);
        for (int firstTest = 1; firstTest <= tests; firstTest += kPaperGridTests) {
            const int lastTest = std::min(section.TestCount, firstTest + kPaperGridTests - 1);
            PutGridBlock(placer, placer.Top(), section, first, end, firstTest, lastTest);
            placer.NewPage();
        }
    }
    return placer.Top();
}

int PutSampleSection(Placer& placer, int y, const ReportContent& content) {
    const int line = placer.Line();
    // Nothing above it (no run reported): it starts at the top margin like a run.
    y = std::max(y, placer.Top());
    const int banner =
        content.Samples.WithCompanyHeader ? PutCompanyHeader(placer, y, content.Preferences) : y;
    placer.Put(banner, {kReportBanner});
    y = banner + line;
    if (content.Samples.Rows.empty()) {
        return y;
    }
    y = banner + 2 * line;
    placer.Put(y, SampleHeaderCells(), Stops::kTables);
    placer.Put(y + line, {placer.Dashes()});
    y += 2 * line;
    int linesOnPage = 2;  // the table header counts as two
    for (const ReportSampleRow& row : content.Samples.Rows) {
        if (!placer.Fits(y)) {
            y = placer.OnSheet(y);
            linesOnPage = 0;
        }
        placer.Put(y, SampleRowCells(row), Stops::kTables);
        y += line;
        if (placer.Paper() && ++linesOnPage > kPaperSampleLines) {
            placer.NewPage();
            y = placer.Top();
            linesOnPage = 0;
        }
    }
    return y;
}

}  // namespace

ReportLayout LayOutReport(const ReportContent& content, const ReportMetrics& metrics) {
    Placer placer(metrics);
    int y = 0;
    for (const ScriptReportSection& section : content.Scripts) {
        y = PutScriptSection(placer, y, section, content.Preferences);
    }
    y = PutSampleSection(placer, y, content);
    return placer.Finish(y);
}

std::vector<CellBox> CellBoxes(const PlacedLine& line, int gap) {
    if (line.Cells.size() == 1) {
        return {{line.X, std::max(0, line.RightEdge - line.X)}};
    }
    std::vector<CellBox> boxes;
    for (std::size_t n = 0; n < line.Cells.size(); ++n) {
        const int x = ColumnX(line, n);
        boxes.push_back({x, std::max(0, ColumnX(line, n + 1) - x - gap)});
    }
    return boxes;
}

}  // namespace orvik
