// The histogram of a test's averages: every average in one class, and every
// limit either drawn where it is on the axis or named as off it.
#include <gtest/gtest.h>
#include <rapidcheck/gtest.h>

#include <algorithm>
#include <numeric>

#include "chart/recording_device_context.h"
#include "chart/xgraph.h"
#include "report/statistics_appendix.h"

namespace orvik {
namespace {

RC_GTEST_PROP(Histogram, CountsEveryAverageAndShowsOrNamesEveryLimit, ()) {
    const auto spread = *rc::gen::element(0.0, 1e-6, 0.01, 0.5, 3.0);
    const auto values = *rc::gen::container<std::vector<double>>(
        *rc::gen::inRange(1, 400), rc::gen::map(rc::gen::inRange(-1000, 1000),
                                                [&](int v) { return 50.0 + spread * v / 1000.0; }));
    const double tolerance = *rc::gen::element(0.5, 2.0, 5.0, 10.0);
    const HistogramData histogram = HistogramOf(values, 50.0 - tolerance, 50.0 + tolerance, 50.0);
    RC_ASSERT(std::accumulate(histogram.Counts.begin(), histogram.Counts.end(), 0) ==
              static_cast<int>(values.size()));
    RC_ASSERT(histogram.Counts.size() <= 40u);

    CXGraph chart;
    FillHistogramChart(chart, histogram);
    const auto& bands = chart.XAxisAt(0).Bands;
    // The classes come last, one band each, as high as their counts.
    RC_ASSERT(bands.size() >= histogram.Counts.size());
    const std::size_t first = bands.size() - histogram.Counts.size();
    for (std::size_t i = 0; i < histogram.Counts.size(); ++i) {
        RC_ASSERT(bands[first + i].YTo == histogram.Counts[i]);
    }
    std::string named;
    for (std::size_t i = 0; i < first; ++i) {
        named += bands[i].Text + "|";
    }
    const bool offScale = named.find("Off scale: ") != std::string::npos;
    // A lot narrower than a twentieth of what the axis would have to span
    // (its limits and its averages: a lot can lie wholly beside its limits)
    // is shown alone.
    const double range = histogram.Width * static_cast<double>(histogram.Counts.size());
    const double span = std::max(50.0 + tolerance, histogram.From + range) -
                        std::min(50.0 - tolerance, histogram.From);
    RC_ASSERT(offScale == (span > 20 * range));
    for (const char* limit : {"LSL", "USL"}) {
        const bool drawn = named.find(std::string(limit) + "|") != std::string::npos;
        const bool off = named.find(std::string(limit) + " ") != std::string::npos;
        RC_ASSERT(drawn != off);
    }
    // And it draws, whatever the lot: a lot of equal averages included.
    RecordingDeviceContext dc;
    chart.Paint(dc, PixelRect{0, 0, 400, 300});
    RC_ASSERT(!dc.CallsOf(RecordingDeviceContext::Kind::FillRect).empty());
}

}  // namespace
}  // namespace orvik
