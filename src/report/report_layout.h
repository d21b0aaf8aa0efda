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
};

// One line placed on a page. A line of one cell is plain text; the cells of
// the others start at the tab stops (device pixels from the page's left edge).
struct PlacedLine {
    int X = 0;
    int Y = 0;  // top of the line
    ReportCells Cells;
    std::vector<int> TabStops;
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

// Where each cell of `line` starts, given the widths of its texts: the first
// at the line's x, each further one at the first tab stop that leaves at
// least `gap` after the text before it (or `gap` after that text when no
// stop is left), so that cells never run into each other.
std::vector<int> CellPositions(const PlacedLine& line, const std::vector<int>& cellWidths, int gap);

}  // namespace orvik
