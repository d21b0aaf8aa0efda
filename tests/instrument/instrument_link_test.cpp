// Command exchanges, register writes, store pages and sample blocks.
#include <gtest/gtest.h>

#include "instrument/instrument_link.h"
#include "instrument/store_layout.h"
#include "link_test_support.h"

namespace orvik {
namespace {

using testing::SimulatedStation;

class InstrumentLinkTest : public ::testing::Test {
  protected:
    InstrumentLinkTest()
        : station_(testing::WarmInstrument()),
          device_(station_.port, kInstrumentInterfaceGuid, false),
          link_(device_, station_.clock) {}

    SimulatedStation station_;
    CUsbDevice device_;
    InstrumentLink link_;
};

TEST_F(InstrumentLinkTest, EveryExchangeAbortsAndResetsBothPipesFirst) {
    ASSERT_TRUE(device_.Open(0));
    station_.port.Clear();
    link_.Exchange(0xA5, std::vector<std::uint8_t>{4});
    const auto requests = station_.port.Requests();
    ASSERT_EQ(requests.size(), 6u);
    const std::pair<std::uint32_t, std::uint8_t> expected[] = {{usb_request::kAbortPipe, 0x01},
                                                               {usb_request::kAbortPipe, 0x81},
                                                               {usb_request::kResetPipe, 0x01},
                                                               {usb_request::kResetPipe, 0x81}};
    for (std::size_t i = 0; i < 4; ++i) {
        EXPECT_EQ(requests[i].code, expected[i].first) << i;
        EXPECT_EQ(requests[i].input, std::vector<std::uint8_t>{expected[i].second}) << i;
    }
    EXPECT_EQ(testing::RequestEndpoint(requests[4]), 0x01);
    EXPECT_EQ(testing::RequestEndpoint(requests[5]), 0x81);
}

TEST_F(InstrumentLinkTest, RegisterWriteSendsTheValueLowByteFirstAndPauses) {
    ASSERT_TRUE(device_.Open(0));
    station_.port.Clear();
    EXPECT_EQ(link_.RegisterWrite(0x8245), 0x8245);
    EXPECT_EQ(station_.clock.NowMs(), 10);
    const auto commands = testing::RequestsWithCode(station_.port, usb_request::kBufferedTransfer);
    std::vector<std::uint8_t> expected(62, 0);
    expected[0] = 0x58;
    expected[2] = 0x45;
    expected[3] = 0x82;
    EXPECT_EQ(testing::CarriedData(commands[0]), expected);
    EXPECT_EQ(station_.sim.Instrument().RegistersWritten().back(), 0x8245);
    EXPECT_EQ(station_.sim.Instrument().Mode(), MeasurementMode::Differential);
}

TEST_F(InstrumentLinkTest, RegisterWriteFailureGivesMinusOneAndStillPauses) {
    ASSERT_TRUE(device_.Open(0));
    // The write fails: no reply is read.
    station_.sim.FailTransfer(station_.sim.TransferCount() + 1);
    station_.port.Clear();
    EXPECT_EQ(link_.RegisterWrite(0x0082), -1);
    EXPECT_EQ(station_.clock.NowMs(), 10);
    EXPECT_EQ(testing::RequestsWithCode(station_.port, usb_request::kBufferedTransfer).size(), 1u);
    // The reply fails.
    station_.sim.FailTransfer(station_.sim.TransferCount() + 2);
    EXPECT_EQ(link_.RegisterWrite(0x0082), -1);
    // The reply is cut short before the value.
    station_.sim.ShortReplyAtTransfer(station_.sim.TransferCount() + 2, 3);
    EXPECT_EQ(link_.RegisterWrite(0x0082), -1);
    EXPECT_EQ(station_.clock.NowMs(), 30);
}

TEST_F(InstrumentLinkTest, ColdInstrumentRefusesCommands) {
    SimulatedStation cold;
    CUsbDevice device(cold.port, kInstrumentInterfaceGuid, true);
    InstrumentLink link(device, cold.clock);
    const CommandReply reply = link.Exchange(0x58, std::vector<std::uint8_t>{1, 2});
    EXPECT_FALSE(reply.written);
    EXPECT_FALSE(reply.received);
    EXPECT_EQ(link.RegisterWrite(0x0023), -1);
}

TEST_F(InstrumentLinkTest, ReadPageOpensReadsAndClosesTheDevice) {
    const StorePage page1 = station_.sim.Instrument().Store().Read(1);
    StorePage buffer{};
    EXPECT_TRUE(link_.ReadPage(1, buffer));
    EXPECT_EQ(buffer, page1);
    EXPECT_FALSE(device_.IsOpen());
    EXPECT_EQ(station_.sim.OpenHandles(), 0u);
    EXPECT_EQ(PageDouble(buffer, 0), kCalibratedStoreMagic);
    EXPECT_EQ(testing::CommandsSent(station_.port), std::vector<std::uint8_t>{0xC3});
}

TEST_F(InstrumentLinkTest, AllZeroPageComesBackAsZeros) {
    station_.sim.Instrument().Store().Write(7, StorePage{});
    StorePage buffer;
    buffer.fill(0x5A);
    EXPECT_TRUE(link_.ReadPage(7, buffer));
    EXPECT_EQ(buffer, StorePage{});
}

TEST_F(InstrumentLinkTest, FailedOrShortPageReadLeavesTheCallersBuffer) {
    StorePage buffer;
    buffer.fill(0x5A);
    const StorePage untouched = buffer;

    for (const int failing : {1, 2}) {  // the command, then the reply
        // Opening reads descriptors; count them once to find the exchange's transfers.
        const int before = station_.sim.TransferCount();
        device_.Open(0);
        device_.Close();
        const int openTransfers = station_.sim.TransferCount() - before;
        station_.sim.FailTransfer(station_.sim.TransferCount() + openTransfers + failing);
        EXPECT_FALSE(link_.ReadPage(1, buffer)) << failing;
        EXPECT_EQ(buffer, untouched) << failing;
    }
    // A reply cut before the end of the page carries no page.
    station_.sim.ShortenReplies(0x81, 34);
    EXPECT_FALSE(link_.ReadPage(1, buffer));
    EXPECT_EQ(buffer, untouched);
    station_.sim.ShortenReplies(0x81, 35);
    EXPECT_TRUE(link_.ReadPage(1, buffer));
    EXPECT_NE(buffer, untouched);

    // The open fails: nothing is sent.
    buffer = untouched;
    station_.sim.Unplug();
    station_.port.Clear();
    EXPECT_FALSE(link_.ReadPage(1, buffer));
    EXPECT_EQ(buffer, untouched);
    EXPECT_TRUE(station_.port.Requests().empty());
}

TEST_F(InstrumentLinkTest, WritePageStoresThePageThenPauses) {
    StorePage content{};
    for (std::size_t i = 0; i < content.size(); ++i) {
        content[i] = static_cast<std::uint8_t>(i + 1);
    }
    EXPECT_TRUE(link_.WritePage(42, content));
    EXPECT_EQ(station_.sim.Instrument().Store().Read(42), content);
    EXPECT_EQ(station_.clock.NowMs(), 50);
    EXPECT_FALSE(device_.IsOpen());

    const auto writes = testing::RequestsWithCode(station_.port, usb_request::kBufferedTransfer);
    std::vector<std::uint8_t> expected(62, 0);
    expected[0] = 0xC6;
    expected[2] = 42;
    std::copy(content.begin(), content.end(), expected.begin() + 3);
    bool found = false;
    for (const RecordedCall& call : writes) {
        found = found || testing::CarriedData(call) == expected;
    }
    EXPECT_TRUE(found);

    // Without an instrument nothing happens, not even the pause.
    station_.sim.Unplug();
    EXPECT_FALSE(link_.WritePage(42, StorePage{}));
    EXPECT_EQ(station_.clock.NowMs(), 50);
}

TEST_F(InstrumentLinkTest, AcquireBlockReadsSignedSamplesFromTheSampleEndpoint) {
    station_.sim.Instrument().SetWaveformSource(std::make_unique<sim::PlainStepSource>());
    ASSERT_TRUE(device_.Open(0));
    testing::SetUpForBlocks(link_, station_.clock, MeasurementMode::SingleEnded);
    const std::vector<std::int16_t> first = link_.AcquireBlock();
    const std::vector<std::int16_t> second = link_.AcquireBlock();
    ASSERT_EQ(first.size(), 1024u);
    ASSERT_EQ(second.size(), 1024u);
    sim::PlainStepSource step;
    EXPECT_EQ(first, step.Block(MeasurementMode::SingleEnded, {}, 0));
    EXPECT_EQ(second, step.Block(MeasurementMode::SingleEnded, {}, 1));

    // Negative samples survive the trip, low byte first.
    class Negative : public sim::WaveformSource {
      public:
        std::vector<std::int16_t> Block(MeasurementMode, const sim::CableAttachment&,
                                        int) override {
            return {-2, 300, -32768};
        }
    };
    station_.sim.Instrument().SetWaveformSource(std::make_unique<Negative>());
    EXPECT_EQ(link_.AcquireBlock(), (std::vector<std::int16_t>{-2, 300, -32768}));
}

TEST_F(InstrumentLinkTest, ShortSampleBlockKeepsOnlyWholeSamples) {
    ASSERT_TRUE(device_.Open(0));
    testing::SetUpForBlocks(link_, station_.clock, MeasurementMode::SingleEnded);
    station_.sim.ShortenReplies(0x88, 101);
    EXPECT_EQ(link_.AcquireBlock().size(), 50u);
}

TEST_F(InstrumentLinkTest, FailedAcquireCommandReadsNoBlock) {
    ASSERT_TRUE(device_.Open(0));
    station_.sim.FailTransfer(station_.sim.TransferCount() + 1);
    station_.port.Clear();
    EXPECT_TRUE(link_.AcquireBlock().empty());
    for (const RecordedCall& call : station_.port.Requests()) {
        EXPECT_NE(testing::RequestEndpoint(call), 0x88);
    }
}

}  // namespace
}  // namespace orvik
