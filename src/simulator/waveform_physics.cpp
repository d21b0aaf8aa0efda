#include "simulator/waveform_physics.h"

#include <algorithm>
#include <cmath>
#include <numbers>

#include "instrument/response_kernel.h"

namespace orvik::sim {
namespace {

constexpr double kSamplesPerInch = 75.0;

// Single-ended: a 50.9-ohm cable; differential: a 104.6-ohm pair, whose
// two lines together give about twice the single-ended step.
constexpr CablePhysics kSingleEndedPhysics{-12000.0, 12410.0, 50.9, 1100, 3071, 8, 110.0, 2.0};
constexpr CablePhysics kDifferentialPhysics{-23000.0, 23310.0, 104.6, 1150, 3286, 8, 140.0, 2.5};

// Shape of each cable's response: the same family as the program's built-in
// kernels, a little different in every marker (only the shape matters: the
// response is scaled to a unit step).
constexpr KernelMarkers kSingleEndedShape{
    222, {8.31, 9.35, 10.46, 11.62, 12.84}, 135.2, 59, 1.06, 11310.0, 4};
constexpr KernelMarkers kDifferentialShape{
    480, {5.48, 5.93, 6.39, 6.88, 7.39}, 98.6, 74, 1.02, 13380.0, 5};

// Incident step: a raised-cosine edge, then a small ringing that dies out
// long before the end of the cable.
constexpr int kIncidentRise = 20;
constexpr double kRingingAmplitude = 0.02;
constexpr double kRingingDecay = 60.0;
constexpr double kRingingPeriod = 45.0;

double IncidentStep(int t) {
    if (t <= 0) {
        return 0.0;
    }
    if (t < kIncidentRise) {
        return 0.5 * (1.0 - std::cos(std::numbers::pi * t / kIncidentRise));
    }
    const double after = t - kIncidentRise;
    return 1.0 + kRingingAmplitude * std::exp(-after / kRingingDecay) *
                     std::sin(2.0 * std::numbers::pi * after / kRingingPeriod);
}

// The response's rise per sample: a smooth foot, the kernel-shaped main part
// and an exponential tail, scaled to add up to one.
std::vector<double> BuildCableResponse(const CablePhysics& physics, const KernelMarkers& shape) {
    const std::vector<double> main = SynthesizeKernel(shape);
    const int foot = physics.FootLength;
    const int tail = static_cast<int>(std::ceil(14.0 * physics.TailTimeConstant));
    std::vector<double> response(static_cast<std::size_t>(foot) + main.size() + tail, 0.0);
    // Foot: a cubic from zero with zero slope to the main part's first value
    // and slope.
    const double start = main[0];
    const double slope = (main[1] - main[0]) * foot;
    for (int i = 0; i < foot; ++i) {
        const double s = static_cast<double>(i) / foot;
        response[i] = (3.0 * s * s - 2.0 * s * s * s) * start + (s * s * s - s * s) * slope;
    }
    std::copy(main.begin(), main.end(), response.begin() + foot);
    const std::size_t tailStart = foot + main.size();
    for (int i = 0; i < tail; ++i) {
        response[tailStart + i] = main.back() * std::exp(-(i + 1) / physics.TailTimeConstant);
    }
    double sum = 0.0;
    for (double value : response) {
        sum += value;
    }
    for (double& value : response) {
        value /= sum;
    }
    return response;
}

double ReflectionCoefficient(double from, double to) {
    if (std::isinf(to)) {
        return 1.0;
    }
    return (to - from) / (to + from);
}

// Impedances of the 1/75-inch layers of a line attachment.
std::vector<double> LayerImpedances(const CableAttachment& attachment) {
    std::vector<double> layers;
    if (attachment.What == CableAttachment::Kind::Airline) {
        const int count = static_cast<int>(std::lround(attachment.Length * kSamplesPerInch));
        layers.assign(static_cast<std::size_t>(std::max(count, 0)), attachment.Impedance);
    } else {
        const CouponProfile& profile = attachment.Profile;
        const int count = static_cast<int>(std::lround(profile.Length() * kSamplesPerInch));
        layers.resize(static_cast<std::size_t>(std::max(count, 0)));
        for (int i = 0; i < count; ++i) {
            layers[i] = profile.ImpedanceAt((i + 0.5) / kSamplesPerInch);
        }
    }
    return layers;
}

// Reflected step of a layered line ending open, by stepping waves through the
// layers half a sample at a time (each layer's one-way delay).
// The far end is open, or loaded by `termination` ohms.
std::vector<double> LayeredReflection(const std::vector<double>& layers, double cableImpedance,
                                      int samples, double termination = INFINITY) {
    const int count = static_cast<int>(layers.size());
    std::vector<double> reflection(count + 1);
    for (int i = 0; i <= count; ++i) {
        const double left = i == 0 ? cableImpedance : layers[i - 1];
        const double right = i == count ? termination : layers[i];
        reflection[i] = ReflectionCoefficient(left, right);
    }
    // forward[i]: wave in layer i heading right; backward[i]: heading left.
    std::vector<double> forward(count + 1, 0.0), backward(count + 1, 0.0);
    std::vector<double> nextForward(count + 1, 0.0), nextBackward(count + 1, 0.0);
    std::vector<double> result(static_cast<std::size_t>(std::max(samples, 0)), 0.0);
    for (int step = 0; step < 2 * samples; ++step) {
        const int reach = std::min(count, step + 1);
        for (int i = 0; i <= reach; ++i) {
            const double fromLeft = i == 0 ? 1.0 : forward[i - 1];
            const double fromRight = i == count ? 0.0 : backward[i];
            const double r = reflection[i];
            const double toLeft = r * fromLeft + (1.0 - r) * fromRight;
            if (i < count) {
                nextForward[i] = (1.0 + r) * fromLeft - r * fromRight;
            }
            if (i == 0) {
                if (step % 2 == 0) {
                    result[step / 2] = toLeft;
                }
            } else {
                nextBackward[i - 1] = toLeft;
            }
        }
        std::swap(forward, nextForward);
        std::swap(backward, nextBackward);
    }
    return result;
}

}  // namespace

WaveformPhysics::WaveformPhysics(std::uint64_t noiseSeed) : noise_(noiseSeed) {}

const CablePhysics& WaveformPhysics::Physics(MeasurementMode mode) {
    return IsDifferential(mode) ? kDifferentialPhysics : kSingleEndedPhysics;
}

const std::vector<double>& WaveformPhysics::CableResponse(MeasurementMode mode) {
    static const std::vector<double> singleEnded =
        BuildCableResponse(kSingleEndedPhysics, kSingleEndedShape);
    static const std::vector<double> differential =
        BuildCableResponse(kDifferentialPhysics, kDifferentialShape);
    return IsDifferential(mode) ? differential : singleEnded;
}

void WaveformPhysics::Attach(MeasurementMode mode, CableAttachment attachment) {
    ModeState& state = State(mode);
    if (!(state.attachment == attachment)) {
        state.attachment = std::move(attachment);
        state.noiseFree.reset();
    }
}

const CableAttachment& WaveformPhysics::Attached(MeasurementMode mode) const {
    return State(mode).attachment;
}

std::vector<double> WaveformPhysics::ReflectedStep(const CableAttachment& attachment,
                                                   double cableImpedance, int samples) {
    const std::size_t length = static_cast<std::size_t>(std::max(samples, 0));
    switch (attachment.What) {
        case CableAttachment::Kind::Open:
            return std::vector<double>(length, 1.0);
        case CableAttachment::Kind::Short:
            return std::vector<double>(length, -1.0);
        case CableAttachment::Kind::Load:
            return std::vector<double>(length,
                                       ReflectionCoefficient(cableImpedance, attachment.Impedance));
        case CableAttachment::Kind::Airline:
        case CableAttachment::Kind::Coupon:
            break;
    }
    const bool terminated =
        attachment.What == CableAttachment::Kind::Airline && attachment.Terminated;
    return LayeredReflection(LayerImpedances(attachment), cableImpedance, samples,
                             terminated ? attachment.Impedance : INFINITY);
}

const std::vector<double>& WaveformPhysics::NoiseFreeRecord(MeasurementMode mode) {
    ModeState& state = State(mode);
    if (state.noiseFree) {
        return *state.noiseFree;
    }
    const CablePhysics& physics = Physics(mode);
    const std::vector<double>& response = CableResponse(mode);
    std::vector<double> record(kRecordLength);
    for (int t = 0; t < kRecordLength; ++t) {
        record[t] = physics.Baseline + physics.StepHeight * IncidentStep(t - physics.IncidentIndex);
    }
    // Every change of the reflected wave arrives through the cable response.
    const int first = physics.EndOfCable - physics.FootLength;
    const std::vector<double> reflected =
        ReflectedStep(state.attachment, physics.CableImpedance, kRecordLength - first);
    double previous = 0.0;
    const int responseLength = static_cast<int>(response.size());
    for (int tau = 0; tau < static_cast<int>(reflected.size()); ++tau) {
        const double change = reflected[tau] - previous;
        previous = reflected[tau];
        if (change == 0.0) {
            continue;
        }
        const double height = physics.StepHeight * change;
        double risen = 0.0;
        for (int t = first + tau; t < kRecordLength; ++t) {
            const int i = t - first - tau;
            if (i < responseLength) {
                risen += response[i];
            } else {
                risen = 1.0;
            }
            record[t] += height * risen;
        }
    }
    state.noiseFree = std::move(record);
    return *state.noiseFree;
}

void WaveformPhysics::Record(MeasurementMode mode, std::span<std::int16_t> samples) {
    const std::vector<double>& clean = NoiseFreeRecord(mode);
    std::normal_distribution<double> noise(0.0, Physics(mode).NoiseDeviation);
    const std::size_t count = std::min<std::size_t>(samples.size(), clean.size());
    for (std::size_t t = 0; t < count; ++t) {
        const double value = std::round(clean[t] + noise(noise_));
        samples[t] = static_cast<std::int16_t>(std::clamp(value, -32768.0, 32767.0));
    }
}

std::vector<std::int16_t> WaveformPhysics::Record(MeasurementMode mode) {
    std::vector<std::int16_t> samples(kRecordLength);
    Record(mode, samples);
    return samples;
}

}  // namespace orvik::sim
