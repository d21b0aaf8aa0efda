// One acquisition over the instrument link against the simulated MV300: the
// set-up, the eight blocks, and every way the instrument can let it down.
#include "instrument/acquisition.h"

#include <algorithm>
#include <fstream>
#include <vector>

#include <gtest/gtest.h>

#include "test_log.h"

#include "simulator/sim_images.h"
#include "station_test_support.h"
#include "test_files.h"

namespace orvik {
namespace {

using testing::SimulatedInstrument;
constexpr auto kSingle = MeasurementMode::SingleEnded;
constexpr auto kDifferential = MeasurementMode::Differential;

std::vector<std::uint16_t> Registers(MeasurementMode mode) {
    std::vector<std::uint16_t> values;
    for (const RegisterStep& step : AcquisitionRegisterSteps(mode)) {
        values.push_back(step.value);
    }
    return values;
}

// Both modes, through a driver that moves pipe data behind the transfer
// header (before 1.5.5) and through one that moves it directly.
struct AcquisitionCase {
    MeasurementMode mode;
    std::uint32_t driverVersion;
};

class AcquisitionInMode : public ::testing::TestWithParam<AcquisitionCase> {};

TEST_P(AcquisitionInMode, SetsTheInstrumentUpAndTakesEightBlocksInOrder) {
    const MeasurementMode mode = GetParam().mode;
    SimulatedInstrument sim(testing::WithDriverVersion(GetParam().driverVersion));
    sim.station.port.Clear();
    const std::int64_t start = sim.station.clock.NowMs();

    const AcquisitionOutcome outcome = sim.instrument.Acquire(mode, Derivative::Smoothed);

    EXPECT_TRUE(outcome.deviceOpened);
    EXPECT_TRUE(outcome.processed);
    EXPECT_EQ(outcome.blocksReceived, 8);
    EXPECT_TRUE(outcome.WholeRecord());
    EXPECT_FALSE(outcome.stopLiveMode);
    EXPECT_TRUE(sim.station.prompts.messages.empty());
    EXPECT_FALSE(sim.instrument.Device().IsOpen());

    const std::vector<std::uint16_t> expected =
        IsDifferential(mode) ? std::vector<std::uint16_t>{0x0000, 0x0000, 0x0023, 0x8245, 0x0086}
                             : std::vector<std::uint16_t>{0x0000, 0x0000, 0x0023, 0x8241, 0x0082};
    EXPECT_EQ(Registers(mode), expected);
    EXPECT_EQ(sim.Mv300().RegistersWritten(), expected);
    EXPECT_EQ(sim.Mv300().Mode(), mode);
    std::vector<std::uint8_t> commands(5, 0x58);
    commands.insert(commands.end(), 8, 0xA5);
    EXPECT_EQ(testing::CommandsSent(sim.station.port), commands);
    // 10 ms after each of the five register writes, 50 ms after the front
    // end, 120 ms after arming.
    EXPECT_EQ(sim.station.clock.NowMs() - start, 5 * 10 + 50 + 120);

    // The blocks follow each other; the processed part has the first
    // sample subtracted, the rest stays as received.
    const auto& record = sim.Physics().LastRecord();
    const auto& raw = sim.instrument.Buffers().Raw;
    for (int i = 0; i < kProcessedSampleCount; ++i) {
        ASSERT_EQ(raw[i], record[i] - record[0]) << i;
    }
    for (int i = kProcessedSampleCount; i < kRecordSampleCount; ++i) {
        ASSERT_EQ(raw[i], record[i]) << i;
    }
    for (int i = kRecordSampleCount; i < kAcquisitionLength; ++i) {
        ASSERT_EQ(raw[i], 0.0) << i;
    }
    // Every pipe transfer went in the driver's form.
    const bool direct = GetParam().driverVersion >= 0x01050500;
    const auto pipeTransfers = testing::RequestsWithCode(
        sim.station.port, direct ? usb_request::kDirectTransfer : usb_request::kBufferedTransfer);
    EXPECT_EQ(pipeTransfers.size(), 5u * 2 + 8 * 3);
    EXPECT_TRUE(testing::RequestsWithCode(sim.station.port, direct ? usb_request::kBufferedTransfer
                                                                   : usb_request::kDirectTransfer)
                    .empty());
}

INSTANTIATE_TEST_SUITE_P(Modes, AcquisitionInMode,
                         ::testing::Values(AcquisitionCase{kSingle, 0x01050400},
                                           AcquisitionCase{kDifferential, 0x01050400},
                                           AcquisitionCase{kSingle, 0x01050500},
                                           AcquisitionCase{kDifferential, 0x01050500}),
                         [](const auto& info) {
                             return std::string(IsDifferential(info.param.mode) ? "Differential"
                                                                                : "SingleEnded") +
                                    (info.param.driverVersion >= 0x01050500 ? "Direct"
                                                                            : "Buffered");
                         });

// The sample block, one after the other, failed at each of its three
// transfers: the acquire-block command, its reply, the read of the sample
// pipe. The block adds nothing, the next block fills its positions, and the
// other seven blocks arrive whole and in their order.
TEST(Acquisition, FailedBlockLeavesTheOtherSevenInOrder) {
    // The acquisition opens the instrument (descriptor reads), then makes
    // five register writes (command and reply) before the first block.
    int openTransfers = 0;
    {
        SimulatedInstrument twin;
        const int before = twin.station.sim.TransferCount();
        ASSERT_TRUE(twin.instrument.Device().Open(0));
        openTransfers = twin.station.sim.TransferCount() - before;
    }
    const int setUpTransfers = openTransfers + 5 * 2;
    const char* steps[] = {"command", "reply", "read"};
    for (int block = 0; block < kBlocksPerAcquisition; ++block) {
        for (int step = 0; step < 3; ++step) {
            SCOPED_TRACE("block " + std::to_string(block) + " " + steps[step]);
            SimulatedInstrument sim;
            sim.station.sim.FailTransfer(sim.station.sim.TransferCount() + setUpTransfers +
                                         3 * block + step + 1);
            const AcquisitionOutcome outcome = sim.instrument.Acquire(kSingle, Derivative::Raw);
            EXPECT_EQ(outcome.blocksReceived, 7);
            EXPECT_EQ(outcome.samplesReceived, 7 * 1024);
            EXPECT_EQ(outcome.samplesInPlace, block * 1024);

            // A lost command never reached the instrument, which then sends
            // its first seven blocks; otherwise the failed one is missing.
            const auto& record = sim.Physics().LastRecord();
            std::vector<double> expected;
            for (int sent = 0; sent < kBlocksPerAcquisition; ++sent) {
                if (step == 0 ? sent == 7 : sent == block) {
                    continue;
                }
                expected.insert(expected.end(), record.begin() + sent * 1024,
                                record.begin() + (sent + 1) * 1024);
            }
            const auto& raw = sim.instrument.Buffers().Raw;
            for (int i = 0; i < 7 * 1024; ++i) {
                const double shift = i < kProcessedSampleCount ? expected[0] : 0.0;
                ASSERT_EQ(raw[i], expected[i] - shift) << i;
            }
            for (int i = 7 * 1024; i < kAcquisitionLength; ++i) {
                ASSERT_EQ(raw[i], 0.0) << i;
            }
        }
    }
}

// Each block's read of the sample pipe comes after the pipe was aborted and
// reset, so that a block left there by an earlier failed read is never taken
// for this one.
TEST(Acquisition, SamplePipeIsAbortedAndResetBeforeEachBlockRead) {
    SimulatedInstrument sim;
    sim.station.port.Clear();
    sim.instrument.Acquire(kSingle, Derivative::Smoothed);
    std::vector<std::string> samplePipe;
    for (const RecordedCall& call : sim.station.port.Requests()) {
        const bool pipe =
            call.code == usb_request::kAbortPipe || call.code == usb_request::kResetPipe;
        if (pipe && call.input == std::vector<std::uint8_t>{0x88}) {
            samplePipe.push_back(call.code == usb_request::kAbortPipe ? "abort" : "reset");
        } else if (!pipe && testing::RequestEndpoint(call) == 0x88) {
            samplePipe.push_back(testing::ReceivedData(call).size() == 2048 ? "read" : "?");
        } else if (testing::RequestEndpoint(call) == 0x81 &&
                   testing::ReceivedData(call).at(0) == 0xA5) {
            samplePipe.push_back("reply");
        }
    }
    std::vector<std::string> expected;
    for (int block = 0; block < kBlocksPerAcquisition; ++block) {
        expected.insert(expected.end(), {"reply", "abort", "reset", "read"});
    }
    EXPECT_EQ(samplePipe, expected);
}

TEST(Acquisition, EveryAcquisitionTakesAFreshRecordOfWhatIsAttached) {
    SimulatedInstrument sim;
    sim.instrument.Acquire(kSingle, Derivative::Smoothed);
    const auto first = sim.Physics().LastRecord();
    sim.instrument.Acquire(kSingle, Derivative::Smoothed);
    EXPECT_EQ(sim.Physics().RecordsTaken(), 2);
    EXPECT_NE(sim.Physics().LastRecord(), first) << "fresh noise every time";

    // An open cable ends at twice the step; a short brings it back down.
    const double openFar = sim.instrument.Buffers().Raw[5500];
    sim.Mv300().Attach(kSingle, sim::CableAttachment::ShortCircuit());
    sim.instrument.Acquire(kSingle, Derivative::Smoothed);
    const double shortFar = sim.instrument.Buffers().Raw[5500];
    const double step = sim::WaveformPhysics::Physics(kSingle).StepHeight;
    EXPECT_NEAR(openFar, 2 * step, 30.0);
    EXPECT_NEAR(shortFar, 0.0, 30.0);
    // The other cable keeps its own attachment.
    EXPECT_EQ(sim.Mv300().Attached(kDifferential), sim::CableAttachment::Nothing());
}

TEST(Acquisition, MissingInstrumentIsReportedAndLeavesThePreviousArrays) {
    SimulatedInstrument sim;
    // Before any acquisition the arrays hold zeros.
    sim.station.sim.Unplug();
    MeasuredProfile profile = sim.instrument.MeasureProfile(MeasurementMode::SingleEnded);
    ASSERT_EQ(profile.Impedance.size(), 750u);
    EXPECT_TRUE(std::all_of(profile.Impedance.begin(), profile.Impedance.end(),
                            [](double z) { return z == 0.0; }));
    EXPECT_TRUE(profile.StopLiveMode);

    SimulatedInstrument warm;
    warm.instrument.Acquire(kSingle, Derivative::Smoothed);
    const std::vector<double> impedance = warm.instrument.Buffers().Impedance;
    const std::vector<double> raw = warm.instrument.Buffers().Raw;
    warm.station.sim.Unplug();
    const std::int64_t before = warm.station.clock.NowMs();

    const AcquisitionOutcome outcome = warm.instrument.Acquire(kSingle, Derivative::Smoothed);

    EXPECT_FALSE(outcome.deviceOpened);
    EXPECT_FALSE(outcome.processed);
    EXPECT_TRUE(outcome.stopLiveMode);
    ASSERT_EQ(warm.station.prompts.messages.size(), 1u);
    EXPECT_EQ(warm.station.prompts.messages[0].text, "Unable to open the TDR device");
    EXPECT_EQ(warm.station.prompts.messages[0].caption, "Device not found");
    EXPECT_EQ(warm.instrument.Buffers().Impedance, impedance);
    EXPECT_EQ(warm.instrument.Buffers().Raw, raw);
    EXPECT_EQ(warm.station.clock.NowMs(), before) << "no pauses without an instrument";
}

TEST(Acquisition, InstrumentThatLostItsProgramIsStartedAgain) {
    // Plugged in again, it comes back without its program. Where its images
    // cannot be had, the operator is told what to do instead of being shown
    // a flat record of 0 ohms; once start-up has named the images' folder,
    // the next acquisition loads them and measures.
    SimulatedInstrument sim;
    sim.station.sim.Unplug();
    sim.station.sim.PlugIn();
    const AcquisitionOutcome refused = sim.instrument.Acquire(kDifferential, Derivative::Smoothed);
    EXPECT_FALSE(refused.processed);
    EXPECT_TRUE(refused.stopLiveMode);
    ASSERT_EQ(sim.station.prompts.messages.size(), 1u);
    EXPECT_EQ(sim.station.prompts.messages[0].caption, kInstrumentNotReadyCaption);
    EXPECT_NE(sim.station.prompts.messages[0].text.find("then run the test again"),
              std::string::npos);

    testing::TemporaryFolder images;
    ASSERT_TRUE(sim::WriteSimulatorImages(images.Path()));
    StartUpOptions options;
    options.imageFolder = images.Path();
    sim.instrument.StartUp(options);
    sim.station.sim.Unplug();
    sim.station.sim.PlugIn();
    sim.station.prompts.messages.clear();
    EXPECT_TRUE(sim.instrument.Acquire(kDifferential, Derivative::Smoothed).WholeRecord());
    EXPECT_TRUE(sim.station.prompts.messages.empty());
    EXPECT_EQ(sim.Mv300().FpgaLoads(), 2) << "at start-up, and again after the replug";
}

// What the operator is not told of an acquisition reaches the log: each
// block that came short, and nothing at all when the record came whole.
TEST(Acquisition, ShortBlocksAreLoggedAndAWholeRecordIsNot) {
    testing::RecordingLogSink sink;
    DiagnosticLog log(sink, LogLevel::Info);
    SimulatedInstrument sim;
    sim.instrument.SetLog(log);
    sim.instrument.Acquire(kSingle, Derivative::Smoothed);
    EXPECT_EQ(sink.Count(LogLevel::Warning, "instrument"), 0u);
    sim.station.sim.ShortenReplies(sim::SimulatedMv300::kSamplesIn, 1000);
    sim.instrument.Acquire(kSingle, Derivative::Smoothed);
    EXPECT_EQ(sink.Count(LogLevel::Warning, "instrument", {"Sample block", "brought 500 samples"}),
              8u);
    EXPECT_EQ(sink.Count(LogLevel::Warning, "instrument", {"Sample block 8 of 8"}), 1u);
}

TEST(Acquisition, ShortBlocksFillTheRecordFromTheFront) {
    SimulatedInstrument sim;
    sim.station.sim.ShortenReplies(sim::SimulatedMv300::kSamplesIn, 1000);
    const AcquisitionOutcome outcome = sim.instrument.Acquire(kSingle, Derivative::Smoothed);
    EXPECT_TRUE(outcome.processed);
    EXPECT_EQ(outcome.samplesReceived, 8 * 500);
    EXPECT_FALSE(outcome.WholeRecord());
    const auto& record = sim.Physics().LastRecord();
    const auto& raw = sim.instrument.Buffers().Raw;
    // Each block brought its first 500 samples, one after the other.
    EXPECT_EQ(raw[499] + record[0], record[499]);
    EXPECT_EQ(raw[500] + record[0], record[1024]);
    EXPECT_EQ(raw[3999] + record[0], record[7 * 1024 + 499]);
    // The zeros standing in for the rest were shifted with the baseline.
    EXPECT_EQ(raw[4000], -static_cast<double>(record[0]));
    EXPECT_EQ(raw[6000], 0.0);
}

TEST(Acquisition, UsbLayerErrorsAreShownAndAbandonTheAcquisition) {
    {
        sim::SimulatorOptions options = testing::WarmInstrument();
        // The interface announces four endpoints but describes only the
        // command pipe: looking for the sample endpoint meets an empty slot.
        options.instrument.configurationDescriptor =
            std::vector<std::uint8_t>{9, 2, 32, 0, 1, 1, 0,  0x80, 50, 9, 4, 0,    0, 4,  0xFF, 0,
                                      0, 0, 7,  5, 1, 2, 64, 0,    0,  7, 5, 0x81, 2, 64, 0,    0};
        SimulatedInstrument sim(options);
        const AcquisitionOutcome outcome = sim.instrument.Acquire(kSingle, Derivative::Smoothed);
        EXPECT_TRUE(outcome.deviceOpened);
        EXPECT_FALSE(outcome.processed);
        EXPECT_TRUE(outcome.stopLiveMode);
        EXPECT_EQ(outcome.usbError, "Failed to find endpoint.");
        ASSERT_EQ(sim.station.prompts.messages.size(), 1u);
        EXPECT_EQ(sim.station.prompts.messages[0].text, "Failed to find endpoint.");
        EXPECT_EQ(sim.station.prompts.messages[0].icon, PromptIcon::Error);
        EXPECT_FALSE(sim.instrument.Device().IsOpen());
        EXPECT_EQ(sim.station.sim.OpenHandles(), 0u);
    }
    {
        SimulatedInstrument sim;
        sim.instrument.Acquire(kSingle, Derivative::Smoothed);
        sim.station.sim.FailNextClose();
        const AcquisitionOutcome outcome = sim.instrument.Acquire(kSingle, Derivative::Smoothed);
        EXPECT_FALSE(outcome.processed);
        EXPECT_TRUE(outcome.stopLiveMode);
        ASSERT_EQ(sim.station.prompts.messages.size(), 1u);
        EXPECT_EQ(sim.station.prompts.messages[0].text, "Failed to close handle to driver.");
        EXPECT_FALSE(sim.instrument.Device().IsOpen());
        // The next acquisition works again.
        EXPECT_TRUE(sim.instrument.Acquire(kSingle, Derivative::Smoothed).processed);
    }
}

TEST(Acquisition, StuckSampleReadDoesNotHoldTheProgram) {
    SimulatedInstrument sim;
    int transfers = 0;
    {
        SimulatedInstrument twin;
        const int before = twin.station.sim.TransferCount();
        twin.instrument.Acquire(kSingle, Derivative::Smoothed);
        transfers = twin.station.sim.TransferCount() - before;
    }
    // The last block's read never ends, not even when its pipe is aborted.
    sim.station.sim.StuckTransfer(sim.station.sim.TransferCount() + transfers);
    const std::int64_t before = sim.station.clock.NowMs();
    const AcquisitionOutcome outcome = sim.instrument.Acquire(kSingle, Derivative::Smoothed);
    EXPECT_TRUE(outcome.processed);
    EXPECT_EQ(outcome.blocksReceived, 7);
    EXPECT_EQ(sim.station.clock.NowMs() - before, 220 + 10000 + 1000);
    EXPECT_EQ(sim.station.sim.PendingRequests(), 0u);
    EXPECT_TRUE(sim.instrument.Acquire(kSingle, Derivative::Smoothed).WholeRecord());
}

TEST(Acquisition, WritesTheDiagnosticDumpAndGoesOnWithoutIt) {
    testing::TemporaryFolder folder;
    SimulatedInstrument sim;
    sim.instrument.SetDumpPath(folder.File("TDR_Data.csv"));
    ASSERT_TRUE(sim.instrument.Acquire(kSingle, Derivative::Smoothed).processed);
    std::ifstream dump(folder.File("TDR_Data.csv"));
    int lines = 0;
    for (std::string line; std::getline(dump, line);) {
        ++lines;
    }
    EXPECT_EQ(lines, 5000);

    sim.instrument.SetDumpPath(folder.File("missing/folder/TDR_Data.csv"));
    EXPECT_TRUE(sim.instrument.Acquire(kSingle, Derivative::Smoothed).processed);
    EXPECT_TRUE(sim.station.prompts.messages.empty());
}

// Every transfer of an acquisition, failed every way the simulator can fail
// it: the acquisition always ends with the instrument closed and nothing
// pending, tells the operator only when the instrument could not be opened,
// and processes whatever arrived, with zeros for the rest.
TEST(AcquisitionUnderFaults, EveryTransferFailedEveryWay) {
    int transfers = 0;
    {
        SimulatedInstrument rehearsal;
        const int before = rehearsal.station.sim.TransferCount();
        rehearsal.instrument.Acquire(kDifferential, Derivative::Smoothed);
        transfers = rehearsal.station.sim.TransferCount() - before;
    }
    ASSERT_GT(transfers, 5 * 2 + 8 * 3);
    using Kind = sim::TransferFault::Kind;
    for (int n = 1; n <= transfers; ++n) {
        for (const auto& [kind, length] : {std::pair{Kind::Fail, 0u},
                                           {Kind::TimeOut, 0u},
                                           {Kind::Disconnect, 0u},
                                           {Kind::ShortReply, 0u},
                                           {Kind::ShortReply, 20u}}) {
            SCOPED_TRACE("transfer " + std::to_string(n) + " kind " +
                         std::to_string(static_cast<int>(kind)) + " length " +
                         std::to_string(length));
            SimulatedInstrument sim;
            sim.station.sim.AddFault({kind, sim.station.sim.TransferCount() + n, length});
            const AcquisitionOutcome outcome =
                sim.instrument.Acquire(kDifferential, Derivative::Smoothed);

            EXPECT_FALSE(sim.instrument.Device().IsOpen());
            EXPECT_EQ(sim.station.sim.PendingRequests(), 0u);
            EXPECT_FALSE(outcome.usbError);
            EXPECT_EQ(outcome.processed, outcome.deviceOpened);
            EXPECT_EQ(outcome.stopLiveMode, !outcome.deviceOpened);
            EXPECT_EQ(sim.station.prompts.messages.size(), outcome.deviceOpened ? 0u : 1u);
            EXPECT_LE(outcome.samplesReceived, kRecordSampleCount);
            const auto& raw = sim.instrument.Buffers().Raw;
            for (int i = std::max(outcome.samplesReceived, kProcessedSampleCount);
                 i < kAcquisitionLength; ++i) {
                ASSERT_EQ(raw[i], 0.0) << i;
            }
            if (kind == Kind::Disconnect) {
                EXPECT_LT(outcome.samplesReceived, kRecordSampleCount);
            }
        }
    }
}

}  // namespace
}  // namespace orvik
