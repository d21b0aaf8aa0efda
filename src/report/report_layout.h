#pragma once

#include <vector>

#include "report/report_builder.h"
#include "report/report_lines.h"

namespace orvik {

enum class ReportMedium { Screen, Paper };

// What the layout needs of the device it is drawn on.
struct ReportMetrics {
    double DpiX = 96.0;
    double DpiY = 96.0;
    int LineHeight = 16;  // of the font drawn with, in device pixels
    ReportMedium Medium = ReportMedium::Screen;
    // The sheet of paper in device pixels; 0 where the device has no pages
    // (a screen), and then nothing is cut short or moved to a next page.
    int PageWidth = 0;
    int PageHeight = 0;
};

// One line placed on a page. A line of one cell is plain text; the cells of
// the others start at the tab stops (device pixels from the page's left edge).
struct PlacedLine {
    int X = 0;
    int Y = 0;  // top of the line
    ReportCells Cells;
    std::vector<int> TabStops;
    int RightEdge = 0;  // where a plain line's text must end
};

struct ReportPage {
    std::vector<PlacedLine> Lines;
};

// The report laid out on a device: one page on screen, as many as the
// report's own page breaks make on paper.
struct ReportLayout {
    std::vector<ReportPage> Pages;
    int Width = 0;   // the scrollable area on screen
    int Height = 0;  // the scrollable area on screen
};

// On paper a grid block holds at most this many coupons and tests, and the
// sample table ends a page when more than kPaperSampleLines lines are on it.
inline constexpr int kPaperGridCoupons = 45;
inline constexpr int kPaperGridTests = 5;
inline constexpr int kPaperSampleLines = 50;

ReportLayout LayOutReport(const ReportContent& content, const ReportMetrics& metrics);

// Where a cell is drawn and how wide its text may be; a longer text is cut
// there (with an ellipsis) so that it never reaches the next column.
struct CellBox {
    int X = 0;
    int Room = 0;

    bool operator==(const CellBox&) const = default;
};

// The box of each cell of `line`: the first at the line's x, cell n at the
// line's n-th tab stop, whatever the texts before it, so that every value
// stands under its own heading. Past the last stop the columns go on at the
// spacing of the last two. A cell may fill its column up to `gap` before the
// next one; a plain line (one cell) up to the line's right edge.
std::vector<CellBox> CellBoxes(const PlacedLine& line, int gap);

}  // namespace orvik
