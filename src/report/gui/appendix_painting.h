#pragma once

#include <span>

#include "report/statistics_appendix.h"

class QPagedPaintDevice;
class QPainter;

namespace orvik {

// Draws the statistics pages after a report, each run on a page of its own
// (a run with many tests goes on over further pages): the title, the run,
// the table, why figures are missing, and a histogram per test. Each page
// begins with a new page on the device.
void PaintStatisticsAppendix(QPagedPaintDevice& device, QPainter& painter,
                             std::span<const StatisticsAppendixPage> pages);

}  // namespace orvik
