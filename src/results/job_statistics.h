#pragma once

#include <cstddef>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "results/control_chart.h"
#include "results/lot_statistics.h"
#include "results/measurement.h"

namespace orvik::results {

// The statistics of one test (a script element, known by its postfix) over
// a selection of measurements.
struct TestStatistics {
    std::optional<std::string> Test;        // the postfix; none outside a script
    std::optional<std::string> Criterion;   // its name, when all were judged by one name
    std::optional<ToleranceLimits> Limits;  // none when the limits differed
    std::size_t Count = 0;                  // measurements of the test
    std::size_t Passed = 0;
    double Yield = 0.0;  // Passed / Count
    // The measurements whose average the figures and the chart are made of,
    // as places in the selection, oldest first: a chart's point i is the
    // measurement Points[i]. A window that held no sample has no average
    // and counts only in Count and Passed.
    std::vector<std::size_t> Points;
    LotFigures Figures;
    std::optional<IndividualsChart> Chart;
};

// Per test of `selection` (oldest first, as the store reads it), in script
// order: by the element's position, then by first appearance.
std::vector<TestStatistics> StatisticsPerTest(std::span<const MeasurementSummary> selection);
// The same of whole measurements.
std::vector<TestStatistics> StatisticsPerTest(std::span<const Measurement> selection);

}  // namespace orvik::results
