#include "instrument/cable_measurement.h"

#include <cmath>

#include "instrument/response_kernel.h"

namespace orvik {
namespace {

bool CanDivide(const std::vector<double>& kernel) {
    for (std::size_t k = 0; k < ResponseKernel::kMinLength && k < kernel.size(); ++k) {
        if (!(kernel[k] > 0.0) || !std::isfinite(kernel[k])) {
            return false;
        }
    }
    return kernel.size() >= ResponseKernel::kMinLength;
}

}  // namespace

CableMeasurement MeasureCable(const AcquisitionBuffers& buffers) {
    using S = CableSearch;
    const std::vector<double>& raw = buffers.Raw;
    const std::vector<double>& derivative = buffers.DerivativeCopy;
    CableMeasurement result;

    const double threshold = raw[S::kLevelReference] * S::kCrossingFraction;
    int i = S::kSearchStart;
    while (i < S::kSearchLimit && raw[i] < threshold) {
        ++i;
    }
    result.Crossing = i;
    if (i > S::kFailureLimit) {
        return result;
    }
    while (i > S::kSearchStart && derivative[i] > S::kEdgeFootThreshold) {
        --i;
    }
    if (derivative[i] <= 0.0) {
        ++i;
    }
    const int end = i;
    int j = end + S::kKernelMinimum;
    while (j < end + S::kKernelMaximum && derivative[j] > S::kKernelTailThreshold) {
        ++j;
    }
    result.EndOfCable = end;
    result.Kernel.assign(derivative.begin() + end, derivative.begin() + j);
    result.Found = CanDivide(result.Kernel);
    return result;
}

}  // namespace orvik
