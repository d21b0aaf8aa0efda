// The instrument side of start-up against warm, cold, missing and failing
// simulated instruments.
#include <gtest/gtest.h>

#include <cmath>
#include <functional>

#include "instrument/device_startup.h"
#include "instrument/store_layout.h"
#include "link_test_support.h"
#include "simulator/factory_calibration.h"
#include "simulator/sim_images.h"
#include "test_files.h"

namespace orvik {
namespace {

using testing::SimulatedStation;

// One start-up of the program against a simulated instrument.
class StartUpRun {
  public:
    explicit StartUpRun(sim::SimulatorOptions options, const std::filesystem::path& images)
        : station(std::move(options)),
          device(station.port, kInstrumentInterfaceGuid, true),
          trigger(station.port, station.prompts) {
        startUp.imageFolder = images;
        startUp.commandLine = "orvik";
    }
    StartUpFindings Run() {
        return RunDeviceStartUp(device, trigger, station.clock, station.prompts, startUp);
    }
    sim::SimulatedStore& Store() { return station.sim.Instrument().Store(); }

    SimulatedStation station;
    CUsbDevice device;
    CTriggerPort trigger;
    StartUpOptions startUp;
};

std::vector<double> AsFloats(const std::vector<double>& values) {
    std::vector<double> rounded;
    for (const double value : values) {
        rounded.push_back(static_cast<float>(value));
    }
    return rounded;
}

void WriteKernel(sim::SimulatedStore& store, std::uint8_t first,
                 const std::vector<double>& values) {
    for (const StorePage& page : PackKernelPages(values)) {
        store.Write(first++, page);
    }
}

void WriteKernelCount(sim::SimulatedStore& store, std::uint8_t page, float count) {
    StorePage first = store.Read(page);
    SetPageFloat(first, 1, count);
    store.Write(page, first);
}

void WriteEndOfCable(sim::SimulatedStore& store, double single, double differential) {
    StorePage page = store.Read(store_page::kEndOfCable);
    SetPageDouble(page, 1, single);
    SetPageDouble(page, 2, differential);
    store.Write(store_page::kEndOfCable, page);
}

// Store pages asked for, in order.
std::vector<int> PagesRead(const RecordingDriverPort& port) {
    std::vector<int> pages;
    for (const RecordedCall& call : port.Requests()) {
        const auto data = testing::CarriedData(call);
        if (testing::RequestEndpoint(call) == 0x01 && data.size() == 62 && data[0] == 0xC3) {
            pages.push_back(data[2]);
        }
    }
    return pages;
}

class DeviceStartUpTest : public ::testing::Test {
  protected:
    DeviceStartUpTest() { EXPECT_TRUE(sim::WriteSimulatorImages(images_.Path())); }
    // Another folder for images, inside this test's own.
    std::filesystem::path Folder(const std::string& name) {
        const std::filesystem::path folder = images_.Path() / name;
        std::filesystem::create_directories(folder);
        return folder;
    }
    testing::TemporaryFolder images_;
};

TEST_F(DeviceStartUpTest, WarmInstrumentGivesItsStoredCalibrationWithoutLoads) {
    StartUpRun run(testing::WarmInstrument(), images_.Path());
    const StartUpFindings findings = run.Run();

    EXPECT_TRUE(findings.instrumentFound);
    EXPECT_EQ(findings.releaseNumber, 0x0064);
    EXPECT_FALSE(findings.programImage);
    EXPECT_FALSE(findings.fpgaImage);
    EXPECT_EQ(findings.triggerDevicesFound, 1);
    EXPECT_TRUE(findings.triggerOpened);
    EXPECT_FALSE(findings.characterizeMode);
    EXPECT_FALSE(findings.usbError);

    const testing::FactoryStore factory = testing::Factory();
    const StoredCalibration& stored = findings.stored;
    EXPECT_TRUE(stored.calibrated);
    EXPECT_EQ(stored.singleEnded.endOfCable, factory.endOfCableSingle);
    EXPECT_EQ(stored.differential.endOfCable, factory.endOfCableDifferential);
    EXPECT_EQ(stored.singleEnded.divisor, factory.divisorSingle);
    EXPECT_EQ(stored.differential.divisor, factory.divisorDifferential);
    EXPECT_EQ(stored.singleEnded.calibrationConstant, factory.constantSingle);
    EXPECT_EQ(stored.differential.calibrationConstant, factory.constantDifferential);
    EXPECT_EQ(stored.lastOperator, factory.lastOperator);
    EXPECT_EQ(stored.lastDate, factory.lastDate);
    EXPECT_EQ(stored.singleEnded.kernel,
              AsFloats(sim::PhysicsFactoryValues(MeasurementMode::SingleEnded).Kernel));
    EXPECT_EQ(stored.differential.kernel,
              AsFloats(sim::PhysicsFactoryValues(MeasurementMode::Differential).Kernel));
    EXPECT_TRUE(stored.notes.empty());

    EXPECT_FALSE(run.device.IsOpen());
    EXPECT_EQ(run.station.sim.OpenHandles(), 1u);  // the trigger port stays open
    EXPECT_TRUE(run.station.prompts.messages.empty());
    const std::vector<int> pages = PagesRead(run.station.port);
    ASSERT_GE(pages.size(), 7u);
    EXPECT_EQ(std::vector<int>(pages.begin(), pages.begin() + 6),
              (std::vector<int>{1, 2, 3, 4, 5, 8}));
    EXPECT_EQ(pages.back(), 60 + 49 + 1);  // 350 values end on page 109 slot 6, then 110 is read
}

TEST_F(DeviceStartUpTest, ColdInstrumentGetsProgramThenFpgaAndComesUp) {
    StartUpRun run({}, images_.Path());
    const StartUpFindings findings = run.Run();
    EXPECT_EQ(findings.releaseNumber, 0x0001);
    EXPECT_EQ(findings.programImage, ImageLoadOutcome::Loaded);
    EXPECT_EQ(findings.fpgaImage, ImageLoadOutcome::Loaded);
    EXPECT_TRUE(findings.stored.calibrated);
    EXPECT_TRUE(findings.stored.singleEnded.kernel.has_value());

    // The program upload came before the FPGA stream.
    const auto requests = run.station.port.Requests();
    std::ptrdiff_t lastUpload = -1;
    std::ptrdiff_t fpgaCommand = -1;
    for (std::size_t i = 0; i < requests.size(); ++i) {
        if (requests[i].code == usb_request::kControlTransfer && requests[i].input[1] == 0xA0) {
            lastUpload = static_cast<std::ptrdiff_t>(i);
        }
        const auto data = testing::CarriedData(requests[i]);
        if (fpgaCommand < 0 && testing::RequestEndpoint(requests[i]) == 0x01 && data[0] == 0x53) {
            fpgaCommand = static_cast<std::ptrdiff_t>(i);
        }
    }
    EXPECT_GE(lastUpload, 0);
    EXPECT_GT(fpgaCommand, lastUpload);
    EXPECT_EQ(run.station.clock.NowMs(), 3000);  // the pause before the FPGA load

    ASSERT_TRUE(run.device.Open(0));
    EXPECT_EQ(run.device.ReleaseNumber(), 0x0064);
}

TEST_F(DeviceStartUpTest, ColdInstrumentWithoutImagesStaysOnBuiltInValues) {
    testing::TemporaryFolder empty;
    StartUpRun run({}, empty.Path());
    const StartUpFindings findings = run.Run();
    EXPECT_EQ(findings.programImage, ImageLoadOutcome::FileMissing);
    EXPECT_EQ(findings.fpgaImage, ImageLoadOutcome::FileMissing);
    EXPECT_FALSE(findings.stored.calibrated);
    EXPECT_FALSE(findings.stored.singleEnded.kernel);
    EXPECT_FALSE(findings.stored.differential.kernel);
    EXPECT_FALSE(findings.stored.notes.empty());  // the store could not be read
    EXPECT_TRUE(run.station.prompts.messages.empty());
}

TEST_F(DeviceStartUpTest, ImageThatDidNotLoadLeavesTheInstrumentNotReady) {
    // Both images load: ready.
    {
        StartUpRun run({}, images_.Path());
        const StartUpFindings findings = run.Run();
        EXPECT_TRUE(findings.InstrumentReady());
        EXPECT_FALSE(findings.imageFailure);
        EXPECT_EQ(InstrumentStatusText(findings), "MV300 ready");
        EXPECT_EQ(ImageFailureText(findings), "");
    }
    // The FPGA image is missing: the program runs and reports the running
    // release, yet the instrument cannot measure.
    {
        const std::filesystem::path partial = Folder("partial");
        std::filesystem::copy_file(images_.Path() / kProgramImageFile, partial / kProgramImageFile);
        StartUpRun run({}, partial);
        const StartUpFindings findings = run.Run();
        EXPECT_EQ(findings.programImage, ImageLoadOutcome::Loaded);
        EXPECT_EQ(findings.fpgaImage, ImageLoadOutcome::FileMissing);
        ASSERT_TRUE(findings.imageFailure);
        EXPECT_EQ(findings.imageFailure->file, partial / kFpgaImageFile);
        EXPECT_FALSE(findings.InstrumentReady());
        EXPECT_EQ(InstrumentStatusText(findings),
                  "MV300 not ready - TdrSpartan.hex did not load (image file missing)");
        EXPECT_NE(ImageFailureText(findings).find((partial / kFpgaImageFile).string()),
                  std::string::npos);
        EXPECT_NE(ImageFailureText(findings).find("not ready"), std::string::npos);
        EXPECT_TRUE(findings.stored.calibrated) << "the store needs no FPGA";
        ASSERT_TRUE(run.device.Open(0));
        EXPECT_EQ(run.device.ReleaseNumber(), 0x0064);
        EXPECT_FALSE(run.station.sim.Instrument().FpgaConfigured());
    }
    // A damaged FPGA image is streamed whole but not taken.
    {
        const std::filesystem::path damaged = Folder("damaged");
        ASSERT_TRUE(sim::WriteSimulatorImages(damaged));
        const std::string file = (damaged / kFpgaImageFile).string();
        std::vector<std::uint8_t> fpga = testing::ReadFile(file);
        fpga[100] = fpga[100] == '0' ? '1' : '0';
        testing::WriteFile(file, fpga);
        StartUpRun run({}, damaged);
        const StartUpFindings findings = run.Run();
        EXPECT_EQ(findings.fpgaImage, ImageLoadOutcome::NotTaken);
        ASSERT_TRUE(findings.imageFailure);
        EXPECT_EQ(findings.imageFailure->outcome, ImageLoadOutcome::NotTaken);
    }
    // A damaged program is uploaded without complaint but never runs: the
    // FPGA load then fails, and the program image is the one to blame.
    {
        const std::filesystem::path damaged = Folder("damaged-program");
        ASSERT_TRUE(sim::WriteSimulatorImages(damaged));
        std::string text = sim::GenerateProgramImageHex();
        text[text.find(':', 200) + 12] ^= 1;  // one data digit of a record
        testing::WriteFile((damaged / kProgramImageFile).string(),
                           std::vector<std::uint8_t>(text.begin(), text.end()));
        StartUpRun run({}, damaged);
        const StartUpFindings findings = run.Run();
        EXPECT_EQ(findings.programImage, ImageLoadOutcome::NotTaken);
        EXPECT_EQ(findings.fpgaImage, ImageLoadOutcome::CommandFailed);
        ASSERT_TRUE(findings.imageFailure);
        EXPECT_EQ(findings.imageFailure->file, damaged / kProgramImageFile);
    }
    // Without the program image the first failure is the one reported.
    {
        const std::filesystem::path empty = Folder("empty");
        StartUpRun run({}, empty);
        const StartUpFindings findings = run.Run();
        ASSERT_TRUE(findings.imageFailure);
        EXPECT_EQ(findings.imageFailure->file, empty / kProgramImageFile);
        EXPECT_EQ(InstrumentStatusText(findings),
                  "MV300 not ready - TDR_XC.hex did not load (image file missing)");
    }
    // No instrument: nothing to be ready, and no image is blamed.
    sim::SimulatorOptions absent;
    absent.instrumentPresent = false;
    StartUpRun none(absent, images_.Path());
    const StartUpFindings findings = none.Run();
    EXPECT_FALSE(findings.imageFailure);
    EXPECT_EQ(InstrumentStatusText(findings), "No MV300 found");
}

TEST_F(DeviceStartUpTest, UsbErrorDuringTheFpgaLoadStillReadsTheStore) {
    sim::SimulatorOptions options;
    // The interface announces four endpoints but describes only the command
    // pipe: looking for the FPGA endpoint meets an empty slot.
    options.instrument.configurationDescriptor =
        std::vector<std::uint8_t>{9, 2, 32, 0, 1, 1, 0,  0x80, 50, 9, 4, 0,    0, 4,  0xFF, 0,
                                  0, 0, 7,  5, 1, 2, 64, 0,    0,  7, 5, 0x81, 2, 64, 0,    0};
    StartUpRun run(options, images_.Path());
    const StartUpFindings findings = run.Run();
    EXPECT_EQ(findings.programImage, ImageLoadOutcome::Loaded);
    EXPECT_EQ(findings.fpgaImage, ImageLoadOutcome::UsbFailure);
    EXPECT_EQ(findings.usbError, "Failed to find endpoint.");
    ASSERT_EQ(run.station.prompts.messages.size(), 1u);
    EXPECT_EQ(run.station.prompts.messages[0].text, "Failed to find endpoint.");
    EXPECT_FALSE(findings.InstrumentReady());

    const testing::FactoryStore factory = testing::Factory();
    EXPECT_TRUE(findings.stored.calibrated);
    EXPECT_EQ(findings.stored.singleEnded.endOfCable, factory.endOfCableSingle);
    EXPECT_EQ(findings.stored.differential.calibrationConstant, factory.constantDifferential);
    EXPECT_TRUE(findings.stored.singleEnded.kernel.has_value());
    EXPECT_TRUE(findings.stored.differential.kernel.has_value());
    EXPECT_FALSE(run.device.IsOpen());
    EXPECT_EQ(run.station.sim.OpenHandles(), 1u);  // the trigger port alone
}

TEST_F(DeviceStartUpTest, MissingInstrumentEndsTheInstrumentStepsSilently) {
    sim::SimulatorOptions options;
    options.instrumentPresent = false;
    StartUpRun run(options, images_.Path());
    const StartUpFindings findings = run.Run();
    EXPECT_FALSE(findings.instrumentFound);
    EXPECT_TRUE(findings.triggerOpened);
    EXPECT_FALSE(findings.stored.calibrated);
    EXPECT_TRUE(findings.stored.notes.empty());
    EXPECT_TRUE(run.station.prompts.messages.empty());
    EXPECT_TRUE(run.station.port.Requests().empty());
}

TEST_F(DeviceStartUpTest, TriggerPortAbsentOrBusy) {
    sim::SimulatorOptions absent = testing::WarmInstrument();
    absent.triggerPortPresent = false;
    StartUpRun without(absent, images_.Path());
    StartUpFindings findings = without.Run();
    EXPECT_EQ(findings.triggerDevicesFound, 0);
    EXPECT_FALSE(findings.triggerOpened);
    EXPECT_TRUE(without.station.prompts.messages.empty());

    StartUpRun busy(testing::WarmInstrument(), images_.Path());
    busy.station.sim.Open(sim::SimulatedDriverPort::TriggerPath(), OpenOptions{false, false});
    findings = busy.Run();
    EXPECT_EQ(findings.triggerDevicesFound, 1);
    EXPECT_FALSE(findings.triggerOpened);
    ASSERT_EQ(busy.station.prompts.messages.size(), 1u);
    EXPECT_EQ(busy.station.prompts.messages[0].caption, "Failed to open Device");
    EXPECT_TRUE(findings.stored.calibrated);  // the instrument steps go on
}

TEST_F(DeviceStartUpTest, CharacterizeAnywhereInTheCommandLineCaseSensitive) {
    for (const auto& [line, expected] :
         std::vector<std::pair<std::string, bool>>{{"/opt/orvik/orvik Characterize", true},
                                                   {"/opt/Characterize/orvik", true},
                                                   {"orvik characterize", false},
                                                   {"orvik", false}}) {
        StartUpRun run(testing::WarmInstrument(), images_.Path());
        run.startUp.commandLine = line;
        EXPECT_EQ(run.Run().characterizeMode, expected) << line;
    }
}

TEST_F(DeviceStartUpTest, UncalibratedStoreKeepsBuiltInValuesButReadsKernels) {
    StartUpRun run(testing::WarmInstrument(), images_.Path());
    StorePage page1 = run.Store().Read(1);
    SetPageDouble(page1, 0, 11111.5);
    run.Store().Write(1, page1);
    const StartUpFindings findings = run.Run();
    EXPECT_FALSE(findings.stored.calibrated);
    EXPECT_FALSE(findings.stored.singleEnded.endOfCable);
    EXPECT_FALSE(findings.stored.differential.divisor);
    EXPECT_FALSE(findings.stored.lastOperator);
    EXPECT_TRUE(findings.stored.singleEnded.kernel.has_value());
    EXPECT_TRUE(findings.stored.differential.kernel.has_value());
    const std::vector<int> pages = PagesRead(run.station.port);
    EXPECT_EQ(pages[0], 1);
    EXPECT_EQ(pages[1], 8);
}

TEST_F(DeviceStartUpTest, EndOfCableIndexesOutside201To5000AreRefused) {
    const std::tuple<double, std::optional<int>> cases[] = {{201.0, 201},
                                                            {5000.0, 5000},
                                                            {5000.9, 5000},
                                                            {3075.7, 3075},
                                                            {200.99, std::nullopt},
                                                            {5001.0, std::nullopt},
                                                            {-3075.0, std::nullopt},
                                                            {NAN, std::nullopt},
                                                            {1e300, std::nullopt}};
    for (const auto& [stored, expected] : cases) {
        StartUpRun run(testing::WarmInstrument(), images_.Path());
        WriteEndOfCable(run.Store(), stored, 3280.0);
        const StartUpFindings findings = run.Run();
        EXPECT_EQ(findings.stored.singleEnded.endOfCable, expected) << stored;
        EXPECT_EQ(findings.stored.differential.endOfCable, 3280) << stored;
        EXPECT_EQ(findings.stored.notes.size(), expected ? 0u : 1u) << stored;
        EXPECT_TRUE(findings.stored.singleEnded.divisor.has_value());
    }
}

TEST_F(DeviceStartUpTest, KernelCountsOutside50To350KeepTheBuiltInKernel) {
    for (const float count : {12.0f, 49.0f, 0.0f, -5.0f, 351.0f, 1e9f, NAN}) {
        StartUpRun run(testing::WarmInstrument(), images_.Path());
        WriteKernelCount(run.Store(), store_page::kDifferentialKernel, count);
        const StartUpFindings findings = run.Run();
        EXPECT_FALSE(findings.stored.differential.kernel) << count;
        EXPECT_TRUE(findings.stored.singleEnded.kernel.has_value()) << count;
        EXPECT_EQ(findings.stored.notes.size(), 1u) << count;
    }
    // The limits themselves are kept.
    for (const int count : {50, 350}) {
        StartUpRun run(testing::WarmInstrument(), images_.Path());
        std::vector<double> values(static_cast<std::size_t>(count), 3.5);
        WriteKernel(run.Store(), store_page::kSingleEndedKernel, values);
        EXPECT_EQ(run.Run().stored.singleEnded.kernel, values) << count;
    }
}

TEST_F(DeviceStartUpTest, TwelveValueKernelReadsThreePagesAndIsRefused) {
    StartUpRun run(testing::WarmInstrument(), images_.Path());
    WriteKernel(run.Store(), store_page::kSingleEndedKernel, std::vector<double>(12, 7.0));
    const StartUpFindings findings = run.Run();
    EXPECT_FALSE(findings.stored.singleEnded.kernel);
    const std::vector<int> pages = PagesRead(run.station.port);
    EXPECT_EQ(std::vector<int>(pages.begin() + 5, pages.begin() + 9),
              (std::vector<int>{8, 9, 10, 60}));
}

TEST_F(DeviceStartUpTest, CorruptedPagesNeverPassForStoredValues) {
    StartUpRun run(testing::WarmInstrument(), images_.Path());
    run.Store().Corrupt(1);
    run.Store().Corrupt(store_page::kDifferentialKernel);
    const StartUpFindings findings = run.Run();
    EXPECT_FALSE(findings.stored.calibrated);
    EXPECT_FALSE(findings.stored.differential.kernel);
    EXPECT_TRUE(findings.stored.singleEnded.kernel.has_value());
}

TEST_F(DeviceStartUpTest, NonNumbersInTheStoreAreRefused) {
    StartUpRun run(testing::WarmInstrument(), images_.Path());
    StorePage page2 = run.Store().Read(2);
    SetPageDouble(page2, 0, NAN);
    SetPageDouble(page2, 1, 0.0);
    SetPageDouble(page2, 2, INFINITY);
    run.Store().Write(2, page2);
    std::vector<double> kernel(60, 1.0);
    kernel[30] = NAN;
    WriteKernel(run.Store(), store_page::kSingleEndedKernel, kernel);
    const StartUpFindings findings = run.Run();
    EXPECT_FALSE(findings.stored.singleEnded.divisor);
    EXPECT_FALSE(findings.stored.differential.divisor);
    EXPECT_FALSE(findings.stored.singleEnded.calibrationConstant);
    EXPECT_TRUE(findings.stored.differential.calibrationConstant.has_value());
    EXPECT_FALSE(findings.stored.singleEnded.kernel);
    EXPECT_EQ(findings.stored.notes.size(), 4u);
}

// Which transfer of a start-up carries a request, found by a rehearsal run.
int TransferCarrying(const std::filesystem::path& images,
                     const std::function<bool(const RecordedCall&)>& matches) {
    StartUpRun rehearsal(testing::WarmInstrument(), images);
    rehearsal.Run();
    int number = 0;
    for (const RecordedCall& call : rehearsal.station.port.Requests()) {
        if (call.code == usb_request::kControlTransfer ||
            call.code == usb_request::kBufferedTransfer ||
            call.code == usb_request::kDirectTransfer) {
            ++number;
            if (matches(call)) {
                return number;
            }
        }
    }
    return -1;
}

TEST_F(DeviceStartUpTest, UnreadablePageNeverLendsItsNumbersToTheNext) {
    // The reply carrying page 2 fails: the buffer still holds page 1, whose
    // magic must not become the single-ended divisor.
    const int reply = TransferCarrying(images_.Path(), [](const RecordedCall& call) {
        const auto data = testing::ReceivedData(call);
        return testing::RequestEndpoint(call) == 0x81 && data.size() == 62 && data[0] == 0xC3 &&
               data[2] == 2;
    });
    ASSERT_GT(reply, 0);
    StartUpRun run(testing::WarmInstrument(), images_.Path());
    run.station.sim.FailTransfer(reply);
    const StartUpFindings findings = run.Run();
    EXPECT_TRUE(findings.stored.calibrated);
    EXPECT_FALSE(findings.stored.singleEnded.divisor);
    EXPECT_FALSE(findings.stored.differential.divisor);
    EXPECT_FALSE(findings.stored.singleEnded.calibrationConstant);
    EXPECT_EQ(findings.stored.differential.calibrationConstant,
              testing::Factory().constantDifferential);
    EXPECT_EQ(findings.stored.lastOperator, testing::Factory().lastOperator);
}

TEST_F(DeviceStartUpTest, KernelWithAnUnreadablePageIsRefused) {
    const int reply = TransferCarrying(images_.Path(), [](const RecordedCall& call) {
        const auto data = testing::ReceivedData(call);
        return testing::RequestEndpoint(call) == 0x81 && data.size() == 62 && data[0] == 0xC3 &&
               data[2] == 70;
    });
    ASSERT_GT(reply, 0);
    StartUpRun run(testing::WarmInstrument(), images_.Path());
    run.station.sim.FailTransfer(reply);
    const StartUpFindings findings = run.Run();
    EXPECT_FALSE(findings.stored.differential.kernel);
    EXPECT_TRUE(findings.stored.singleEnded.kernel.has_value());
}

// Every transfer of a start-up, failed every way the simulator can fail it:
// start-up always finishes, leaves the instrument closed, and whatever it
// reports as stored is exactly what the store holds.
class StartUpUnderFaults : public DeviceStartUpTest {
  protected:
    static sim::SimulatorOptions Options(bool warm) {
        sim::SimulatorOptions options;
        options.instrument.warm = warm;
        return options;
    }
    // Small kernels keep the sweep short.
    static void PrepareStore(sim::SimulatedStore& store) {
        WriteKernel(store, store_page::kSingleEndedKernel, Kernel(50, 2.0));
        WriteKernel(store, store_page::kDifferentialKernel, Kernel(57, 3.0));
    }
    static std::vector<double> Kernel(int count, double scale) {
        std::vector<double> values;
        for (int i = 0; i < count; ++i) {
            values.push_back(scale * (i + 1));
        }
        return values;
    }
    void Sweep(bool warm) {
        StartUpRun rehearsal(Options(warm), images_.Path());
        PrepareStore(rehearsal.Store());
        rehearsal.Run();
        const int transfers = rehearsal.station.sim.TransferCount();
        ASSERT_GT(transfers, 100);

        const testing::FactoryStore factory = testing::Factory();
        for (int n = 1; n <= transfers; ++n) {
            for (const TransferFault::Kind kind :
                 {sim::TransferFault::Kind::Fail, sim::TransferFault::Kind::TimeOut,
                  sim::TransferFault::Kind::Disconnect, sim::TransferFault::Kind::ShortReply}) {
                for (const std::uint32_t length : {0u, 20u}) {
                    if (kind != sim::TransferFault::Kind::ShortReply && length != 0) {
                        continue;
                    }
                    SCOPED_TRACE("transfer " + std::to_string(n) + " kind " +
                                 std::to_string(static_cast<int>(kind)) + " length " +
                                 std::to_string(length));
                    StartUpRun run(Options(warm), images_.Path());
                    PrepareStore(run.Store());
                    run.station.sim.AddFault({kind, n, length});
                    const StartUpFindings findings = run.Run();

                    EXPECT_FALSE(run.device.IsOpen());
                    EXPECT_EQ(run.station.sim.PendingRequests(), 0u);
                    const StoredCalibration& stored = findings.stored;
                    auto check = [](const auto& value, const auto& expected) {
                        if (value) {
                            EXPECT_EQ(*value, expected);
                        }
                    };
                    check(stored.singleEnded.endOfCable, factory.endOfCableSingle);
                    check(stored.differential.endOfCable, factory.endOfCableDifferential);
                    check(stored.singleEnded.divisor, factory.divisorSingle);
                    check(stored.differential.divisor, factory.divisorDifferential);
                    check(stored.singleEnded.calibrationConstant, factory.constantSingle);
                    check(stored.differential.calibrationConstant, factory.constantDifferential);
                    check(stored.lastOperator, factory.lastOperator);
                    check(stored.lastDate, factory.lastDate);
                    check(stored.singleEnded.kernel, Kernel(50, 2.0));
                    check(stored.differential.kernel, Kernel(57, 3.0));
                }
            }
        }
    }
    using TransferFault = sim::TransferFault;
};

TEST_F(StartUpUnderFaults, WarmInstrument) {
    Sweep(true);
}
TEST_F(StartUpUnderFaults, ColdInstrument) {
    Sweep(false);
}

}  // namespace
}  // namespace orvik
