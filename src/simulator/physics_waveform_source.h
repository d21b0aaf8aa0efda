#pragma once

#include <array>
#include <cstdint>
#include <optional>

#include "simulator/block_source.h"
#include "simulator/waveform_physics.h"

namespace orvik::sim {

// The simulated instrument's sampler: the first block after each arming
// takes a fresh record of the reflected step (with fresh noise) from the
// physics of the selected cable and what is attached to it, and that block
// and the seven following it are cut from the one record, as the sampler
// sweeps it once per acquisition.
class PhysicsWaveformSource : public WaveformSource {
  public:
    static constexpr int kRecordLength = kSamplesPerBlock * kBlocksPerRecord;

    explicit PhysicsWaveformSource(std::uint64_t noiseSeed = 1) : physics_(noiseSeed) {}

    std::vector<std::int16_t> Block(MeasurementMode mode, const CableAttachment& attached,
                                    int blockIndex) override;

    WaveformPhysics& Physics() { return physics_; }
    // The record the latest blocks were cut from.
    const std::array<std::int16_t, kRecordLength>& LastRecord() const { return record_; }
    int RecordsTaken() const { return recordsTaken_; }

  private:
    WaveformPhysics physics_;
    std::array<std::int16_t, kRecordLength> record_{};
    std::optional<MeasurementMode> recordMode_;
    int recordsTaken_ = 0;
};

}  // namespace orvik::sim
