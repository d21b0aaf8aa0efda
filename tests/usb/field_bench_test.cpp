// The real instrument on a field engineer's bench, on the emulated bus:
// images that are not an instrument's, several instruments, device nodes
// without permission, an instrument replugged while the program runs, and a
// second program wanting the same instrument.
#include <gtest/gtest.h>

#include <algorithm>

#include "../test_log.h"
#include "emulated_instrument.h"
#include "instrument/image_loading.h"
#include "simulator/sim_images.h"

namespace orvik {
namespace {

using testing::EmulatedInstrument;
using testing::InstrumentOptions;
using testing::kSingle;
using testing::TestSettings;

bool Contains(const std::string& text, const std::string& part) {
    return text.find(part) != std::string::npos;
}

bool CarriesTag(const sim::SimulatedMv300& instrument) {
    return CarriesSimulatedControllerTag(instrument.CodeMemory());
}

class ProgressRecorder : public LoadProgress {
  public:
    void Show() override { events.push_back("show"); }
    void SetRange(std::int64_t, std::int64_t maximum) override {
        events.push_back("range " + std::to_string(maximum));
    }
    void SetPosition(std::int64_t position) override { events.push_back(std::to_string(position)); }
    void Close() override { events.push_back("close"); }
    std::vector<std::string> events;
};

class ColdInstrument : public EmulatedInstrument {
  protected:
    ColdInstrument() : EmulatedInstrument(false) {}
};

// The simulated MV300's program, found where an instrument's images are
// looked for, is refused by the port: not a byte of it reaches the
// controller, nor the FPGA image beside it, and the operator is told which
// file it was. The refusal ends with the next upload, which may be the
// instrument's own.
TEST_F(ColdInstrument, TheSimulatorsProgramNeverReachesAnInstrument) {
    testing::TemporaryFolder simulatorImages;
    ASSERT_TRUE(sim::WriteSimulatorImages(simulatorImages.Path()));
    StartUpOptions options;
    options.imageFolder = simulatorImages.Path();

    const StartUpFindings refused = Station().StartUp(options);

    ASSERT_TRUE(refused.imageFailure);
    EXPECT_EQ(refused.imageFailure->outcome, ImageLoadOutcome::WrongImage);
    EXPECT_FALSE(refused.fpgaImage);
    ASSERT_FALSE(prompts.messages.empty());
    EXPECT_TRUE(Contains(prompts.messages[0].text,
                         (simulatorImages.Path() / kProgramImageFile).string() +
                             " is the simulated MV300's image, not an instrument's"))
        << prompts.messages[0].text;
    bus.WithInstrument([](sim::SimulatedMv300& instrument) {
        EXPECT_FALSE(CarriesTag(instrument));
        EXPECT_FALSE(instrument.ProgramRunning());
        EXPECT_TRUE(instrument.ControllerHeld()) << "not released to run what it got";
        EXPECT_EQ(instrument.FpgaLoads(), 0);
    });
    EXPECT_EQ(bus.Renumerations(), 0);

    prompts.messages.clear();
    EXPECT_TRUE(StartUp().InstrumentReady()) << "the instrument's own images load after it";
    EXPECT_TRUE(Station().Acquire(kSingle, Derivative::Smoothed).WholeRecord());
}

// Two instruments: a cold one on port 1-1, a warm one on port 1-2.
class TwoInstruments : public EmulatedInstrument {
  protected:
    explicit TwoInstruments(bool firstWarm = false, UsbSettings usb = TestSettings())
        : EmulatedInstrument(firstWarm, nullptr, usb) {
        second = bus.AddInstrument(InstrumentOptions(true, "SIM0300002"));
    }
    void SetUp() override {
        EmulatedInstrument::SetUp();
        bus.PlugInInstrument(second);
        // The bus reports an arrival a moment later: until both are seen, a
        // later count of one would not tell that the first has left.
        ASSERT_TRUE(WaitUntilAttached(2));
        port->SetLog(log);
    }
    // Register writes each instrument has had: which one measured.
    std::pair<std::size_t, std::size_t> RegisterWrites() {
        std::pair<std::size_t, std::size_t> writes;
        bus.WithInstrument(
            0, [&](auto& instrument) { writes.first = instrument.RegistersWritten().size(); });
        bus.WithInstrument(second, [&](auto& instrument) {
            writes.second = instrument.RegistersWritten().size();
        });
        return writes;
    }

    int second = 0;
    testing::RecordingLogSink sink;
    DiagnosticLog log{sink, LogLevel::Debug};
};

// The program goes to the first instrument by port and after the upload
// waits for that one to come back: the warm one on the bus is not it, so
// the program and the FPGA image both go to the first, which then measures.
TEST_F(TwoInstruments, TheUploadedInstrumentIsTheOneThatGetsItsFpgaImage) {
    const StartUpFindings findings = StartUp();
    EXPECT_TRUE(findings.InstrumentReady());
    bus.WithInstrument(0, [](sim::SimulatedMv300& instrument) {
        EXPECT_EQ(instrument.ProgramUploads(), 1);
        EXPECT_EQ(instrument.FpgaLoads(), 1);
        EXPECT_TRUE(instrument.FpgaConfigured());
    });
    bus.WithInstrument(
        second, [](sim::SimulatedMv300& instrument) { EXPECT_EQ(instrument.FpgaLoads(), 0); });
    ASSERT_TRUE(port->InstrumentInUse());
    EXPECT_EQ(port->InstrumentInUse()->serial, "SIM0300001");
    EXPECT_EQ(port->InstrumentInUse()->port, bus.InstrumentPort(0));

    EXPECT_TRUE(Station().Acquire(kSingle, Derivative::Smoothed).WholeRecord());
    EXPECT_EQ(RegisterWrites().second, 0u);
    EXPECT_GT(RegisterWrites().first, 0u);
    // Which one is in use, where the operator looks.
    EXPECT_TRUE(Contains(port->InstrumentSummary(), "serial SIM0300001"));
    EXPECT_TRUE(Contains(port->InstrumentSummary(), "one of 2 attached"));
    EXPECT_EQ(sink.Count(LogLevel::Warning, "usb", {"2 MV300s are attached", "--usb-serial"}), 1u);
}

// Another instrument arrives, warm, on another port while the first is away
// starting its program (which takes it half a second here): it is new on
// the bus and runs, but it is not the one that left, and the program waits
// for that one.
class SlowToReturnInstrument : public EmulatedInstrument {
  protected:
    SlowToReturnInstrument() : EmulatedInstrument(false, nullptr, TestSettings(), 500) {}
};

TEST_F(SlowToReturnInstrument, AnInstrumentArrivingMeanwhileIsNotTakenForTheOneStarting) {
    const int arriving = bus.AddInstrument(InstrumentOptions(true, "SIM0300002"));
    bus.PlugInWhileRenumerating(arriving);

    EXPECT_TRUE(StartUp().InstrumentReady());
    bus.WithInstrument(
        0, [](sim::SimulatedMv300& instrument) { EXPECT_EQ(instrument.FpgaLoads(), 1); });
    bus.WithInstrument(
        arriving, [](sim::SimulatedMv300& instrument) { EXPECT_EQ(instrument.FpgaLoads(), 0); });
    EXPECT_EQ(port->InstrumentInUse()->serial, "SIM0300001");
}

class TwoWarmInstruments : public TwoInstruments {
  protected:
    TwoWarmInstruments() : TwoInstruments(true) {}
};

// The instrument in use is unplugged: the program says so and does not move
// to the other one; plugged in again it comes back without its program,
// gets its images with the "Initializing TDR" window, and measures on.
TEST_F(TwoWarmInstruments, AReplugNeverMovesTheTestsToTheOtherInstrument) {
    ProgressRecorder progress;
    Station().SetRestartProgress(&progress);
    ASSERT_TRUE(StartUp().InstrumentReady());
    bus.UnplugInstrument(0);
    ASSERT_TRUE(WaitUntilAttached(1));

    const AcquisitionOutcome gone = Station().Acquire(kSingle, Derivative::Smoothed);
    EXPECT_FALSE(gone.deviceOpened);
    EXPECT_TRUE(gone.stopLiveMode);
    ASSERT_EQ(prompts.messages.size(), 1u);
    EXPECT_EQ(prompts.messages[0].caption, kDeviceNotFoundCaption);
    EXPECT_TRUE(Contains(prompts.messages[0].text,
                         "(serial SIM0300001, USB port 1-1) is no "
                         "longer attached: plug it in again"))
        << prompts.messages[0].text;
    EXPECT_EQ(RegisterWrites().second, 0u);
    EXPECT_TRUE(Contains(port->InstrumentSummary(), "is gone"));

    bus.PlugInInstrument(0);  // cold now
    ASSERT_TRUE(WaitUntilAttached(2));
    prompts.messages.clear();
    EXPECT_TRUE(Station().Acquire(kSingle, Derivative::Smoothed).WholeRecord());
    EXPECT_TRUE(prompts.messages.empty());
    bus.WithInstrument(0, [](sim::SimulatedMv300& instrument) {
        EXPECT_EQ(instrument.ProgramUploads(), 1);
        EXPECT_TRUE(instrument.FpgaConfigured());
    });
    EXPECT_EQ(RegisterWrites().second, 0u);
    ASSERT_FALSE(progress.events.empty());
    EXPECT_EQ(progress.events.front(), "show");
    EXPECT_EQ(progress.events.back(), "close");
    EXPECT_EQ(port->InstrumentInUse()->address, bus.InstrumentAddress(0));
}

// An instrument that comes back without its program and cannot be started
// again: the operator is told what to do, live mode stops, and the next
// test, with the images back, carries on.
TEST_F(EmulatedInstrument, AnInstrumentThatCannotBeStartedAgainSaysWhatToDo) {
    ASSERT_TRUE(StartUp().InstrumentReady());
    bus.UnplugInstrument();
    ASSERT_TRUE(WaitUntilGone());
    bus.PlugInInstrument();
    ASSERT_TRUE(WaitUntilAttached(1));
    std::filesystem::remove(images.Path() / kFpgaImageFile);

    const AcquisitionOutcome failed = Station().Acquire(kSingle, Derivative::Smoothed);
    EXPECT_TRUE(failed.stopLiveMode);
    EXPECT_FALSE(failed.processed);
    ASSERT_EQ(prompts.messages.size(), 1u);
    EXPECT_EQ(prompts.messages[0].caption, kInstrumentNotReadyCaption);
    EXPECT_TRUE(Contains(prompts.messages[0].text, "could not be started again"));
    EXPECT_TRUE(Contains(prompts.messages[0].text, kFpgaImageFile));
    EXPECT_TRUE(Contains(prompts.messages[0].text, "then run the test again"));

    ASSERT_TRUE(testing::WriteInstrumentImages(images.Path()));
    EXPECT_TRUE(Station().Acquire(kSingle, Derivative::Smoothed).WholeRecord());
}

UsbSettings Serial(const std::string& serial) {
    UsbSettings usb = TestSettings();
    usb.serial = serial;
    return usb;
}

class SecondBySerial : public TwoInstruments {
  protected:
    SecondBySerial() : TwoInstruments(false, Serial("SIM0300002")) {}
};

TEST_F(SecondBySerial, TheSerialAskedForChoosesTheInstrument) {
    EXPECT_TRUE(StartUp().InstrumentReady());
    EXPECT_EQ(port->InstrumentInUse()->serial, "SIM0300002");
    EXPECT_TRUE(Station().Acquire(kSingle, Derivative::Smoothed).WholeRecord());
    EXPECT_EQ(RegisterWrites().first, 0u);
    bus.WithInstrument(0, [](sim::SimulatedMv300& instrument) {
        EXPECT_EQ(instrument.ProgramUploads(), 0) << "the cold one is left alone";
    });
}

class MissingSerial : public TwoInstruments {
  protected:
    MissingSerial() : TwoInstruments(false, Serial("SIM0300009")) {}
};

TEST_F(MissingSerial, ASerialNotAttachedIsNamedWithThoseThatAre) {
    const StartUpFindings findings = StartUp();
    EXPECT_FALSE(findings.instrumentFound);
    const std::string status = InstrumentStatusText(findings);
    EXPECT_TRUE(Contains(status, "No MV300 with serial SIM0300009 is attached")) << status;
    EXPECT_TRUE(Contains(status, "serial SIM0300002, USB port 1-2")) << status;
    EXPECT_FALSE(port->InstrumentInUse());
}

// Without the udev rule: the instrument and the trigger port are on the bus
// but their nodes refuse this user. Every place the operator looks says so.
TEST_F(EmulatedInstrument, AnInstrumentThisUserMayNotOpenIsToldAsSuch) {
    testing::DenyDeviceNodes(true);
    const StartUpFindings findings = StartUp();
    EXPECT_FALSE(findings.instrumentFound);
    EXPECT_FALSE(findings.triggerOpened);
    const std::string status = InstrumentStatusText(findings);
    EXPECT_TRUE(Contains(status, "An MV300 is attached but this user may not open it")) << status;
    EXPECT_TRUE(Contains(status, "/usr/lib/udev/rules.d/60-orvik.rules")) << status;
    EXPECT_TRUE(Contains(status, "plugdev")) << status;
    EXPECT_TRUE(Contains(port->InstrumentSummary(), "no permission"));
    ASSERT_EQ(prompts.messages.size(), 1u);
    EXPECT_EQ(prompts.messages[0].caption, "Failed to open Device");
    EXPECT_TRUE(Contains(prompts.messages[0].text, "udev rule")) << prompts.messages[0].text;

    prompts.messages.clear();
    EXPECT_FALSE(Station().Acquire(kSingle, Derivative::Smoothed).deviceOpened);
    ASSERT_EQ(prompts.messages.size(), 1u);
    EXPECT_EQ(prompts.messages[0].text, status);

    const std::vector<AttachedInstrument> listed = port->Instruments();
    ASSERT_EQ(listed.size(), 1u);
    EXPECT_EQ(listed[0].access, DeviceAccess::NoPermission);

    testing::DenyDeviceNodes(false);  // the rule is installed and the instrument replugged
    EXPECT_TRUE(Station().Acquire(kSingle, Derivative::Smoothed).WholeRecord());
}

// A second program: its port finds the instrument claimed by the first for
// the whole of the first's run, between operations too, and says so. Once
// the first has ended, the second may have it.
TEST_F(EmulatedInstrument, OneProgramAtATime) {
    ASSERT_TRUE(StartUp().InstrumentReady());
    auto other = LibusbDriverPort::Create(settings);
    ASSERT_TRUE(other);
    testing::RecordingPrompts otherPrompts;
    auto otherStation = std::make_unique<InstrumentStation>(**other, clock, otherPrompts);
    otherStation->SetDumpPath("");
    StartUpOptions options;
    options.imageFolder = images.Path();

    const StartUpFindings findings = otherStation->StartUp(options);
    EXPECT_FALSE(findings.instrumentFound);
    EXPECT_TRUE(Contains(InstrumentStatusText(findings), "The MV300 is in use by another program"));
    EXPECT_EQ((*other)->Instruments().at(0).access, DeviceAccess::InUse);
    EXPECT_FALSE(otherStation->Acquire(kSingle, Derivative::Smoothed).deviceOpened);
    ASSERT_FALSE(otherPrompts.messages.empty());
    EXPECT_TRUE(Contains(otherPrompts.messages.back().text, "in use by another program"));
    EXPECT_TRUE(Station().Acquire(kSingle, Derivative::Smoothed).WholeRecord());

    station.reset();
    port.reset();  // the first program ends
    otherPrompts.messages.clear();
    EXPECT_TRUE(otherStation->Acquire(kSingle, Derivative::Smoothed).WholeRecord());
    EXPECT_TRUE(otherPrompts.messages.empty());
}

}  // namespace
}  // namespace orvik
