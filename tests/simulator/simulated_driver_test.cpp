// The simulated MV300 as a driver and an instrument: request decoding, the
// store, program and FPGA loading, the trigger port and its fault injection.
#include <gtest/gtest.h>

#include "instrument/instrument_link.h"
#include "instrument/program_image.h"
#include "instrument/store_layout.h"
#include "link_test_support.h"
#include "simulator/factory_calibration.h"
#include "simulator/sim_images.h"
#include "test_files.h"

namespace orvik {
namespace {

using testing::SimulatedStation;

class SimulatedDriverTest : public ::testing::Test {
  protected:
    SimulatedDriverTest() : station_(testing::WarmInstrument()) {
        handle_ = station_.sim.Open(sim::SimulatedDriverPort::InstrumentPath(), {}).handle;
    }
    std::vector<std::uint8_t> Request(const testing::ByteBuilder& header, std::size_t dataSize) {
        std::vector<std::uint8_t> bytes = header.Bytes();
        bytes.resize(bytes.size() + dataSize, 0);
        return bytes;
    }

    SimulatedStation station_;
    DriverHandle handle_;
};

struct MalformedCase {
    const char* what;
    std::uint32_t code;
    std::vector<std::uint8_t> input;
    std::size_t outputSize;  // 0: the input buffer serves as output
};

TEST_F(SimulatedDriverTest, MalformedRequestsFailWithNonZeroStatusWords) {
    using testing::Header;
    using testing::PipeHeader;
    const MalformedCase cases[] = {
        {"unknown code", 0x220030, std::vector<std::uint8_t>(40, 0), 0},
        {"header cut short", usb_request::kControlTransfer, std::vector<std::uint8_t>(30, 0), 0},
        {"control data offset", usb_request::kControlTransfer,
         Request(Header(0x80, 6, 0x100, 0, 18, 5, 0, 0, 0, 40, 18), 20), 0},
        {"control lengths disagree", usb_request::kControlTransfer,
         Request(Header(0x80, 6, 0x100, 0, 18, 5, 0, 0, 0, 38, 10), 18), 0},
        {"control data past the buffer", usb_request::kControlTransfer,
         Request(Header(0x80, 6, 0x100, 0, 100, 5, 0, 0, 0, 38, 100), 12), 0},
        {"control on a pipe", usb_request::kControlTransfer,
         Request(Header(0x80, 6, 0x100, 0, 18, 5, 0x81, 0, 0, 38, 18), 18), 0},
        {"unknown endpoint", usb_request::kBufferedTransfer, Request(PipeHeader(0x05, 38, 8), 8),
         0},
        {"pipe request on endpoint 0", usb_request::kBufferedTransfer,
         Request(PipeHeader(0, 38, 8), 8), 0},
        {"buffered data past the buffer", usb_request::kBufferedTransfer,
         Request(PipeHeader(0x01, 38, 62), 10), 0},
        {"buffered data offset", usb_request::kBufferedTransfer,
         Request(PipeHeader(0x01, 0, 62), 62), 0},
        {"direct with data fields", usb_request::kDirectTransfer, PipeHeader(0x01, 38, 62).Bytes(),
         62},
        {"packet table on a bulk pipe", usb_request::kDirectTransfer,
         Header(0, 0, 0, 0, 0, 0, 0x88, 38, 8, 0, 0).Bytes(), 64},
        {"version into two bytes", usb_request::kDriverVersion, std::vector<std::uint8_t>(2, 0), 0},
        {"abort without an endpoint", usb_request::kAbortPipe, {}, 0},
        {"reset of an unknown endpoint", usb_request::kResetPipe, {0x33}, 0},
    };
    for (const MalformedCase& c : cases) {
        std::vector<std::uint8_t> input = c.input;
        std::vector<std::uint8_t> output(c.outputSize, 0);
        std::span<std::uint8_t> out = c.outputSize ? std::span(output) : std::span(input);
        const IoResult result = station_.sim.IoControl(handle_, c.code, input, out);
        EXPECT_FALSE(result.ok) << c.what;
        EXPECT_NE(result.error, os_error::kSuccess) << c.what;
        if (input.size() >= TransferHeader::kSize) {
            EXPECT_NE(ReadU32(input, TransferHeader::kStatusAOffset), 0u) << c.what;
        }
        // The same refused when started overlapped: nothing is left running.
        input = c.input;
        const IoStart start = station_.sim.StartIoControl(handle_, c.code, input, out);
        EXPECT_NE(start.error, os_error::kSuccess) << c.what;
        EXPECT_NE(start.error, os_error::kIoPending) << c.what;
    }
    EXPECT_EQ(station_.sim.PendingRequests(), 0u);
    EXPECT_EQ(station_.sim.TransferCount(), 0);
}

TEST_F(SimulatedDriverTest, AnyBytesToAnyCodeAreHarmless) {
    std::uint32_t state = 12345;
    auto next = [&]() {
        state = state * 1103515245u + 12345u;
        return static_cast<std::uint8_t>(state >> 16);
    };
    const std::uint32_t codes[] = {
        usb_request::kDriverVersion,      usb_request::kSecondVersionWord,
        usb_request::kAlternateSetting,   usb_request::kAttributeByte,
        usb_request::kControlTransfer,    usb_request::kBufferedTransfer,
        usb_request::kResetPipe,          usb_request::kFirstDriverString,
        usb_request::kSecondDriverString, usb_request::kAbortPipe,
        usb_request::kDirectTransfer,     0x222028};
    for (int i = 0; i < 5000; ++i) {
        std::vector<std::uint8_t> input(next() % 120);
        for (std::uint8_t& byte : input) {
            byte = next();
        }
        if (input.size() >= 38 && next() % 2) {
            // Plausible offsets make the request reach the instrument more often.
            WriteU32(input, 30, next() % 2 ? 38 : 0);
            WriteU32(input, 34, static_cast<std::uint32_t>(input.size() - 38));
            WriteU32(input, 22, 0);
            WriteU32(input, 26, 0);
            input[12] = 0;
            input[13] = std::array<std::uint8_t, 5>{0, 0x01, 0x81, 0x04, 0x88}[next() % 5];
        }
        std::vector<std::uint8_t> output(next() % 80);
        const std::uint32_t code = codes[next() % std::size(codes)];
        if (next() % 2) {
            station_.sim.IoControl(handle_, code, input, next() % 2 ? std::span(input) : output);
        } else {
            const IoStart start = station_.sim.StartIoControl(handle_, code, input, output);
            if (start.error == os_error::kIoPending) {
                if (!station_.sim.WaitIoControl(start.request, 10)) {
                    std::uint8_t endpoint = input.size() > 13 ? input[13] : 0;
                    station_.sim.IoControl(handle_, usb_request::kAbortPipe,
                                           std::span(&endpoint, 1), {});
                }
                station_.sim.FinishIoControl(start.request);
            }
        }
    }
    EXPECT_EQ(station_.sim.PendingRequests(), 0u);
}

TEST_F(SimulatedDriverTest, UnknownHandleAndRequestsAreRefused) {
    std::array<std::uint8_t, 4> word{};
    EXPECT_EQ(station_.sim.IoControl(999, usb_request::kDriverVersion, word, word).error,
              os_error::kInvalidHandle);
    EXPECT_EQ(station_.sim.Close(999), os_error::kInvalidHandle);
    EXPECT_EQ(station_.sim.FinishIoControl(4242).error, os_error::kInvalidParameter);
    EXPECT_EQ(station_.sim.Open("\\\\?\\elsewhere", {}).error, os_error::kFileNotFound);
}

TEST_F(SimulatedDriverTest, UnpluggedInstrumentFailsOpenHandlesAndComesBackCold) {
    StorePage marker = TextPage("kept across the unplug");
    station_.sim.Instrument().Store().Write(20, marker);
    station_.sim.Unplug();
    EXPECT_TRUE(station_.sim.EnumerateInterfaces(kInstrumentInterfaceGuid).empty());
    std::array<std::uint8_t, 4> word{};
    EXPECT_EQ(station_.sim.IoControl(handle_, usb_request::kDriverVersion, word, word).error,
              os_error::kDeviceNotConnected);
    station_.sim.PlugIn();
    // The old handle belongs to the old connection.
    EXPECT_EQ(station_.sim.IoControl(handle_, usb_request::kDriverVersion, word, word).error,
              os_error::kDeviceNotConnected);
    EXPECT_EQ(station_.sim.Instrument().ReleaseNumber(), 0x0001);
    EXPECT_EQ(station_.sim.Instrument().Store().Read(20), marker);
    EXPECT_EQ(station_.sim.Close(handle_), os_error::kSuccess);
}

// A test that sets up faults for an operation that then never happens takes
// them back, so that none strikes the next operation.
TEST_F(SimulatedDriverTest, ClearedFaultsNoLongerStrike) {
    station_.sim.FailNextClose();
    station_.sim.TimeOutTransfer(station_.sim.TransferCount() + 1);
    station_.sim.ClearFaults();
    std::array<std::uint8_t, 4> word{};
    EXPECT_TRUE(station_.sim.IoControl(handle_, usb_request::kDriverVersion, word, word).ok);
    EXPECT_EQ(station_.sim.Close(handle_), os_error::kSuccess);
}

TEST_F(SimulatedDriverTest, TimedOutTransferWaitsUntilItsPipeIsAborted) {
    station_.sim.TimeOutTransfer(1);
    std::vector<std::uint8_t> request = Request(testing::PipeHeader(0x01, 38, 62), 62);
    const IoStart start =
        station_.sim.StartIoControl(handle_, usb_request::kBufferedTransfer, request, request);
    ASSERT_EQ(start.error, os_error::kIoPending);
    EXPECT_FALSE(station_.sim.WaitIoControl(start.request, 1500));
    EXPECT_EQ(station_.clock.NowMs(), 1500);
    // Aborting another pipe leaves it running.
    std::uint8_t other = 0x81;
    station_.sim.IoControl(handle_, usb_request::kAbortPipe, std::span(&other, 1), {});
    EXPECT_FALSE(station_.sim.WaitIoControl(start.request, 0));
    std::uint8_t endpoint = 0x01;
    station_.sim.IoControl(handle_, usb_request::kAbortPipe, std::span(&endpoint, 1), {});
    EXPECT_TRUE(station_.sim.WaitIoControl(start.request, std::nullopt));
    const IoResult result = station_.sim.FinishIoControl(start.request);
    EXPECT_FALSE(result.ok);
    EXPECT_EQ(result.error, os_error::kOperationAborted);
    EXPECT_NE(ReadU32(request, TransferHeader::kStatusAOffset), 0u);
    EXPECT_TRUE(station_.sim.Instrument().CommandsReceived().empty());
}

TEST(SimulatedStore, FreshStoreIsFactoryCalibrated) {
    sim::SimulatedStore store;
    for (const auto& [page, content] : sim::FactoryStorePages()) {
        EXPECT_EQ(store.Read(page), content) << int{page};
    }
    EXPECT_EQ(PageDouble(store.Read(1), 0), kCalibratedStoreMagic);
    EXPECT_EQ(PageDouble(store.Read(1), 1), testing::Factory().endOfCableSingle);
    EXPECT_EQ(PageInt32(store.Read(8), 0), kKernelMagic);
    for (const auto mode : {MeasurementMode::SingleEnded, MeasurementMode::Differential}) {
        const std::uint8_t first = IsDifferential(mode) ? 60 : 8;
        EXPECT_EQ(PageFloat(store.Read(first), 1),
                  static_cast<float>(sim::PhysicsFactoryValues(mode).Kernel.size()));
    }
    // Pages the factory never wrote read as erased memory.
    EXPECT_EQ(store.Read(200)[0], 0xFF);
}

TEST(SimulatedStore, FactoryKernelsLookLikeTheInstrumentsResponse) {
    for (const auto mode : {MeasurementMode::SingleEnded, MeasurementMode::Differential}) {
        const std::vector<double>& kernel = sim::PhysicsFactoryValues(mode).Kernel;
        ASSERT_GE(kernel.size(), 50u);
        ASSERT_LE(kernel.size(), 350u);
        const auto peak = std::max_element(kernel.begin(), kernel.end());
        EXPECT_GT(peak - kernel.begin(), 40);
        EXPECT_TRUE(std::is_sorted(kernel.begin(), peak + 1));
        // The kernel is a difference of whole raw samples: after the peak it
        // falls, apart from steps of one raw unit (0.1) back up.
        for (auto value = peak + 1; value != kernel.end(); ++value) {
            ASSERT_LE(*value, *(value - 1) + 0.1 + 1e-5) << value - kernel.begin();
        }
        EXPECT_LT(kernel.back(), *peak / 20);
        EXPECT_GT(kernel.back(), 1.0);
        EXPECT_LT(kernel.back(), 3.0);
    }
}

TEST(SimulatedStore, FileKeepsThePagesAcrossRestarts) {
    testing::TemporaryFolder folder;
    const std::string path = folder.File("mv300.store");
    {
        sim::SimulatedStore store(path);
        EXPECT_EQ(testing::ReadFile(path).size(), 256u * 32u);
        store.Write(4, TextPage("Operator Kim"));
        store.Corrupt(9);
    }
    sim::SimulatedStore reopened(path);
    EXPECT_EQ(PageText(reopened.Read(4)), "Operator Kim");
    EXPECT_NE(reopened.Read(9), sim::SimulatedStore().Read(9));

    EXPECT_TRUE(reopened.Problem().empty());
}

TEST(SimulatedStore, FileThatIsNotAStoreIsLeftUntouched) {
    testing::TemporaryFolder folder;
    const std::string path = folder.File("notes.txt");
    // A file of the wrong size is no store: it stays as it is, and the store
    // lives in memory with the factory contents.
    testing::WriteFile(path, {1, 2, 3});
    sim::SimulatedStore refused(path);
    EXPECT_EQ(PageText(refused.Read(4)), testing::Factory().lastOperator);
    EXPECT_FALSE(refused.Path());
    EXPECT_NE(refused.Problem().find("holds 3 bytes, a store 8192"), std::string::npos)
        << refused.Problem();
    refused.Write(4, TextPage("Operator Kim"));
    EXPECT_EQ(testing::ReadFile(path), (std::vector<std::uint8_t>{1, 2, 3}));
}

TEST(SimulatedStore, PathThatCannotBeWrittenIsReported) {
    testing::TemporaryFolder folder;
    sim::SimulatedStore store(folder.File("missing/mv300.store"));
    EXPECT_FALSE(store.LastSaveSucceeded());
    EXPECT_NE(store.Problem().find("cannot be kept"), std::string::npos) << store.Problem();
    EXPECT_FALSE(std::filesystem::exists(folder.File("missing")));
}

TEST(SimulatedStore, CalibrationWrittenThroughTheLinkSurvivesARestart) {
    testing::TemporaryFolder folder;
    sim::SimulatorOptions options = testing::WarmInstrument();
    options.instrument.storePath = folder.File("mv300.store");
    StorePage page{};
    SetPageDouble(page, 0, 47.25);
    {
        SimulatedStation station(options);
        CUsbDevice device(station.port, kInstrumentInterfaceGuid, false);
        InstrumentLink link(device, station.clock);
        EXPECT_TRUE(link.WritePage(3, page));
    }
    SimulatedStation restarted(options);
    CUsbDevice device(restarted.port, kInstrumentInterfaceGuid, false);
    InstrumentLink link(device, restarted.clock);
    StorePage read{};
    EXPECT_TRUE(link.ReadPage(3, read));
    EXPECT_EQ(read, page);
}

TEST(SimulatedInstrument, ReleaseNumberFollowsTheProgramAlone) {
    VirtualClock clock;
    sim::SimulatedMv300 instrument;
    EXPECT_EQ(instrument.ReleaseNumber(), 0x0001);
    const std::string hex = sim::GenerateProgramImageHex();
    const ProgramImage image =
        ParseProgramImage(std::span(reinterpret_cast<const std::uint8_t*>(hex.data()), hex.size()));
    EXPECT_TRUE(sim::ProgramAccepted(image.code, image.high));
    sim::SetupPacket setup{0x40, 0xA0, 0xE600, 0, 2};
    std::array<std::uint8_t, 2> hold{1, 0};
    instrument.Control(setup, hold);
    for (std::size_t offset = 0; offset < image.code.size(); offset += 4096) {
        std::vector<std::uint8_t> chunk(
            image.code.begin() + static_cast<std::ptrdiff_t>(offset),
            image.code.begin() + static_cast<std::ptrdiff_t>(offset + 4096));
        instrument.Control({0x40, 0xA0, static_cast<std::uint16_t>(offset), 0, 4096}, chunk);
    }
    std::vector<std::uint8_t> high(image.high.begin(), image.high.end());
    instrument.Control({0x40, 0xA0, 0xE000, 0, 512}, high);
    std::array<std::uint8_t, 2> release{0, 0};
    instrument.Control(setup, release);
    EXPECT_TRUE(instrument.ProgramRunning());
    EXPECT_FALSE(instrument.FpgaConfigured());
    // The controller's program reports the running release with the FPGA
    // still empty: the release number cannot tell a failed FPGA load.
    EXPECT_EQ(instrument.ReleaseNumber(), 0x0064);
    EXPECT_TRUE(instrument.TakeRenumeration());
    EXPECT_FALSE(instrument.TakeRenumeration());

    CommandPacket begin = BuildCommand(0x53, {});
    EXPECT_EQ(instrument.PipeOut(0x01, begin).kind, sim::DeviceAnswer::Kind::Done);
    const std::vector<std::uint8_t> fpga = sim::GenerateFpgaImage();
    const std::string fpgaHex = sim::GenerateFpgaImageHex();
    EXPECT_EQ(HexPairsToBytes(
                  std::span(reinterpret_cast<const std::uint8_t*>(fpgaHex.data()), fpgaHex.size())),
              fpga);
    for (std::size_t offset = 0; offset < fpga.size(); offset += 512) {
        const auto chunk =
            std::span(fpga).subspan(offset, std::min<std::size_t>(512, fpga.size() - offset));
        EXPECT_EQ(instrument.PipeOut(0x04, chunk).kind, sim::DeviceAnswer::Kind::Done);
    }
    CommandPacket reply{};
    EXPECT_EQ(instrument.PipeIn(0x81, reply).kind, sim::DeviceAnswer::Kind::Done);
    EXPECT_EQ(reply[2], 1);
    EXPECT_EQ(instrument.ReleaseNumber(), 0x0064);

    // Holding the controller again takes the instrument back to cold.
    instrument.Control(setup, hold);
    EXPECT_EQ(instrument.ReleaseNumber(), 0x0001);
}

TEST(SimulatedInstrument, IncompleteFpgaStreamIsNotTaken) {
    sim::Mv300Options options;
    options.warm = true;
    sim::SimulatedMv300 instrument(options);
    CommandPacket begin = BuildCommand(0x53, {});
    instrument.PipeOut(0x01, begin);
    const std::vector<std::uint8_t> fpga = sim::GenerateFpgaImage();
    instrument.PipeOut(0x04, std::span(fpga).first(fpga.size() - 1));
    CommandPacket reply{};
    instrument.PipeIn(0x81, reply);
    EXPECT_EQ(reply[2], 0);
    EXPECT_FALSE(instrument.FpgaConfigured());
    EXPECT_FALSE(sim::FpgaStreamAccepted({}));
}

TEST(SimulatedInstrument, RegisterWritesSetTheModeAndArmTheBlockCount) {
    sim::Mv300Options options;
    options.warm = true;
    sim::SimulatedMv300 instrument(options);
    auto write = [&](std::uint16_t value) {
        CommandPacket command =
            BuildCommand(0x58, std::vector<std::uint8_t>{static_cast<std::uint8_t>(value & 0xFF),
                                                         static_cast<std::uint8_t>(value >> 8)});
        instrument.PipeOut(0x01, command);
        CommandPacket reply{};
        instrument.PipeIn(0x81, reply);
        return reply[2] | (reply[3] << 8);
    };
    EXPECT_EQ(write(0x8245), 0x8245);
    EXPECT_EQ(instrument.Mode(), MeasurementMode::Differential);
    write(0x0082);
    EXPECT_EQ(instrument.Mode(), MeasurementMode::SingleEnded);
    EXPECT_EQ(instrument.BlocksSinceArming(), 0);
    CommandPacket acquire = BuildCommand(0xA5, std::vector<std::uint8_t>{4});
    for (int i = 0; i < 3; ++i) {
        instrument.PipeOut(0x01, acquire);
    }
    EXPECT_EQ(instrument.BlocksSinceArming(), 3);
    write(0x0086);
    EXPECT_EQ(instrument.Mode(), MeasurementMode::Differential);
    EXPECT_EQ(instrument.BlocksSinceArming(), 0);
    EXPECT_EQ(instrument.RegistersWritten(), (std::vector<std::uint16_t>{0x8245, 0x0082, 0x0086}));
}

TEST(SimulatedInstrument, HaltedPipeStaysHaltedUntilReset) {
    sim::Mv300Options options;
    options.warm = true;
    sim::SimulatedMv300 instrument(options);
    std::vector<std::uint8_t> shortPacket(10, 0);
    EXPECT_EQ(instrument.PipeOut(0x01, shortPacket).kind, sim::DeviceAnswer::Kind::Stall);
    CommandPacket command = BuildCommand(0xC3, std::vector<std::uint8_t>{1});
    EXPECT_EQ(instrument.PipeOut(0x01, command).kind, sim::DeviceAnswer::Kind::Stall);
    instrument.ResetPipe(0x01);
    EXPECT_EQ(instrument.PipeOut(0x01, command).kind, sim::DeviceAnswer::Kind::Done);
}

TEST(SimulatedTriggerPort, InputsShowAsClearedBits) {
    VirtualClock clock;
    sim::SimulatedDriverPort port(clock);
    const DriverHandle handle =
        port.Open(sim::SimulatedDriverPort::TriggerPath(), {false, false}).handle;
    std::array<std::uint8_t, 8> packet{8, 0x12, 0x0B, 0, 0, 0, 0, 0};
    auto poll = [&]() {
        EXPECT_TRUE(port.IoControl(handle, 0x222028, packet, packet).ok);
        return packet[0];
    };
    EXPECT_EQ(poll(), 0x03);
    port.PressInput(1);
    EXPECT_EQ(poll(), 0x02);
    port.PressInput(2);
    EXPECT_EQ(poll(), 0x00);
    port.ReleaseInput(1);
    EXPECT_EQ(poll(), 0x01);
    EXPECT_TRUE(port.InputPressed(2));
    EXPECT_FALSE(port.InputPressed(3));
    EXPECT_EQ(port.TriggerRequests(), 4);
    std::array<std::uint8_t, 4> small{};
    EXPECT_FALSE(port.IoControl(handle, 0x222028, small, small).ok);
    EXPECT_FALSE(port.IoControl(handle, usb_request::kDriverVersion, packet, packet).ok);
}

}  // namespace
}  // namespace orvik
