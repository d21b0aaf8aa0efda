#pragma once

#include <cstdint>
#include <optional>
#include <random>
#include <span>
#include <string>
#include <vector>

#include "base/measurement_mode.h"
#include "simulator/cable_attachment.h"

namespace orvik::sim {

// The true properties of one cable of the simulated MV300 and of the sampler
// behind it. They differ a little from the program's built-in calibration, as
// every real instrument does.
struct CablePhysics {
    double Baseline;          // raw level before the incident step
    double StepHeight;        // raw height of the settled incident step (the true divisor)
    double CableImpedance;    // ohms (the true calibration constant)
    int IncidentIndex;        // sample where the incident step starts
    int EndOfCable;           // sample where the open end's reflection begins
    int FootLength;           // samples of smooth onset before EndOfCable
    double TailTimeConstant;  // samples: slow settling after the response's main part
    double NoiseDeviation;    // raw units, standard deviation of the sampler noise
};

// The reflected-step record of the simulated instrument: an incident step that
// has settled well before sample 2000, then, from the end of the cable on, the
// reflections of whatever is attached, seen through the cable's own response
// (the round trip smooths a sharp reflection into a kernel-like rise with a
// slow tail), plus small Gaussian sampler noise. The attachment's reflections
// are computed as a lossless layered line of 1/75-inch layers, so multiple
// reflections are included and a reflection from x inches arrives 75 x
// samples after the end of the cable.
class WaveformPhysics {
  public:
    static constexpr int kRecordLength = 8192;

    explicit WaveformPhysics(std::uint64_t noiseSeed = 1);

    static const CablePhysics& Physics(MeasurementMode mode);

    void Attach(MeasurementMode mode, CableAttachment attachment);
    const CableAttachment& Attached(MeasurementMode mode) const;

    // Restarts the noise sequence.
    void SeedNoise(std::uint64_t seed) { noise_.seed(seed); }

    // The record as the sampler delivers it: the noise-free record plus fresh
    // noise, rounded to signed 16-bit samples. `samples` holds up to 8192.
    void Record(MeasurementMode mode, std::span<std::int16_t> samples);
    std::vector<std::int16_t> Record(MeasurementMode mode);

    // The record without noise, in raw units (computed once per attachment).
    const std::vector<double>& NoiseFreeRecord(MeasurementMode mode);

    // The cable's own round-trip response to a unit step reflected at its end:
    // entry t is the rise at sample EndOfCable - FootLength + t; the entries
    // add up to 1.
    static const std::vector<double>& CableResponse(MeasurementMode mode);

    // The reflected wave, relative to the incident step, that the attachment
    // sends back into an ideal cable, one value per sample after the end of
    // the cable (`samples` values).
    static std::vector<double> ReflectedStep(const CableAttachment& attachment,
                                             double cableImpedance, int samples);

  private:
    struct ModeState {
        CableAttachment attachment;
        std::optional<std::vector<double>> noiseFree;
    };
    ModeState& State(MeasurementMode mode) {
        return IsDifferential(mode) ? differential_ : singleEnded_;
    }
    const ModeState& State(MeasurementMode mode) const {
        return IsDifferential(mode) ? differential_ : singleEnded_;
    }

    ModeState singleEnded_;
    ModeState differential_;
    std::mt19937_64 noise_;
};

}  // namespace orvik::sim
