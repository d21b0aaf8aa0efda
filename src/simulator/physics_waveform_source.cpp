#include "simulator/physics_waveform_source.h"

#include <algorithm>

namespace orvik::sim {

std::vector<std::int16_t> PhysicsWaveformSource::Block(MeasurementMode mode,
                                                       const CableAttachment& attached,
                                                       int blockIndex) {
    const int block = ((blockIndex % kBlocksPerRecord) + kBlocksPerRecord) % kBlocksPerRecord;
    // A new sweep starts with the first block after arming; blocks asked for
    // without one (or on the other cable) still come from a whole record.
    if (block == 0 || recordMode_ != mode) {
        physics_.Attach(mode, attached);
        physics_.Record(mode, record_);
        recordMode_ = mode;
        ++recordsTaken_;
    }
    const auto first = record_.begin() + block * kSamplesPerBlock;
    return std::vector<std::int16_t>(first, first + kSamplesPerBlock);
}

}  // namespace orvik::sim
