#include "instrument/response_kernel.h"

#include <cmath>

namespace orvik {
namespace {

constexpr KernelMarkers kSingleEndedMarkers{
    222, {11.1755, 12.5068, 13.937, 15.4298, 17.0193}, 136.145, 58, 1.04919, 11267.9688, 4};
constexpr KernelMarkers kDifferentialMarkers{
    480, {10.6276, 11.4546, 12.3231, 13.2344, 14.1856}, 99.211, 73, 1.01692, 13433.40489, 5};

// Fills the rise from index 4 to the peak: a cubic Hermite curve that leaves
// the fifth value with the slope of the first five and arrives flat at the peak.
void FillRise(const KernelMarkers& m, std::vector<double>& values) {
    for (int i = 0; i < 5; ++i) {
        values[i] = m.First[i];
    }
    const double* f = m.First;
    // Slope at index 4 of the cubic through the values at indexes 1 to 4.
    const double slope = (11.0 * f[4] - 18.0 * f[3] + 9.0 * f[2] - 2.0 * f[1]) / 6.0;
    const double span = m.PeakIndex - 4;
    const double rise = m.Peak - f[4];
    const double m0 = slope * span / rise;  // slope of the unit curve at its start
    for (int t = 5; t < m.PeakIndex; ++t) {
        const double s = (t - 4) / span;
        const double s2 = s * s;
        const double s3 = s2 * s;
        // Unit Hermite curve from 0 (slope m0) to 1 (slope 0).
        const double unit = (-2.0 * s3 + 3.0 * s2) + m0 * (s3 - 2.0 * s2 + s);
        values[t] = f[4] + rise * unit;
    }
    values[m.PeakIndex] = m.Peak;
}

// Fills the decay after the peak with last + (peak - last) * (1-s)^q * (1+q s):
// flat at the peak, falling monotonically and arriving flat at the last value.
void FillDecay(const KernelMarkers& m, double q, std::vector<double>& values) {
    const int lastIndex = m.Length - 1;
    const double span = lastIndex - m.PeakIndex;
    for (int t = m.PeakIndex + 1; t < lastIndex; ++t) {
        const double s = (t - m.PeakIndex) / span;
        values[t] = m.Last + (m.Peak - m.Last) * std::pow(1.0 - s, q) * (1.0 + q * s);
    }
    values[lastIndex] = m.Last;
}

double SumOf(std::span<const double> values) {
    double sum = 0.0;
    for (double value : values) {
        sum += value;
    }
    return sum;
}

}  // namespace

const KernelMarkers& BuiltInKernelMarkers(MeasurementMode mode) {
    return IsDifferential(mode) ? kDifferentialMarkers : kSingleEndedMarkers;
}

std::vector<double> SynthesizeKernel(const KernelMarkers& markers) {
    std::vector<double> values(static_cast<std::size_t>(markers.Length), 0.0);
    FillRise(markers, values);
    // A larger exponent makes the decay steeper and the sum smaller; find the
    // exponent that gives the sum by bisection.
    double low = 1.0;
    double high = 200.0;
    for (int iteration = 0; iteration < 200; ++iteration) {
        const double q = 0.5 * (low + high);
        FillDecay(markers, q, values);
        if (SumOf(values) > markers.Sum) {
            low = q;
        } else {
            high = q;
        }
    }
    FillDecay(markers, 0.5 * (low + high), values);
    return values;
}

std::span<const double> ResponseKernel::BuiltIn(MeasurementMode mode) {
    static const std::vector<double> singleEnded = SynthesizeKernel(kSingleEndedMarkers);
    static const std::vector<double> differential = SynthesizeKernel(kDifferentialMarkers);
    return IsDifferential(mode) ? differential : singleEnded;
}

std::span<const double> ResponseKernel::Values() const {
    if (!stored_.empty()) {
        return stored_;
    }
    return BuiltIn(mode_);
}

double ResponseKernel::Sum() const {
    return SumOf(Values());
}

std::string ResponseKernel::Unusable(std::span<const double> values) {
    if (values.size() < kMinLength || values.size() > kMaxLength) {
        return "has " + std::to_string(values.size()) + " values, not " +
               std::to_string(kMinLength) + " to " + std::to_string(kMaxLength);
    }
    for (const double value : values) {
        if (!std::isfinite(value)) {
            return "holds values that are not numbers";
        }
    }
    for (std::size_t k = 0; k < kMinLength; ++k) {
        if (values[k] == 0.0) {
            return "holds a zero among its first " + std::to_string(kMinLength) +
                   " values, which every measurement divides by";
        }
    }
    return {};
}

bool ResponseKernel::SetStored(std::vector<double> values) {
    if (!Unusable(values).empty()) {
        return false;
    }
    stored_ = std::move(values);
    return true;
}

}  // namespace orvik
