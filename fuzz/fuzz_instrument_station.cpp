// Arbitrary store contents and sample blocks from the simulated instrument:
// start-up reads and puts in force whatever the store holds, then one Run
// Test acquisition and, when asked, a cable characterisation run on the
// arbitrary samples. Nothing may read outside its arrays (checked by the
// sanitizers), and the values in force must stay usable.
#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <vector>

#include "base/clock.h"
#include "instrument/instrument_station.h"
#include "silent_prompts.h"
#include "simulator/simulated_driver_port.h"

namespace {

using namespace orvik;

// Serves the given samples as the record, block after block (zeros beyond).
class GivenSamples : public sim::WaveformSource {
  public:
    explicit GivenSamples(std::vector<std::int16_t> samples) : samples_(std::move(samples)) {}
    std::vector<std::int16_t> Block(MeasurementMode, const sim::CableAttachment&,
                                    int blockIndex) override {
        std::vector<std::int16_t> block(kSamplesPerBlock, 0);
        const std::size_t first =
            static_cast<std::size_t>(blockIndex % kBlocksPerRecord) * kSamplesPerBlock;
        for (std::size_t i = 0; i < block.size() && first + i < samples_.size(); ++i) {
            block[i] = samples_[first + i];
        }
        return block;
    }

  private:
    std::vector<std::int16_t> samples_;
};

void Check(bool condition) {
    if (!condition) {
        std::abort();
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 2) {
        return 0;
    }
    const std::uint8_t flags = data[0];
    const int pageRecords = std::min<int>(data[1], 120);
    data += 2;
    size -= 2;

    VirtualClock clock;
    sim::SimulatorOptions options;
    options.instrument.warm = true;
    sim::SimulatedDriverPort port(clock, options);
    sim::SimulatedStore& store = port.Instrument().Store();
    // Page records: a page number and the page's 32 bytes.
    for (int record = 0; record < pageRecords && size >= 33; ++record) {
        sim::SimulatedStore::Page page;
        std::memcpy(page.data(), data + 1, page.size());
        store.Write(data[0], page);
        data += 33;
        size -= 33;
    }
    std::vector<std::int16_t> samples(std::min<std::size_t>(size / 2, kRecordSampleCount));
    if (!samples.empty()) {
        std::memcpy(samples.data(), data, samples.size() * 2);
    }
    port.Instrument().SetWaveformSource(std::make_unique<GivenSamples>(std::move(samples)));

    SilentPrompts prompts;
    InstrumentStation station(port, clock, prompts);
    station.SetDumpPath("");
    station.StartUp({});
    const MeasurementMode mode = ModeFromDifferential(flags & 1);
    for (const MeasurementMode each :
         {MeasurementMode::SingleEnded, MeasurementMode::Differential}) {
        const int end = station.Calibration().EndOfCable(each);
        Check(end >= kMinEndOfCable && end <= kMaxEndOfCable);
        Check(ResponseKernel::Unusable(station.Kernels().For(each).Values()).empty());
    }
    const MeasuredProfile profile = station.MeasureProfile(mode);
    Check(profile.Impedance.size() == kMeasuredProfileLength);
    if (flags & 2) {
        station.CharacterizeCable(mode);
        Check(ResponseKernel::Unusable(station.Kernels().For(mode).Values()).empty());
        station.MeasureProfile(mode);
    }
    return 0;
}
