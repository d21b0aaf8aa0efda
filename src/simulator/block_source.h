#pragma once

#include <cstdint>
#include <vector>

#include "base/measurement_mode.h"
#include "simulator/cable_attachment.h"

namespace orvik::sim {

// Where the simulated instrument's sample blocks come from. The instrument
// asks for one block per acquire-block command, counting blocks from the last
// arming register write, and says which cable the front end is switched to
// and what is attached to it; a source may be replaced at any time.
class WaveformSource {
  public:
    static constexpr int kSamplesPerBlock = 1024;  // 2048 bytes
    static constexpr int kBlocksPerRecord = 8;

    virtual ~WaveformSource() = default;
    virtual std::vector<std::int16_t> Block(MeasurementMode mode, const CableAttachment& attached,
                                            int blockIndex) = 0;
};

// A plain rising step: a quiet baseline, then the launched step at a fixed
// sample. It models no cable and ignores what is attached: tests use it when
// only the transport of the samples matters.
class PlainStepSource : public WaveformSource {
  public:
    static constexpr int kLaunchSample = 2000;
    static constexpr int kRiseSamples = 20;
    static constexpr int kBaseline = 300;

    std::vector<std::int16_t> Block(MeasurementMode mode, const CableAttachment& attached,
                                    int blockIndex) override;
    // The whole record the blocks are cut from.
    static double Level(MeasurementMode mode, int sample);
};

}  // namespace orvik::sim
