#pragma once

#include <string>
#include <vector>

#include "chart/trace_chart.h"
#include "chart/xgraph.h"

namespace orvik::samples {

// A measured-looking impedance profile with everything the graph view shows
// about it.
struct SampleTrace {
    std::vector<CurvePoint> Points;  // inches, ohms
    TraceFigures Figures;            // as the graph view summarises a trace
};

// 750 samples, 1/75 inch apart: launch, a 51-ohm coupon trace with ripple
// and noise, and the open end rising off the top of the scale.
SampleTrace MakeSampleTrace();

// `count` points over 10 inches with the same shape, for timing.
std::vector<CurvePoint> DenseProfile(int count);

// Fills a chart as the trace graph view does, through the same set-up: the
// profile as curve 0 by reference, then ShowTraceChart with the trace's
// summary and limits.
void SetUpGraphViewChart(CXGraph& chart, const SampleTrace& trace);

}  // namespace orvik::samples
