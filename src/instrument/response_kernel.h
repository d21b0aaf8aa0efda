#pragma once

#include <span>
#include <string>
#include <vector>

#include "base/measurement_mode.h"

namespace orvik {

// The instrument's step derivative as seen at the end of its cable, for one
// measurement mode: what the deconvolution divides out of every record. A
// kernel read from the instrument store or made by a cable characterisation is
// "stored"; without one the built-in kernel of the mode applies.
class ResponseKernel {
  public:
    // The amplitude estimate of the deconvolution reads the first 50 values.
    static constexpr std::size_t kMinLength = 50;
    // Longest kernel the processing accepts: every index stays inside the
    // acquisition arrays for any end-of-cable index up to 5000.
    static constexpr std::size_t kMaxLength = 1000;

    explicit ResponseKernel(MeasurementMode mode) : mode_(mode) {}

    MeasurementMode Mode() const { return mode_; }

    // The values in force: the stored kernel, else the built-in one.
    std::span<const double> Values() const;
    std::size_t Length() const { return Values().size(); }
    // Sum of all values in force, added left to right.
    double Sum() const;

    bool HasStored() const { return !stored_.empty(); }
    std::span<const double> Stored() const { return stored_; }
    // Takes a stored kernel. Refused (false, nothing changes) unless it has
    // kMinLength..kMaxLength values, all of them numbers, and every value
    // the amplitude estimate divides by (the first kMinLength) non-zero.
    bool SetStored(std::vector<double> values);
    // Why SetStored would refuse `values`; empty when it would take them.
    static std::string Unusable(std::span<const double> values);
    // Forgets the stored kernel, so the built-in one applies.
    void DiscardStored() { stored_.clear(); }

    // The built-in kernel of a mode: 222 values single-ended, 480 differential.
    static std::span<const double> BuiltIn(MeasurementMode mode);

  private:
    MeasurementMode mode_;
    std::vector<double> stored_;
};

// What the built-in kernels are made to honour: their length, first five
// values, peak value and index, last value and the sum of all values.
struct KernelMarkers {
    int Length;
    double First[5];
    double Peak;
    int PeakIndex;
    double Last;
    double Sum;
    int SumDecimals;  // the sum holds to this many decimals
};

const KernelMarkers& BuiltInKernelMarkers(MeasurementMode mode);

// A smooth kernel honouring `markers` exactly: the first five values, then a
// monotone cubic rise with zero slope at the peak, then a rounded slow decay
// to the last value whose steepness is chosen so that the values add up to
// the sum. Exposed for the simulated instrument, which builds its own cable
// response of the same family.
std::vector<double> SynthesizeKernel(const KernelMarkers& markers);

}  // namespace orvik

namespace orvik {

// The program's two kernels, one per mode.
struct ResponseKernels {
    ResponseKernel SingleEnded{MeasurementMode::SingleEnded};
    ResponseKernel Differential{MeasurementMode::Differential};

    ResponseKernel& For(MeasurementMode mode) {
        return IsDifferential(mode) ? Differential : SingleEnded;
    }
    const ResponseKernel& For(MeasurementMode mode) const {
        return IsDifferential(mode) ? Differential : SingleEnded;
    }
};

}  // namespace orvik
