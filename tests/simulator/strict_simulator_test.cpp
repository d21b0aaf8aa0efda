// The simulated MV300 is as strict as the instrument: what is left unread in
// an IN pipe answers the next read until the pipe is aborted and reset, the
// sampler needs its timed register set-up, and a new program takes the
// instrument off the bus for a while.
#include <gtest/gtest.h>

#include "instrument/image_loading.h"
#include "instrument/instrument_link.h"
#include "link_test_support.h"
#include "simulator/sim_images.h"
#include "test_files.h"

namespace orvik {
namespace {

using testing::SimulatedStation;

// Blocks that say which block since arming they are: the sample value is the
// block's number from 1.
class NumberedBlocks : public sim::WaveformSource {
  public:
    std::vector<std::int16_t> Block(MeasurementMode, const sim::CableAttachment&,
                                    int blockIndex) override {
        return std::vector<std::int16_t>(kSamplesPerBlock,
                                         static_cast<std::int16_t>(blockIndex + 1));
    }
};

// The warm instrument, open, with its pipes reached one request at a time.
class StrictInstrument : public ::testing::Test {
  protected:
    StrictInstrument()
        : station_(testing::WarmInstrument()),
          device_(station_.port, kInstrumentInterfaceGuid, true),
          link_(device_, station_.clock) {
        station_.sim.Instrument().SetWaveformSource(std::make_unique<NumberedBlocks>());
    }
    bool Send(std::uint8_t code, std::uint8_t parameter) {
        CommandPacket command = BuildCommand(code, std::vector<std::uint8_t>{parameter});
        std::uint32_t length = kCommandSize;
        return device_.BulkOut()->Transfer(command, length);
    }
    // The page number a store-page reply carries, or -1 for no reply.
    int ReadPageReply() {
        CommandPacket reply{};
        std::uint32_t length = kCommandSize;
        return device_.BulkIn()->Transfer(reply, length) ? reply[2] : -1;
    }
    // The number of the block a read of the sample pipe brings, 0 for none.
    int ReadBlock() {
        std::array<std::uint8_t, 2048> block{};
        std::uint32_t length = block.size();
        if (!device_.EndpointByAddress(0x88)->Transfer(block, length) || length < 2) {
            return 0;
        }
        return block[0];
    }
    static void Clear(CUsbEndpoint& pipe, bool abort, bool reset) {
        if (abort) {
            pipe.AbortPipe();
        }
        if (reset) {
            pipe.ResetPipe();
        }
    }

    SimulatedStation station_;
    CUsbDevice device_;
    InstrumentLink link_;
};

TEST_F(StrictInstrument, UnreadReplyIsWhatTheNextReadGetsUntilThePipeIsAbortedAndReset) {
    for (const auto& [abort, reset] : {std::pair{false, false}, {false, true}, {true, false}}) {
        SCOPED_TRACE(std::string("abort ") + (abort ? "yes" : "no") + " reset " +
                     (reset ? "yes" : "no"));
        ASSERT_TRUE(Send(0xC3, 1));  // its reply is never read
        Clear(*device_.BulkIn(), abort, reset);
        ASSERT_TRUE(Send(0xC3, 4));
        EXPECT_EQ(ReadPageReply(), 1) << "the stale reply";
        EXPECT_EQ(ReadPageReply(), 4);
    }
    ASSERT_TRUE(Send(0xC3, 1));
    Clear(*device_.BulkIn(), true, true);
    ASSERT_TRUE(Send(0xC3, 4));
    EXPECT_EQ(ReadPageReply(), 4);
    EXPECT_EQ(station_.sim.Instrument().RepliesWaiting(), 0u);

    // The link's exchange clears the pipes first: a reply left behind by a
    // failed read never answers the next command.
    StorePage page{};
    int count = station_.sim.TransferCount();
    ASSERT_TRUE(link_.ReadPage(1, page));  // the reply is its last transfer
    count = station_.sim.TransferCount() - count;
    station_.sim.FailTransfer(station_.sim.TransferCount() + count);
    EXPECT_FALSE(link_.ReadPage(1, page));
    EXPECT_EQ(station_.sim.Instrument().RepliesWaiting(), 1u);
    ASSERT_TRUE(link_.ReadPage(4, page));
    EXPECT_EQ(page, station_.sim.Instrument().Store().Read(4));
}

TEST_F(StrictInstrument, UnreadBlockWaitsInTheSamplePipeUntilItIsAbortedAndReset) {
    testing::SetUpForBlocks(link_, station_.clock, MeasurementMode::SingleEnded);
    CUsbEndpoint& samples = *device_.EndpointByAddress(0x88);
    // Block 1's read never happens; block 2 is asked for.
    ASSERT_TRUE(link_.Exchange(0xA5, std::vector<std::uint8_t>{4}).Ok());
    ASSERT_TRUE(link_.Exchange(0xA5, std::vector<std::uint8_t>{4}).Ok());
    EXPECT_EQ(ReadBlock(), 1) << "the stale block";
    EXPECT_EQ(ReadBlock(), 2);

    for (const auto& [abort, reset, expected] :
         {std::tuple{false, true, 3}, {true, false, 5}, {true, true, 8}}) {
        ASSERT_TRUE(link_.Exchange(0xA5, std::vector<std::uint8_t>{4}).Ok());
        ASSERT_TRUE(link_.Exchange(0xA5, std::vector<std::uint8_t>{4}).Ok());
        Clear(samples, abort, reset);
        EXPECT_EQ(ReadBlock(), expected);
        if (expected != 8) {
            EXPECT_EQ(ReadBlock(), expected + 1);
        }
    }
    EXPECT_EQ(station_.sim.Instrument().BlocksWaiting(), 0u);
    EXPECT_EQ(link_.AcquireBlock().front(), 9);
}

TEST(StrictSampler, BlocksComeOnlyAfterTheTimedRegisterSetUp) {
    using Steps = std::vector<std::pair<std::uint16_t, std::int64_t>>;
    const Steps proper{{0x0000, 10}, {0x0000, 10}, {0x0023, 10}, {0x8241, 60}, {0x0082, 130}};
    struct Case {
        const char* what;
        Steps steps;
        std::uint8_t parameter;
        bool samples;
    };
    const Case cases[] = {
        {"the set-up the acquisition makes", proper, 4, true},
        {"no set-up", {}, 4, false},
        {"parameter other than 4", proper, 5, false},
        {"arming 40 ms after the front end",
         {{0x0000, 10}, {0x0000, 10}, {0x0023, 10}, {0x8241, 40}, {0x0082, 130}},
         4,
         false},
        {"block 100 ms after arming",
         {{0x0000, 10}, {0x0000, 10}, {0x0023, 10}, {0x8241, 60}, {0x0082, 100}},
         4,
         false},
        {"register writes 5 ms apart",
         {{0x0000, 5}, {0x0000, 5}, {0x0023, 5}, {0x8241, 60}, {0x0082, 130}},
         4,
         false},
        {"arming of the other cable",
         {{0x0000, 10}, {0x0000, 10}, {0x0023, 10}, {0x8241, 60}, {0x0086, 130}},
         4,
         false},
        {"a reset after arming",
         {{0x0000, 10}, {0x8241, 60}, {0x0082, 130}, {0x0000, 10}},
         4,
         false},
        {"the shortest pauses that do", {{0x8245, 50}, {0x0086, 120}}, 4, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        SimulatedStation station(testing::WarmInstrument());
        CUsbDevice device(station.port, kInstrumentInterfaceGuid, true);
        InstrumentLink link(device, station.clock);
        for (const auto& [value, pause] : c.steps) {
            link.RegisterWrite(value);
            station.clock.SleepMs(pause - InstrumentLink::kRegisterPauseMs);
        }
        ASSERT_TRUE(link.Exchange(0xA5, std::vector<std::uint8_t>{c.parameter}).Ok());
        CUsbEndpoint& samples = *device.EndpointByAddress(0x88);
        samples.AbortPipe();
        samples.ResetPipe();
        std::array<std::uint8_t, 2048> block{};
        std::uint32_t length = block.size();
        const std::int64_t before = station.clock.NowMs();
        EXPECT_EQ(samples.Transfer(block, length), c.samples);
        EXPECT_EQ(length, c.samples ? 2048u : 0u);
        // Without samples the read waits in vain for its time-out.
        EXPECT_EQ(station.clock.NowMs() - before, c.samples ? 0 : 10000);
    }
}

TEST(StrictController, NewProgramLeavesTheBusAndComesBackAsTheRunningInstrument) {
    testing::TemporaryFolder images;
    ASSERT_TRUE(sim::WriteSimulatorImages(images.Path()));
    sim::SimulatorOptions options;
    options.renumerationDelayMs = 1500;
    SimulatedStation station(options);
    const DriverHandle before =
        station.sim.Open(sim::SimulatedDriverPort::InstrumentPath(), {}).handle;
    CUsbDevice device(station.port, kInstrumentInterfaceGuid, false);
    ASSERT_EQ(LoadProgramImage(device, images.Path()), ImageLoadOutcome::Loaded);

    EXPECT_TRUE(station.sim.Renumerating());
    EXPECT_FALSE(station.sim.InstrumentPresent());
    EXPECT_TRUE(station.sim.EnumerateInterfaces(kInstrumentInterfaceGuid).empty());
    EXPECT_FALSE(device.Open(0));
    std::array<std::uint8_t, 4> word{};
    EXPECT_EQ(station.sim.IoControl(before, usb_request::kDriverVersion, word, word).error,
              os_error::kDeviceNotConnected);

    station.clock.Advance(1499);
    EXPECT_FALSE(device.Open(0));
    station.clock.Advance(1);
    ASSERT_TRUE(device.Open(0));
    EXPECT_EQ(device.ReleaseNumber(), 0x0064);
    EXPECT_FALSE(station.sim.Instrument().FpgaConfigured());
    // A handle from before stays dead.
    EXPECT_EQ(station.sim.IoControl(before, usb_request::kDriverVersion, word, word).error,
              os_error::kDeviceNotConnected);
    EXPECT_EQ(station.sim.Instrument().ProgramUploads(), 1);
}

}  // namespace
}  // namespace orvik
