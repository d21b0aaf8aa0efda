#include "chart/gui/tools/sample_chart.h"

#include <cmath>
#include <cstdint>
#include <ctime>

namespace orvik::samples {

namespace {

constexpr double kPi = 3.14159265358979323846;

// Small repeatable noise in -1..1.
class Noise {
  public:
    double Next() {
        state_ = state_ * 6364136223846793005ULL + 1442695040888963407ULL;
        return static_cast<double>(state_ >> 11) / static_cast<double>(1ULL << 53) * 2.0 - 1.0;
    }

  private:
    std::uint64_t state_ = 0x5eedULL;
};

double Bump(double x, double at, double width) {
    const double d = (x - at) / width;
    return std::exp(-d * d);
}

double Impedance(double x, Noise& noise) {
    double z = 50.0 + 6.0 * Bump(x, 0.25, 0.06) - 5.0 * Bump(x, 0.45, 0.05);
    const double coupon = 0.5 * (1.0 + std::tanh((x - 0.6) / 0.05));
    z += coupon * (1.2 + 0.6 * std::sin(2 * kPi * x / 3.1) + 0.3 * std::sin(2 * kPi * x / 0.7) +
                   0.25 * noise.Next());
    // The open end of the coupon.
    z += 150.0 * 0.5 * (1.0 + std::tanh((x - 8.9) / 0.15));
    return z;
}

}  // namespace

std::vector<CurvePoint> DenseProfile(int count) {
    std::vector<CurvePoint> points;
    points.reserve(static_cast<std::size_t>(count));
    Noise noise;
    for (int i = 0; i < count; ++i) {
        const double x = 10.0 * i / count;
        points.push_back({x, Impedance(x, noise)});
    }
    return points;
}

SampleTrace MakeSampleTrace() {
    SampleTrace trace;
    TraceFigures& figures = trace.Figures;
    figures.Name = "Sample #: 1";
    figures.CriterionName = "50 Ohm SE";
    figures.MinimumLimit = 45.0;
    figures.MaximumLimit = 55.0;
    figures.StartPosition = 4.0;
    figures.EndPosition = 7.0;
    Noise noise;
    for (int i = 0; i < 750; ++i) {
        const double x = i / 75.0;
        trace.Points.push_back({x, Impedance(x, noise)});
    }
    double sum = 0.0;
    int inside = 0;
    figures.Maximum = -1e300;
    figures.Minimum = 1e300;
    for (const CurvePoint& p : trace.Points) {
        if (p.X >= figures.StartPosition && p.X <= figures.EndPosition) {
            sum += p.Y;
            ++inside;
            figures.Maximum = std::max(figures.Maximum, p.Y);
            figures.Minimum = std::min(figures.Minimum, p.Y);
        }
    }
    figures.Average = sum / inside;
    figures.Passed =
        figures.Maximum <= figures.MaximumLimit && figures.Minimum >= figures.MinimumLimit;
    std::tm when{};
    when.tm_year = 2025 - 1900;
    when.tm_mon = 2;
    when.tm_mday = 4;
    when.tm_hour = 10;
    when.tm_min = 15;
    when.tm_wday = 2;
    char text[64];
    std::strftime(text, sizeof text, "%c", &when);
    figures.Time = text;
    return trace;
}

void SetUpGraphViewChart(CXGraph& chart, const SampleTrace& trace) {
    const auto count = static_cast<std::int32_t>(trace.Points.size());
    if (chart.SetCurveData(trace.Points.data(), count, 0, 0, 0, false) == nullptr) {
        return;
    }
    const TraceFigures& figures = trace.Figures;
    ShowTraceChart(chart, SummariseFigures(figures), ImpedanceAxisTop(figures.Average),
                   TraceLimits{figures.StartPosition, figures.EndPosition, figures.MinimumLimit,
                               figures.MaximumLimit});
}

}  // namespace orvik::samples
