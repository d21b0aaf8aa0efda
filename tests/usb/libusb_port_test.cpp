// The libusb driver port against the simulated MV300 on an emulated USB bus:
// libusb itself runs unmodified, umockdev stands in for the kernel.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <memory>
#include <thread>

#include "../cli/cli_run.h"
#include "../instrument/station_test_support.h"
#include "emulated_instrument.h"
#include "instrument/transfer_header.h"
#include "instrument/usb_device.h"

namespace orvik {
namespace {

using testing::EmulatedInstrument;
using testing::EmulatedInstrumentOnTheWallClock;
using testing::EmulatedUsbBus;
using testing::kSingle;
using testing::SecondsSince;
using testing::TestSettings;
using Clock = testing::Clock;

// A direct read of the sample pipe into `block`, started and left running;
// `header` holds its transfer header meanwhile.
IoStart StartSampleRead(LibusbDriverPort& port, DriverHandle handle,
                        std::vector<std::uint8_t>& header, std::span<std::uint8_t> block) {
    header.assign(TransferHeader::kSize, 0);
    TransferHeader direct;
    direct.endpointAddress = 0x88;
    direct.WriteTo(header);
    return port.StartIoControl(handle, usb_request::kDirectTransfer, header, block);
}

class ColdEmulatedInstrument : public EmulatedInstrument {
  protected:
    ColdEmulatedInstrument() : EmulatedInstrument(false) {}
};

// A controller that shows the running instrument's id before its program is
// loaded too (the settings allow one id for both states).
class ColdInstrumentWithOneId : public EmulatedInstrument {
  protected:
    ColdInstrumentWithOneId() : EmulatedInstrument(false, nullptr, OneId()) {}
    static UsbSettings OneId() {
        UsbSettings usb = TestSettings();
        usb.instrumentCold = usb.instrumentRunning;
        return usb;
    }
};

TEST_F(EmulatedInstrument, FindsTheInstrumentAndTheTriggerPortByTheirIds) {
    const std::string instrument = LibusbDriverPort::PathOf(1, bus.InstrumentAddress());
    EXPECT_EQ(port->EnumerateInterfaces(kInstrumentInterfaceGuid),
              std::vector<std::string>{instrument});
    ASSERT_EQ(port->EnumerateInterfaces(kTriggerInterfaceGuid).size(), 1u);
    EXPECT_NE(port->EnumerateInterfaces(kTriggerInterfaceGuid)[0], instrument);
    EXPECT_TRUE(port->EnumerateInterfaces(Guid{}).empty());

    const std::vector<AttachedInstrument> listed = port->Instruments();
    ASSERT_EQ(listed.size(), 1u);
    EXPECT_EQ(listed[0].bus, 1);
    EXPECT_EQ(listed[0].address, bus.InstrumentAddress());
    EXPECT_EQ(listed[0].serial, "SIM0300001");
    EXPECT_TRUE(listed[0].programRunning);
    EXPECT_EQ(listed[0].Describe(), "MV300 on bus 1, address 5 (USB port 1-1), serial SIM0300001");

    // The device model is built through real descriptor requests.
    CUsbDevice device(*port, kInstrumentInterfaceGuid, false);
    ASSERT_TRUE(device.Open(0));
    EXPECT_EQ(device.ReleaseNumber(), sim::SimulatedMv300::kRunningReleaseNumber);
    EXPECT_EQ(device.SerialNumber(), "SIM0300001");
    ASSERT_NE(device.EndpointByAddress(0x88), nullptr);
    EXPECT_TRUE(device.EndpointByAddress(0x88)->UseDirect());
    EXPECT_EQ(port->InstrumentInUse()->address, bus.InstrumentAddress());
    device.Close();

    // Unplugged: nothing is found, and opening the old path fails.
    bus.UnplugInstrument();
    ASSERT_TRUE(WaitUntilGone());
    EXPECT_TRUE(port->EnumerateInterfaces(kInstrumentInterfaceGuid).empty());
    EXPECT_TRUE(port->Instruments().empty());
    EXPECT_EQ(port->Open(instrument, {}).handle, kInvalidDriverHandle);
}

TEST_F(ColdEmulatedInstrument, ColdStartLoadsBothImagesAndWaitsForTheInstrumentToComeBack) {
    const int coldAddress = bus.InstrumentAddress();
    ASSERT_FALSE(port->Instruments().at(0).programRunning);

    const StartUpFindings findings = StartUp();

    EXPECT_TRUE(findings.InstrumentReady());
    EXPECT_TRUE(findings.triggerOpened);
    EXPECT_EQ(findings.releaseNumber, 0x0001) << "as found before the upload";
    EXPECT_EQ(bus.Renumerations(), 1);
    EXPECT_NE(bus.InstrumentAddress(), coldAddress);
    bus.WithInstrument([](sim::SimulatedMv300& instrument) {
        EXPECT_EQ(instrument.ProgramUploads(), 1);
        EXPECT_EQ(instrument.FpgaLoads(), 1);
        EXPECT_TRUE(instrument.FpgaConfigured());
    });
    EXPECT_EQ(port->InstrumentInUse()->address, bus.InstrumentAddress());
    EXPECT_EQ(port->PendingRequests(), 0u);
    EXPECT_TRUE(Station().Acquire(kSingle, Derivative::Smoothed).WholeRecord());
}

// The departing controller carries the id the instrument comes back with:
// only a device that was not on the bus before the upload is the instrument
// that came back, so the FPGA image goes to the program that now runs.
TEST_F(ColdInstrumentWithOneId, StartUpWaitsForTheInstrumentThatComesBack) {
    const int coldAddress = bus.InstrumentAddress();
    const StartUpFindings findings = StartUp();
    EXPECT_TRUE(findings.InstrumentReady());
    EXPECT_EQ(bus.Renumerations(), 1);
    EXPECT_NE(bus.InstrumentAddress(), coldAddress);
    EXPECT_EQ(port->InstrumentInUse()->address, bus.InstrumentAddress());
    bus.WithInstrument([](sim::SimulatedMv300& instrument) {
        EXPECT_EQ(instrument.FpgaLoads(), 1);
        EXPECT_TRUE(instrument.FpgaConfigured());
    });
    EXPECT_TRUE(Station().Acquire(kSingle, Derivative::Smoothed).WholeRecord());
}

TEST_F(EmulatedInstrument, WarmStartLoadsNothingAndMeasuresTheCoupon) {
    AttachCoupon(kSingle, "50");
    const StartUpFindings findings = StartUp();
    EXPECT_TRUE(findings.InstrumentReady());
    bus.WithInstrument([](sim::SimulatedMv300& instrument) {
        EXPECT_EQ(instrument.ProgramUploads(), 0);
        EXPECT_EQ(instrument.FpgaLoads(), 0);
    });
    EXPECT_EQ(bus.Renumerations(), 0);

    const Criterion criterion = testing::WindowCriterion(kSingle, 50.0);
    for (int test = 0; test < 3; ++test) {
        TraceRecord record;
        const MeasuredProfile profile = Station().MeasureProfile(kSingle);
        ASSERT_FALSE(profile.StopLiveMode);
        record.FillFromAcquisition(&criterion, profile.Impedance, 0);
        EXPECT_NEAR(record.Average, 50.0, 0.5);
        EXPECT_TRUE(record.Passed);
    }
    EXPECT_TRUE(Station().LastAcquisition().WholeRecord());
    EXPECT_TRUE(prompts.messages.empty());
    EXPECT_EQ(port->PendingRequests(), 0u);
}

// The cable is pulled at every point of an acquisition in turn: the
// acquisition ends promptly with what arrived, the next one tells the
// operator "Device not found" once and stops live mode, as on the simulator.
TEST_F(EmulatedInstrument, UnplugMidAcquisitionStopsLiveModeWithOneMessage) {
    for (const int request : {1, 12, 33}) {
        SCOPED_TRACE("unplugged at request " + std::to_string(request));
        ASSERT_TRUE(StartUp().InstrumentReady());
        prompts.messages.clear();
        bus.UnplugAtRequest(request);
        const auto start = Clock::now();
        const AcquisitionOutcome cut = Station().Acquire(kSingle, Derivative::Smoothed);
        EXPECT_LT(SecondsSince(start), 15.0) << "never a hang";
        // The next live-mode tick comes after the system saw the device go.
        ASSERT_TRUE(WaitUntilGone());
        const AcquisitionOutcome next = Station().Acquire(kSingle, Derivative::Smoothed);

        EXPECT_FALSE(cut.WholeRecord());
        EXPECT_FALSE(cut.usbError);
        EXPECT_FALSE(next.deviceOpened);
        EXPECT_TRUE(next.stopLiveMode);
        ASSERT_EQ(prompts.messages.size(), 1u);
        EXPECT_EQ(prompts.messages[0].caption, "Device not found");
        EXPECT_FALSE(Station().Device().IsOpen());
        EXPECT_EQ(port->PendingRequests(), 0u);
        bus.PlugInInstrument();  // back on the bench, cold, for the next round
    }
}

// A read the instrument never answers ends after the endpoint's time-out:
// the pipe is aborted (libusb's cancel), the aborted request comes back and
// the transfer fails; the port holds nothing afterwards.
TEST_F(EmulatedInstrument, UnansweredReadTimesOutAndIsAborted) {
    CUsbDevice device(*port, kInstrumentInterfaceGuid, false);
    ASSERT_TRUE(device.Open(0));
    CUsbEndpoint& samples = *device.EndpointByAddress(0x88);
    samples.SetTimeoutMs(150);
    std::vector<std::uint8_t> block(2048, 0xEE);
    std::uint32_t length = 2048;

    const auto start = Clock::now();
    EXPECT_FALSE(samples.Transfer(block, length));
    EXPECT_GE(SecondsSince(start), 0.14);
    EXPECT_LT(SecondsSince(start), 10.0) << "the wait is bounded";
    EXPECT_EQ(length, 0u);
    EXPECT_EQ(samples.StatusA(), driver_status::kCanceled);
    EXPECT_EQ(block, std::vector<std::uint8_t>(2048, 0xEE)) << "nothing arrived";
    EXPECT_EQ(port->PendingRequests(), 0u);
    EXPECT_EQ(bus.WaitingRequests(), 0u);
    device.Close();

    // The same request given up before it completes: the port forgets it and
    // never writes into the caller's buffer afterwards.
    const OpenResult opened =
        port->Open(port->EnumerateInterfaces(kInstrumentInterfaceGuid)[0], {});
    ASSERT_NE(opened.handle, kInvalidDriverHandle);
    std::vector<std::uint8_t> header;
    const IoStart started = StartSampleRead(*port, opened.handle, header, block);
    ASSERT_EQ(started.error, os_error::kIoPending);
    EXPECT_FALSE(port->WaitIoControl(started.request, 20));
    EXPECT_EQ(port->FinishIoControl(started.request).error, os_error::kIoIncomplete);
    EXPECT_EQ(port->Close(opened.handle), os_error::kSuccess);
    EXPECT_EQ(port->PendingRequests(), 0u);
}

// The device answers a read in the moment the port gives it up: the answer
// is reaped afterwards and must not reach the caller's buffer, which may be
// gone by then (the second round; the sanitizer build catches a write there).
TEST_F(EmulatedInstrument, LateAnswerToAGivenUpReadNeverReachesTheCallersBuffer) {
    for (const bool released : {false, true}) {
        SCOPED_TRACE(released ? "buffer released" : "buffer kept");
        const OpenResult opened =
            port->Open(port->EnumerateInterfaces(kInstrumentInterfaceGuid)[0], {});
        ASSERT_NE(opened.handle, kInvalidDriverHandle);
        std::vector<std::uint8_t> header;
        auto block = std::make_unique<std::vector<std::uint8_t>>(2048, 0xEE);
        const IoStart started = StartSampleRead(*port, opened.handle, header, *block);
        ASSERT_EQ(started.error, os_error::kIoPending);
        EXPECT_FALSE(port->WaitIoControl(started.request, 20));
        bus.AnswerAtNextDiscard(0x5A);
        EXPECT_EQ(port->FinishIoControl(started.request).error, os_error::kIoIncomplete);
        if (released) {
            block.reset();
        }
        EXPECT_EQ(port->Close(opened.handle), os_error::kSuccess);  // reaps the late answer
        if (!released) {
            EXPECT_EQ(*block, std::vector<std::uint8_t>(2048, 0xEE));
        }
        EXPECT_EQ(TransferHeader::ReadFrom(header).statusA, 0u);
        EXPECT_EQ(port->PendingRequests(), 0u);
        EXPECT_EQ(bus.WaitingRequests(), 0u);
    }
}

TEST_F(EmulatedInstrument, RefusesMalformedRequestsWithoutReachingTheDevice) {
    const DriverHandle handle =
        port->Open(port->EnumerateInterfaces(kInstrumentInterfaceGuid)[0], {}).handle;
    ASSERT_NE(handle, kInvalidDriverHandle);
    std::vector<std::uint8_t> request(TransferHeader::kSize + 18, 0);
    TransferHeader header;
    header.requestType = 0x80;
    header.request = 6;
    header.value = 0x0100;
    header.length = 18;
    header.dataOffset = TransferHeader::kSize;
    header.dataLength = 64;  // more than the setup packet asks for
    header.WriteTo(request);
    IoResult result = port->IoControl(handle, usb_request::kControlTransfer, request, request);
    EXPECT_FALSE(result.ok);
    EXPECT_EQ(result.error, os_error::kInvalidParameter);
    EXPECT_EQ(TransferHeader::ReadFrom(request).statusA, driver_status::kInvalidParameter);

    header.dataLength = 18;
    header.endpointAddress = 0x77;  // no such pipe
    header.WriteTo(request);
    EXPECT_FALSE(port->IoControl(handle, usb_request::kBufferedTransfer, request, request).ok);
    std::uint8_t address = 0x77;
    EXPECT_FALSE(port->IoControl(handle, usb_request::kResetPipe, std::span(&address, 1), {}).ok);
    EXPECT_EQ(port->IoControl(999, usb_request::kDriverVersion, {}, {}).error,
              os_error::kInvalidHandle);
    EXPECT_EQ(port->Close(handle), os_error::kSuccess);
    EXPECT_EQ(port->Close(handle), os_error::kInvalidHandle);
}

TEST_F(EmulatedInstrument, TriggerPacketIsTheConfiguredControlTransfer) {
    const std::vector<std::string> paths = port->EnumerateInterfaces(kTriggerInterfaceGuid);
    ASSERT_EQ(paths.size(), 1u);
    const OpenResult trigger = port->Open(paths[0], OpenOptions{false, false});
    ASSERT_NE(trigger.handle, kInvalidDriverHandle);
    std::array<std::uint8_t, 8> packet{8, 0x12, 0x0B, 0, 0, 0, 0, 0};

    ASSERT_TRUE(port->IoControl(trigger.handle, CTriggerPort::kTriggerRequest, packet, packet).ok);
    EXPECT_EQ(packet[0], 0x03) << "both inputs idle";
    bus.PressInput(1, true);
    ASSERT_TRUE(port->IoControl(trigger.handle, CTriggerPort::kTriggerRequest, packet, packet).ok);
    EXPECT_EQ(packet[0], 0x02);

    const std::array<std::uint8_t, 8> setup{0xC0, 0x01, 0, 0, 0, 0, 8, 0};
    EXPECT_EQ(bus.TriggerSetups().back(), setup);
    EXPECT_EQ(port->IoControl(trigger.handle, usb_request::kDriverVersion, packet, packet).error,
              os_error::kInvalidFunction);
    EXPECT_EQ(port->Close(trigger.handle), os_error::kSuccess);
}

// orvik-cli devices and measure without --simulate, on the emulated bus.
TEST_F(EmulatedInstrumentOnTheWallClock, CommandLineListsAndMeasuresTheRealInstrument) {
    const testing::CliRun listed = testing::RunTool({"devices"});
    EXPECT_EQ(listed.exitCode, 0) << listed.err;
    EXPECT_NE(listed.out.find("\"serial\": \"SIM0300001\""), std::string::npos) << listed.out;
    EXPECT_NE(listed.out.find("\"firmware\": \"running\""), std::string::npos) << listed.out;
    EXPECT_NE(listed.out.find("\"usb_id\": \"2F4E:0300\""), std::string::npos) << listed.out;
    const testing::CliRun other = testing::RunTool({"devices", "--usb-id", "1234:5678"});
    EXPECT_EQ(other.exitCode, 0);
    EXPECT_EQ(other.out, "[]\n");

    AttachCoupon(kSingle, "50");
    const testing::CliRun measured = testing::RunTool({"measure"});
    EXPECT_EQ(measured.exitCode, 0) << measured.err;
    EXPECT_NE(measured.out.find("\"passed\": true"), std::string::npos) << measured.err;
    EXPECT_EQ(testing::RunTool({"measure", "--simulate", "--usb-id", "2F4E:0300"}).exitCode, 2);
}

}  // namespace
}  // namespace orvik
