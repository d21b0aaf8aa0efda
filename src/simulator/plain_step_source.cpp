#include "simulator/block_source.h"

#include <algorithm>
#include <cmath>

namespace orvik::sim {

double PlainStepSource::Level(MeasurementMode mode, int sample) {
    const double height = IsDifferential(mode) ? 23000.0 : 12000.0;
    const double rise =
        std::clamp(static_cast<double>(sample - kLaunchSample) / kRiseSamples, 0.0, 1.0);
    return kBaseline + height * rise;
}

std::vector<std::int16_t> PlainStepSource::Block(MeasurementMode mode, const CableAttachment&,
                                                 int blockIndex) {
    const int block = ((blockIndex % kBlocksPerRecord) + kBlocksPerRecord) % kBlocksPerRecord;
    std::vector<std::int16_t> samples(kSamplesPerBlock);
    for (int i = 0; i < kSamplesPerBlock; ++i) {
        samples[static_cast<std::size_t>(i)] =
            static_cast<std::int16_t>(std::lround(Level(mode, block * kSamplesPerBlock + i)));
    }
    return samples;
}

}  // namespace orvik::sim
