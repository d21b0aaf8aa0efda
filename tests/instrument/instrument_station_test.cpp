// The instrument station on the simulated MV300 with its factory store: the
// start-up puts the store's calibration in force, Run Test measures the
// coupons attached, and a characterisation re-measures the cable.
#include "instrument/instrument_station.h"

#include <cmath>
#include <filesystem>
#include <fstream>
#include <limits>
#include <sstream>

#include <gtest/gtest.h>

#include "cli/process_command.h"
#include "instrument/store_layout.h"
#include "simulator/physics_factory.h"
#include "simulator/sim_images.h"
#include "station_test_support.h"
#include "test_files.h"
#include "test_log.h"

namespace orvik {
namespace {

using testing::SimulatedInstrument;
using testing::WindowCriterion;
constexpr auto kSingle = MeasurementMode::SingleEnded;
constexpr auto kDifferential = MeasurementMode::Differential;

std::vector<double> AsFloats(std::span<const double> values) {
    std::vector<double> floats;
    for (const double value : values) {
        floats.push_back(static_cast<float>(value));
    }
    return floats;
}

// The kernel of a mode as the simulated store holds it now.
StoredKernelRead StoredKernel(sim::SimulatedStore& store, MeasurementMode mode) {
    return ReadKernelPages(
        [&](std::uint8_t page, StorePage& buffer) {
            buffer = store.Read(page);
            return true;
        },
        KernelFirstPage(mode));
}

TEST(InstrumentStationStartUp, PutsTheFactoryStoreInForce) {
    // A cold instrument, started as the program starts it: images, then the store.
    testing::TemporaryFolder images;
    ASSERT_TRUE(sim::WriteSimulatorImages(images.Path()));
    SimulatedInstrument sim(sim::SimulatorOptions{});
    StartUpOptions options;
    options.commandLine = "/opt/orvik/orvik Characterize";
    options.imageFolder = images.Path();
    testing::RecordingLogSink log;
    DiagnosticLog diagnostic(log);
    sim.instrument.SetLog(diagnostic);
    const StartUpFindings findings = sim.instrument.StartUp(options);
    EXPECT_EQ(log.Count(LogLevel::Info, "instrument",
                        {"Start-up: loaded the images from " + images.Path().string()}),
              1u);

    EXPECT_TRUE(findings.instrumentFound);
    EXPECT_TRUE(findings.triggerOpened);
    EXPECT_TRUE(sim.instrument.CharacterizeMode());
    EXPECT_TRUE(findings.stored.notes.empty());
    const CalibrationSet& calibration = sim.instrument.Calibration();
    for (const MeasurementMode mode : {kSingle, kDifferential}) {
        const sim::PhysicsFactory& factory = sim::PhysicsFactoryValues(mode);
        EXPECT_EQ(calibration.EndOfCable(mode), factory.EndOfCable);
        EXPECT_EQ(calibration.Divisor(mode), factory.Divisor);
        EXPECT_EQ(calibration.CalibrationConstant(mode), factory.CalibrationConstant);
        const ResponseKernel& kernel = sim.instrument.Kernels().For(mode);
        ASSERT_TRUE(kernel.HasStored());
        EXPECT_EQ(std::vector<double>(kernel.Values().begin(), kernel.Values().end()),
                  factory.Kernel);
    }
    EXPECT_EQ(calibration.LastOperator(), "Factory");
    EXPECT_FALSE(sim.instrument.Device().IsOpen());
}

TEST(InstrumentStationStartUp, RefusedStoredValuesLeaveTheBuiltInsInForce) {
    SimulatedInstrument sim;
    sim::SimulatedStore& store = sim.Mv300().Store();
    StorePage divisors = store.Read(store_page::kDivisors);
    SetPageDouble(divisors, 0, 0.0);  // a single-ended divisor of 0
    store.Write(store_page::kDivisors, divisors);
    // A differential kernel with a zero where the deconvolution divides.
    std::vector<double> kernel(80, 7.5);
    kernel[10] = 0.0;
    int page = store_page::kDifferentialKernel;
    for (const StorePage& content : PackKernelPages(kernel)) {
        store.Write(static_cast<std::uint8_t>(page++), content);
    }

    testing::RecordingLogSink log;
    DiagnosticLog diagnostic(log);
    sim.instrument.SetLog(diagnostic);
    const StartUpFindings findings = sim.instrument.StartUp({});
    ASSERT_EQ(findings.stored.notes.size(), 2u);
    EXPECT_NE(findings.stored.notes[1].find("differential kernel holds a zero"), std::string::npos)
        << findings.stored.notes[1];
    // The operator sees the first refusal in the status bar; the log keeps both.
    EXPECT_EQ(log.Count(LogLevel::Warning, "instrument", {"Stored calibration"}), 2u);
    EXPECT_EQ(log.Count(LogLevel::Info, "instrument", {"Start-up: MV300 ready"}), 1u);
    const CalibrationSet& calibration = sim.instrument.Calibration();
    EXPECT_EQ(calibration.Divisor(kSingle), CalibrationSet::kBuiltInSingleEnded.Divisor);
    EXPECT_EQ(calibration.EndOfCable(kSingle), sim::PhysicsFactoryValues(kSingle).EndOfCable);
    EXPECT_FALSE(sim.instrument.Kernels().Differential.HasStored());
    EXPECT_EQ(sim.instrument.Kernels().Differential.Length(), 480u);
    EXPECT_TRUE(sim.instrument.Kernels().SingleEnded.HasStored());

    // The refused kernel does not stop the mode from measuring.
    const MeasuredProfile profile = sim.instrument.MeasureProfile(MeasurementMode::Differential);
    for (const double z : profile.Impedance) {
        ASSERT_TRUE(std::isfinite(z));
    }
}

TEST(InstrumentStationStartUp, WithoutAnInstrumentTheBuiltInsStay) {
    sim::SimulatorOptions options;
    options.instrumentPresent = false;
    SimulatedInstrument sim(options);
    const StartUpFindings findings = sim.instrument.StartUp({});
    EXPECT_FALSE(findings.instrumentFound);
    EXPECT_TRUE(sim.station.prompts.messages.empty());
    EXPECT_EQ(sim.instrument.Calibration(), CalibrationSet());
    EXPECT_FALSE(sim.instrument.Kernels().SingleEnded.HasStored());
    // The first acquisition tells the operator.
    EXPECT_TRUE(sim.instrument.MeasureProfile(MeasurementMode::SingleEnded).StopLiveMode);
    ASSERT_EQ(sim.station.prompts.messages.size(), 1u);
    EXPECT_EQ(sim.station.prompts.messages[0].text, "Unable to open the TDR device");
}

TEST(InstrumentStationStartUp, ImagesThatDidNotLoadAreToldAndEveryTestFailsAtOnce) {
    // The FPGA image is missing beside the program.
    testing::TemporaryFolder images;
    ASSERT_TRUE(sim::WriteSimulatorImages(images.Path()));
    std::filesystem::remove(images.Path() / kFpgaImageFile);
    SimulatedInstrument sim(sim::SimulatorOptions{});
    StartUpOptions options;
    options.imageFolder = images.Path();
    const StartUpFindings findings = sim.instrument.StartUp(options);
    EXPECT_FALSE(sim.instrument.InstrumentReady());

    ASSERT_EQ(sim.station.prompts.messages.size(), 1u);
    const testing::ShownMessage& told = sim.station.prompts.messages[0];
    EXPECT_EQ(told.caption, "MV300 not ready");
    EXPECT_EQ(told.icon, PromptIcon::Error);
    EXPECT_NE(told.text.find((images.Path() / kFpgaImageFile).string()), std::string::npos);
    EXPECT_NE(told.text.find("image file missing"), std::string::npos);

    // Run Test: one message at once, live mode stops, nothing is asked of
    // the instrument (which would leave each block to time out).
    sim.station.port.Clear();
    const std::int64_t before = sim.station.clock.NowMs();
    const MeasuredProfile profile = sim.instrument.MeasureProfile(MeasurementMode::SingleEnded);
    EXPECT_TRUE(profile.StopLiveMode);
    EXPECT_EQ(sim.station.clock.NowMs(), before);
    EXPECT_TRUE(sim.station.port.Calls().empty());
    ASSERT_EQ(sim.station.prompts.messages.size(), 2u);
    EXPECT_EQ(sim.station.prompts.messages[1].text,
              "The instrument image TdrSpartan.hex did not load at start-up (image file "
              "missing): tests cannot be run.");
    EXPECT_EQ(sim.station.prompts.messages[1].caption, "MV300 not ready");
    EXPECT_TRUE(sim.instrument.LastAcquisition().instrumentNotReady);
    EXPECT_FALSE(sim.instrument.Acquire(kDifferential, Derivative::Smoothed).processed);
    EXPECT_EQ(sim.instrument.CharacterizeCable(kSingle).result,
              CharacterizationOutcome::Result::DeviceUnreachable);

    // With both images the same instrument is ready at the next start.
    ASSERT_TRUE(sim::WriteSimulatorImages(images.Path()));
    sim.station.sim.Unplug();
    sim.station.sim.PlugIn();
    sim.station.prompts.messages.clear();
    EXPECT_TRUE(sim.instrument.StartUp(options).InstrumentReady());
    // (The trigger port is still open from the first start: its open fails.)
    for (const testing::ShownMessage& message : sim.station.prompts.messages) {
        EXPECT_NE(message.caption, "MV300 not ready");
    }
    EXPECT_TRUE(sim.instrument.Acquire(kSingle, Derivative::Smoothed).WholeRecord());
}

class FactoryInstrument : public ::testing::Test {
  protected:
    void SetUp() override { sim.instrument.StartUp({}); }

    // Where `z` passes `level` between `from` and `to`, by linear interpolation.
    static double Crossing(std::span<const double> z, int from, int to, double level) {
        for (int i = from; i < to; ++i) {
            if ((z[i] - level) * (z[i + 1] - level) <= 0.0 && z[i] != z[i + 1]) {
                return i + (level - z[i]) / (z[i + 1] - z[i]);
            }
        }
        return -1.0;
    }
    static double Mean(std::span<const double> values, int from, int to) {
        double sum = 0.0;
        for (int i = from; i < to; ++i) {
            sum += values[i];
        }
        return sum / (to - from);
    }
    void ExpectCouponsMeasureTrue() {
        sim.AttachCoupon(kSingle, "50");
        sim.AttachCoupon(kDifferential, "100");
        for (int repeat = 0; repeat < 3; ++repeat) {
            const TraceRecord single = sim.RunTest(WindowCriterion(kSingle, 50.0));
            EXPECT_NEAR(single.Average, 50.0, 0.5);
            EXPECT_TRUE(single.Passed);
            const TraceRecord pair = sim.RunTest(WindowCriterion(kDifferential, 100.0));
            EXPECT_NEAR(pair.Average, 100.0, 1.0);
            EXPECT_TRUE(pair.Passed);
        }
    }

    SimulatedInstrument sim;
};

TEST_F(FactoryInstrument, UniformCouponsMeasureTheirImpedance) {
    ExpectCouponsMeasureTrue();
    const TraceRecord single = sim.RunTest(WindowCriterion(kSingle, 50.0));
    ASSERT_EQ(single.Samples.size(), 750u);
    EXPECT_EQ(single.Samples[300].Position, 4.0);
    EXPECT_LT(single.Deviation, 0.1);
    // A coupon off its target fails the criterion.
    sim.AttachCoupon(kSingle, "60");
    const TraceRecord high = sim.RunTest(WindowCriterion(kSingle, 50.0));
    EXPECT_NEAR(high.Average, 60.0, 1.0);
    EXPECT_FALSE(high.Passed);
}

TEST_F(FactoryInstrument, ASectionShowsWhereItLies) {
    sim.AttachCoupon(kSingle, "50@0-4,60@4-6,50@6-10");
    for (int repeat = 0; repeat < 3; ++repeat) {
        const MeasuredProfile profile = sim.instrument.MeasureProfile(MeasurementMode::SingleEnded);
        EXPECT_NEAR(profile.Impedance[200], 50.0, 0.5);
        EXPECT_NEAR(profile.Impedance[375], 60.0, 0.6);
        EXPECT_NEAR(profile.Impedance[600], 50.0, 0.5);
        // Each edge lies where the reflected level is halfway between the
        // levels on either side of it.
        const std::span<const double> level =
            std::span<const double>(sim.instrument.Buffers().Level)
                .subspan(sim.instrument.Calibration().EndOfCable(kSingle), 750);
        const double before = Mean(level, 150, 250);
        const double inside = Mean(level, 340, 410);
        const double after = Mean(level, 500, 600);
        EXPECT_NEAR(Crossing(level, 250, 375, (before + inside) / 2), 300.0, 2.0);
        EXPECT_NEAR(Crossing(level, 375, 525, (inside + after) / 2), 450.0, 2.0);
    }
}

TEST_F(FactoryInstrument, CharacterisationFindsTheCableEndAndMeasurementsStillHold) {
    for (const MeasurementMode mode : {kSingle, kDifferential}) {
        SCOPED_TRACE(ModeName(mode));
        sim.station.prompts.messages.clear();
        sim.Mv300().Attach(mode, sim::CableAttachment::Nothing());
        const std::int64_t start = sim.station.clock.NowMs();

        const CharacterizationOutcome outcome = sim.instrument.CharacterizeCable(mode);

        ASSERT_EQ(outcome.result, CharacterizationOutcome::Result::Done);
        const int truth = sim::WaveformPhysics::Physics(mode).EndOfCable;
        const int found = sim.instrument.Calibration().EndOfCable(mode);
        EXPECT_NEAR(found, truth, 3);
        EXPECT_EQ(found, outcome.cable.EndOfCable);
        ASSERT_EQ(sim.station.prompts.messages.size(), 1u);
        EXPECT_EQ(sim.station.prompts.messages[0].caption, "Characterizing Cable");
        EXPECT_EQ(sim.station.prompts.messages[0].text,
                  IsDifferential(mode) ? "Ensure that all airlines or probes are disconnected "
                                         "from the Differential cables"
                                       : "Ensure that all airlines or probes are disconnected "
                                         "from the Single-ended cable");
        // The new kernel is in force in double precision and in the store as floats.
        const ResponseKernel& kernel = sim.instrument.Kernels().For(mode);
        EXPECT_EQ(std::vector<double>(kernel.Values().begin(), kernel.Values().end()),
                  outcome.cable.Kernel);
        const StoredKernelRead stored = StoredKernel(sim.Mv300().Store(), mode);
        EXPECT_EQ(stored.values, AsFloats(outcome.cable.Kernel));
        // One acquisition, then a 50 ms pause after each page written.
        const int pages = static_cast<int>(PackKernelPages(outcome.cable.Kernel).size());
        EXPECT_EQ(sim.station.clock.NowMs() - start, 220 + 50 * pages);
    }
    ExpectCouponsMeasureTrue();

    // The end of cable reaches the store only with a saved calibration; the
    // kernel is there already and the next start-up takes it.
    SimulatedInstrument restarted;
    restarted.Mv300().Store() = sim.Mv300().Store();
    restarted.instrument.StartUp({});
    EXPECT_EQ(restarted.instrument.Calibration().EndOfCable(kSingle),
              sim::PhysicsFactoryValues(kSingle).EndOfCable);
    EXPECT_EQ(restarted.instrument.Kernels().SingleEnded.Length(),
              sim.instrument.Kernels().SingleEnded.Length());
}

class FailedCharacterisation : public FactoryInstrument {
  protected:
    void SetUp() override {
        FactoryInstrument::SetUp();
        before = sim.instrument.Calibration();
        kernelBefore.assign(sim.instrument.Kernels().SingleEnded.Values().begin(),
                            sim.instrument.Kernels().SingleEnded.Values().end());
        storeBefore = StoredKernel(sim.Mv300().Store(), kSingle).values;
        sim.Mv300().Attach(kSingle, sim::CableAttachment::Nothing());
    }
    // Nothing changed: the previous end of cable and kernel are in force
    // and the store holds the previous kernel.
    void ExpectNothingChanged() {
        EXPECT_EQ(sim.instrument.Calibration(), before);
        const ResponseKernel& kernel = sim.instrument.Kernels().SingleEnded;
        EXPECT_TRUE(kernel.HasStored());
        EXPECT_EQ(std::vector<double>(kernel.Values().begin(), kernel.Values().end()),
                  kernelBefore);
        EXPECT_EQ(StoredKernel(sim.Mv300().Store(), kSingle).values, storeBefore);
    }
    static std::string FirstLine(const std::string& text) {
        return text.substr(0, text.find('\n'));
    }
    std::vector<std::string> Texts() const {
        std::vector<std::string> texts;
        for (const auto& message : sim.station.prompts.messages) {
            texts.push_back(message.text);
        }
        return texts;
    }

    CalibrationSet before;
    std::vector<double> kernelBefore;
    std::vector<double> storeBefore;
};

TEST_F(FailedCharacterisation, WithoutAnInstrument) {
    sim.station.sim.Unplug();
    const CharacterizationOutcome outcome = sim.instrument.CharacterizeCable(kSingle);
    EXPECT_EQ(outcome.result, CharacterizationOutcome::Result::DeviceUnreachable);
    EXPECT_EQ(Texts(), (std::vector<std::string>{kDisconnectSingleEndedText,
                                                 "Unable to open the TDR device"}));
    ExpectNothingChanged();
}

TEST_F(FailedCharacterisation, NoCrossingBeforeSample5001) {
    // Below the far level's 60 % until sample 5001.
    class LateEdge : public sim::WaveformSource {
      public:
        std::vector<std::int16_t> Block(MeasurementMode, const sim::CableAttachment&,
                                        int blockIndex) override {
            std::vector<std::int16_t> samples(kSamplesPerBlock);
            for (int i = 0; i < kSamplesPerBlock; ++i) {
                const int t = blockIndex * kSamplesPerBlock + i;
                samples[i] = static_cast<std::int16_t>(t == 0 || t > 5000 ? 0 : -1000);
            }
            return samples;
        }
    };
    sim.Mv300().SetWaveformSource(std::make_unique<LateEdge>());
    const CharacterizationOutcome outcome = sim.instrument.CharacterizeCable(kSingle);
    EXPECT_EQ(outcome.result, CharacterizationOutcome::Result::EdgeNotFound);
    EXPECT_EQ(outcome.cable.Crossing, 5001);
    ASSERT_EQ(sim.station.prompts.messages.size(), 2u);
    EXPECT_EQ(FirstLine(sim.station.prompts.messages[1].text), "Cable length failed - retry");
    EXPECT_EQ(sim.station.prompts.messages[1].caption, "Error");
    ExpectNothingChanged();
}

TEST_F(FailedCharacterisation, SomethingStillAttached) {
    // A short leaves no rising edge whose foot could carry a kernel.
    sim.Mv300().Attach(kSingle, sim::CableAttachment::ShortCircuit());
    const CharacterizationOutcome outcome = sim.instrument.CharacterizeCable(kSingle);
    EXPECT_EQ(outcome.result, CharacterizationOutcome::Result::EdgeNotFound);
    EXPECT_EQ(FirstLine(Texts().back()), "Cable length failed - retry");
    ExpectNothingChanged();
}

TEST_F(FailedCharacterisation, BlocksMissingFromTheRecord) {
    sim.station.sim.ShortenReplies(sim::SimulatedMv300::kSamplesIn, 2000);
    const CharacterizationOutcome outcome = sim.instrument.CharacterizeCable(kSingle);
    EXPECT_EQ(outcome.result, CharacterizationOutcome::Result::IncompleteRecord);
    EXPECT_EQ(FirstLine(Texts().back()), "Cable length failed - retry");
    ExpectNothingChanged();
}

// The failure says what to check: what is on the cable's end for a missing
// edge (naming the cable of the mode), the USB link for a short record.
TEST_F(FailedCharacterisation, SaysWhatToCheck) {
    struct Case {
        MeasurementMode mode;
        bool shortRecord;
        const char* hint;
    };
    const Case cases[] = {{kSingle, false, "Single-ended cable was found. Check that nothing"},
                          {kDifferential, false, "Differential cables was found. Check"},
                          {kSingle, true, "Check the USB cable"}};
    for (const Case& c : cases) {
        sim.station.prompts.messages.clear();
        if (c.shortRecord) {
            sim.station.sim.ShortenReplies(sim::SimulatedMv300::kSamplesIn, 2000);
        } else {
            sim.Mv300().Attach(c.mode, sim::CableAttachment::ShortCircuit());
        }
        sim.instrument.CharacterizeCable(c.mode);
        ASSERT_FALSE(Texts().empty());
        EXPECT_NE(Texts().back().find(c.hint), std::string::npos) << Texts().back();
    }
}

TEST_F(FailedCharacterisation, WithoutAKernelBeforeNoneComesBack) {
    sim.instrument.Kernels().SingleEnded.DiscardStored();
    sim.station.sim.Unplug();
    sim.instrument.CharacterizeCable(kSingle);
    EXPECT_FALSE(sim.instrument.Kernels().SingleEnded.HasStored());
    EXPECT_EQ(sim.instrument.Calibration().EndOfCable(kSingle), before.EndOfCable(kSingle));
}

TEST_F(FactoryInstrument, KernelPageThatCannotBeWrittenIsReported) {
    // Count the transfers of an acquisition and of one page write on a twin.
    int acquisitionTransfers = 0;
    int pageTransfers = 0;
    {
        SimulatedInstrument twin;
        int count = twin.station.sim.TransferCount();
        twin.instrument.Acquire(kDifferential, Derivative::Raw);
        acquisitionTransfers = twin.station.sim.TransferCount() - count;
        count = twin.station.sim.TransferCount();
        twin.instrument.Link().WritePage(60, StorePage{});
        pageTransfers = twin.station.sim.TransferCount() - count;
    }
    sim.Mv300().Attach(kDifferential, sim::CableAttachment::Nothing());
    // The reply to the third page's write goes missing.
    sim.station.sim.FailTransfer(sim.station.sim.TransferCount() + acquisitionTransfers +
                                 3 * pageTransfers);
    const CharacterizationOutcome outcome = sim.instrument.CharacterizeCable(kDifferential);
    EXPECT_EQ(outcome.result, CharacterizationOutcome::Result::KernelNotStored);
    EXPECT_TRUE(outcome.Succeeded());
    ASSERT_EQ(sim.station.prompts.messages.size(), 2u);
    EXPECT_EQ(sim.station.prompts.messages[1].text,
              "The cable kernel could not be written to the TDR - retry");
    // The kernel measured is in force all the same.
    EXPECT_EQ(sim.instrument.Kernels().Differential.Length(), outcome.cable.Kernel.size());
}

TEST_F(FailedCharacterisation, UsbErrorWhileTheKernelPagesAreWritten) {
    // The instrument refuses to close the device after the third page's
    // write (the acquisition's close is the first).
    sim.station.sim.FailClose(1 + 3);
    const CharacterizationOutcome outcome = sim.instrument.CharacterizeCable(kSingle);
    EXPECT_EQ(outcome.result, CharacterizationOutcome::Result::KernelWriteFailed);
    EXPECT_FALSE(outcome.Succeeded());
    EXPECT_EQ(outcome.usbError, "Failed to close handle to driver.");
    ASSERT_EQ(sim.station.prompts.messages.size(), 2u);
    EXPECT_EQ(sim.station.prompts.messages[1].text,
              "The cable kernel could not be written to the TDR - retry");
    EXPECT_EQ(sim.station.prompts.messages[1].caption, "Error");
    // The previous end of cable and kernel are in force again.
    EXPECT_EQ(sim.instrument.Calibration(), before);
    const ResponseKernel& kernel = sim.instrument.Kernels().SingleEnded;
    EXPECT_EQ(std::vector<double>(kernel.Values().begin(), kernel.Values().end()), kernelBefore);
    EXPECT_FALSE(sim.instrument.Device().IsOpen());
    // The instrument works on.
    EXPECT_EQ(sim.instrument.CharacterizeCable(kSingle).result,
              CharacterizationOutcome::Result::Done);
}

TEST_F(FactoryInstrument, CharacterisationTakesARecordWhoseLastBlockCameShort) {
    const int acquisitionTransfers = testing::AcquisitionTransfers();
    sim.Mv300().Attach(kSingle, sim::CableAttachment::Nothing());
    // The last transfer is the read of the eighth block: 100 samples of 1024.
    sim.station.sim.ShortReplyAtTransfer(sim.station.sim.TransferCount() + acquisitionTransfers,
                                         200);
    const CharacterizationOutcome outcome = sim.instrument.CharacterizeCable(kSingle);
    EXPECT_EQ(outcome.acquisition.samplesReceived, 7 * 1024 + 100);
    EXPECT_FALSE(outcome.acquisition.WholeRecord());
    ASSERT_EQ(outcome.result, CharacterizationOutcome::Result::Done);
    EXPECT_NEAR(sim.instrument.Calibration().EndOfCable(kSingle),
                sim::WaveformPhysics::Physics(kSingle).EndOfCable, 3);

    // A short fifth block lies inside the part searched and moves everything
    // behind it (three transfers a block: command, reply, read).
    sim.station.sim.ShortReplyAtTransfer(
        sim.station.sim.TransferCount() + acquisitionTransfers - 3 * 3, 200);
    EXPECT_EQ(sim.instrument.CharacterizeCable(kSingle).result,
              CharacterizationOutcome::Result::IncompleteRecord);
}

TEST_F(FactoryInstrument, CharacterisationProcessesItsRecordWithTheBuiltInKernel) {
    testing::TemporaryFolder folder;
    sim.instrument.SetDumpPath(folder.File("TDR_Data.csv"));
    for (const MeasurementMode mode : {kSingle, kDifferential}) {
        SCOPED_TRACE(ModeName(mode));
        const std::size_t stored = sim.instrument.Kernels().For(mode).Length();
        const std::size_t builtIn = ResponseKernel::BuiltIn(mode).size();
        ASSERT_NE(stored, builtIn);
        sim.Mv300().Attach(mode, sim::CableAttachment::Nothing());
        ASSERT_TRUE(sim.instrument.CharacterizeCable(mode).Succeeded());
        // The dump's rows carry a sixth field, the kernel value, for as many
        // rows as the kernel the acquisition was processed with has values.
        std::ifstream dump(folder.File("TDR_Data.csv"));
        std::size_t withKernel = 0;
        for (std::string line; std::getline(dump, line);) {
            withKernel += std::count(line.begin(), line.end(), ',') == 5 ? 1 : 0;
        }
        EXPECT_EQ(withKernel, builtIn);
    }
}

// A record whose level is exactly twice the divisor: rho = 1.
class DoubleStep : public sim::WaveformSource {
  public:
    std::vector<std::int16_t> Block(MeasurementMode, const sim::CableAttachment&,
                                    int blockIndex) override {
        std::vector<std::int16_t> samples(kSamplesPerBlock, 1000);
        if (blockIndex == 0) {
            samples[0] = 0;
        }
        return samples;
    }
};

TEST(InfiniteImpedance, EveryConsumerTakesIt) {
    testing::TemporaryFolder folder;
    SimulatedInstrument sim;
    sim.Mv300().SetWaveformSource(std::make_unique<DoubleStep>());
    sim.instrument.Calibration().SetDivisor(kSingle, 500.0);
    sim.instrument.SetDumpPath(folder.File("TDR_Data.csv"));

    const TraceRecord record = sim.RunTest(WindowCriterion(kSingle, 50.0));
    for (const TraceSample& sample : record.Samples) {
        ASSERT_EQ(sample.Impedance, std::numeric_limits<double>::infinity());
    }
    EXPECT_EQ(record.Average, std::numeric_limits<double>::infinity());
    EXPECT_EQ(record.Maximum, std::numeric_limits<double>::infinity());
    EXPECT_TRUE(std::isnan(record.Deviation));
    EXPECT_FALSE(record.Passed);

    std::ifstream dump(folder.File("TDR_Data.csv"));
    std::string line;
    for (int m = 0; m <= 3000; ++m) {
        std::getline(dump, line);
    }
    EXPECT_EQ(line.substr(0, 16), "1000, 0, 1000, i") << line;
    EXPECT_NE(line.find(", inf, "), std::string::npos) << line;
}

// orvik-cli process on the raw record the acquisition received gives the
// acquisition's own numbers.
TEST(ProcessCommandAgrees, WithTheAcquisitionPath) {
    for (const MeasurementMode mode : {kSingle, kDifferential}) {
        SCOPED_TRACE(ModeName(mode));
        SimulatedInstrument sim;
        sim.instrument.StartUp({});
        sim.AttachCoupon(mode, "50@0-3,65@3-5,45@5-8");
        ASSERT_TRUE(sim.instrument.Acquire(mode, Derivative::Smoothed).processed);
        const AcquisitionBuffers& buffers = sim.instrument.Buffers();

        testing::TemporaryFolder folder;
        std::ofstream raw(folder.File("raw.txt"));
        for (const std::int16_t sample : sim.Physics().LastRecord()) {
            raw << sample << '\n';
        }
        raw.close();
        std::ofstream kernelFile(folder.File("kernel.txt"));
        char number[64];
        for (const double value : sim.instrument.Kernels().For(mode).Values()) {
            std::snprintf(number, sizeof number, "%.17g\n", value);
            kernelFile << number;
        }
        kernelFile.close();
        const CalibrationSet& calibration = sim.instrument.Calibration();
        std::snprintf(number, sizeof number, "%.17g", calibration.Divisor(mode));
        const std::string divisor = number;
        std::snprintf(number, sizeof number, "%.17g", calibration.CalibrationConstant(mode));
        const std::string constant = number;

        const auto previous = std::filesystem::current_path();
        std::filesystem::current_path(folder.Path());
        ::testing::internal::CaptureStdout();
        const int status =
            cli::RunProcess({"--mode", IsDifferential(mode) ? "differential" : "single", "--eoc",
                             std::to_string(calibration.EndOfCable(mode)), "--divisor", divisor,
                             "--constant", constant, "--kernel", "kernel.txt", "raw.txt"});
        const std::string output = ::testing::internal::GetCapturedStdout();
        std::filesystem::current_path(previous);
        ASSERT_EQ(status, 0);

        std::istringstream lines(output);
        std::string line;
        std::getline(lines, line);  // the heading
        int index = 0;
        while (std::getline(lines, line)) {
            double fields[6];
            ASSERT_EQ(std::sscanf(line.c_str(), "%lf,%lf,%lf,%lf,%lf,%lf", &fields[0], &fields[1],
                                  &fields[2], &fields[3], &fields[4], &fields[5]),
                      6);
            ASSERT_EQ(fields[0], index);
            ASSERT_EQ(fields[1], buffers.Raw[index]) << index;
            ASSERT_EQ(fields[2], buffers.Derivative[index]) << index;
            ASSERT_EQ(fields[3], buffers.DerivativeCopy[index]) << index;
            ASSERT_EQ(fields[4], buffers.Level[index]) << index;
            ASSERT_EQ(fields[5], buffers.Impedance[index]) << index;
            ++index;
        }
        EXPECT_EQ(index, kProcessedSampleCount);
    }
}

}  // namespace
}  // namespace orvik
