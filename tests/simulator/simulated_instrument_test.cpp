// The one assembly of the simulated MV300 that the programs, tools and
// benchmarks share.
#include "simulator/simulated_instrument.h"

#include <gtest/gtest.h>

#include <fstream>
#include <sstream>

#include "simulator/cable_attachment.h"
#include "test_files.h"

namespace orvik::sim {
namespace {

constexpr auto kSingle = MeasurementMode::SingleEnded;
constexpr auto kDifferential = MeasurementMode::Differential;

TEST(SimulatedInstrumentAssembly, CablesCarryTheDefaultsOrTheOneCouponGiven) {
    VirtualClock clock;
    const auto plain = DefaultSimulatedInstrument(clock);
    EXPECT_EQ(plain->Instrument().Attached(kSingle), DefaultAttachment(kSingle));
    EXPECT_EQ(plain->Instrument().Attached(kDifferential), DefaultAttachment(kDifferential));
    EXPECT_NE(DefaultAttachment(kSingle), DefaultAttachment(kDifferential));

    SimulatedInstrumentSetup setup;
    setup.Coupon = *CouponProfile::Parse("60@0-10");
    const auto coupon = AssembleSimulatedInstrument(clock, setup);
    ASSERT_TRUE(coupon.Ok());
    const CableAttachment expected = CableAttachment::Coupon(*setup.Coupon);
    EXPECT_EQ((*coupon)->Instrument().Attached(kSingle), expected);
    EXPECT_EQ((*coupon)->Instrument().Attached(kDifferential), expected);
}

TEST(SimulatedInstrumentAssembly, ARefusedStoreFileIsAFailureAndStaysAsItWas) {
    testing::TemporaryFolder folder;
    const std::string path = folder.File("notes.txt");
    std::ofstream(path) << "not a store";
    VirtualClock clock;
    SimulatedInstrumentSetup setup;
    setup.Options.instrument.storePath = path;
    const auto refused = AssembleSimulatedInstrument(clock, setup);
    ASSERT_FALSE(refused.Ok());
    EXPECT_EQ(refused.Error().Message.rfind("--sim-store: ", 0), 0u) << refused.Error().Message;
    std::ifstream file(path);
    std::stringstream content;
    content << file.rdbuf();
    EXPECT_EQ(content.str(), "not a store");
}

}  // namespace
}  // namespace orvik::sim
