// The simulated sampler: one record of the physics per arming, cut into the
// eight blocks of an acquisition.
#include "simulator/physics_waveform_source.h"

#include <gtest/gtest.h>

#include "simulator/simulated_mv300.h"

namespace orvik::sim {
namespace {

constexpr auto kSingle = MeasurementMode::SingleEnded;
constexpr auto kDifferential = MeasurementMode::Differential;

std::vector<std::int16_t> Sweep(PhysicsWaveformSource& source, MeasurementMode mode,
                                const CableAttachment& attached) {
    std::vector<std::int16_t> record;
    for (int block = 0; block < WaveformSource::kBlocksPerRecord; ++block) {
        const auto samples = source.Block(mode, attached, block);
        EXPECT_EQ(samples.size(), 1024u);
        record.insert(record.end(), samples.begin(), samples.end());
    }
    return record;
}

TEST(PhysicsWaveformSource, EightBlocksAreOneRecordAndEachArmingTakesANewOne) {
    PhysicsWaveformSource source(7);
    const CableAttachment open = CableAttachment::Nothing();
    const auto first = Sweep(source, kSingle, open);
    EXPECT_EQ(source.RecordsTaken(), 1);
    EXPECT_TRUE(std::equal(first.begin(), first.end(), source.LastRecord().begin()));
    const auto second = Sweep(source, kSingle, open);
    EXPECT_EQ(source.RecordsTaken(), 2);
    EXPECT_NE(first, second) << "fresh noise every record";

    // The same seed gives the same records.
    PhysicsWaveformSource twin(7);
    EXPECT_EQ(Sweep(twin, kSingle, open), first);

    // The sample is what the physics gives, within its noise.
    WaveformPhysics physics;
    const auto& clean = physics.NoiseFreeRecord(kSingle);
    for (int t = 0; t < 8192; t += 97) {
        ASSERT_NEAR(first[t], clean[t], 12.0) << t;
    }
}

TEST(PhysicsWaveformSource, FollowsTheCableAndWhatIsAttached) {
    PhysicsWaveformSource source;
    const auto open = Sweep(source, kSingle, CableAttachment::Nothing());
    const auto shorted = Sweep(source, kSingle, CableAttachment::ShortCircuit());
    const auto pair = Sweep(source, kDifferential, CableAttachment::Nothing());
    const auto& single = WaveformPhysics::Physics(kSingle);
    const auto& differential = WaveformPhysics::Physics(kDifferential);
    EXPECT_NEAR(open[6000], single.Baseline + 2 * single.StepHeight, 15.0);
    EXPECT_NEAR(shorted[6000], single.Baseline, 15.0);
    EXPECT_NEAR(pair[6000], differential.Baseline + 2 * differential.StepHeight, 15.0);

    // Blocks asked for on another cable without a new arming still come
    // from a whole record of that cable.
    const auto block = source.Block(kSingle, CableAttachment::Nothing(), 5);
    EXPECT_EQ(source.RecordsTaken(), 4);
    EXPECT_NEAR(block[0], single.Baseline + 2 * single.StepHeight, 15.0);
}

TEST(SimulatedMv300Attachments, EachCableKeepsItsOwn) {
    Mv300Options options;
    options.warm = true;
    SimulatedMv300 instrument(options);
    EXPECT_NE(dynamic_cast<PhysicsWaveformSource*>(&instrument.Source()), nullptr)
        << "the physics by default";
    EXPECT_EQ(instrument.Attached(kSingle), CableAttachment::Nothing());
    instrument.Attach(kSingle, CableAttachment::Airline(75.0, 4.0));
    instrument.Attach(kDifferential, CableAttachment::Coupon(CouponProfile::Uniform(100.0)));
    EXPECT_EQ(instrument.Attached(kSingle).Describe(), "airline 75 ohms, 4 in");
    EXPECT_EQ(instrument.Attached(kDifferential).What, CableAttachment::Kind::Coupon);
    // A power cycle does not take the coupon off.
    instrument.PowerCycle();
    EXPECT_EQ(instrument.Attached(kSingle), CableAttachment::Airline(75.0, 4.0));
}

}  // namespace
}  // namespace orvik::sim
