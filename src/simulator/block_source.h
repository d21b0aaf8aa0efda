#pragma once

#include <cstdint>
#include <vector>

namespace orvik::sim {

enum class SimMode { SingleEnded, Differential };

// Where the simulated instrument's sample blocks come from. The instrument
// asks for one block per acquire-block command, counting blocks from the last
// arming register write; a source may be replaced at any time.
class WaveformSource {
  public:
    static constexpr int kSamplesPerBlock = 1024;  // 2048 bytes
    static constexpr int kBlocksPerRecord = 8;

    virtual ~WaveformSource() = default;
    virtual std::vector<std::int16_t> Block(SimMode mode, int blockIndex) = 0;
};

// A plain rising step: a quiet baseline, then the launched step at a fixed
// sample, twice as high when the far end of the cable is open. Enough to
// carry sample blocks over the link; it models no cable or load.
class PlainStepSource : public WaveformSource {
  public:
    static constexpr int kLaunchSample = 2000;
    static constexpr int kRiseSamples = 20;
    static constexpr int kBaseline = 300;

    std::vector<std::int16_t> Block(SimMode mode, int blockIndex) override;
    // The whole record the blocks are cut from.
    static double Level(SimMode mode, int sample);
};

}  // namespace orvik::sim
