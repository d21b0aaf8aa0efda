// Opening the instrument: descriptors, language, driver queries, the
// configuration walk, transfer paths, time-outs and the two USB errors.
#include <cstdio>
#include <string>

#include <gtest/gtest.h>

#include "instrument/instrument_link.h"
#include "instrument/usb_config.h"
#include "instrument/usb_device.h"
#include "link_test_support.h"

namespace orvik {
namespace {

using testing::SimulatedStation;

TEST(UsbDeviceOpen, NoInstrumentMeansNoDriverRequestAtAll) {
    sim::SimulatorOptions options;
    options.instrumentPresent = false;
    SimulatedStation station(options);
    CUsbDevice device(station.port, kInstrumentInterfaceGuid, false);

    EXPECT_FALSE(device.Open(0));
    EXPECT_FALSE(device.IsOpen());
    EXPECT_EQ(device.DeviceCount(), 0);
    for (const RecordedCall& call : station.port.Calls()) {
        EXPECT_EQ(call.kind, RecordedCall::Kind::Enumerate);
    }
}

TEST(UsbDeviceOpen, IndexBeyondTheDevicesFoundFailsWithoutOpening) {
    SimulatedStation station;
    CUsbDevice device(station.port, kInstrumentInterfaceGuid, false);
    EXPECT_FALSE(device.Open(1));
    for (const RecordedCall& call : station.port.Calls()) {
        EXPECT_NE(call.kind, RecordedCall::Kind::Open);
    }
    EXPECT_EQ(device.DeviceCount(), 1);
}

TEST(UsbDeviceOpen, ReadsDescriptorsStringsAndDriverInTheirOrder) {
    SimulatedStation station;
    CUsbDevice device(station.port, kInstrumentInterfaceGuid, true);
    ASSERT_TRUE(device.IsOpen());

    const std::vector<std::uint32_t> expected{
        usb_request::kControlTransfer,                                    // device descriptor
        usb_request::kControlTransfer,    usb_request::kControlTransfer,  // language list
        usb_request::kControlTransfer,    usb_request::kControlTransfer,  // manufacturer
        usb_request::kControlTransfer,    usb_request::kControlTransfer,  // product
        usb_request::kControlTransfer,    usb_request::kControlTransfer,  // serial number
        usb_request::kAttributeByte,      usb_request::kFirstDriverString,
        usb_request::kSecondDriverString, usb_request::kDriverVersion,
        usb_request::kSecondVersionWord,  usb_request::kControlTransfer,
        usb_request::kControlTransfer,  // configuration 0
        usb_request::kAlternateSetting};
    EXPECT_EQ(testing::RequestCodes(station.port), expected);

    const DeviceDescriptorFields& fields = device.Descriptor();
    EXPECT_EQ(fields.vendorId, sim::SimulatedMv300::kVendorId);
    EXPECT_EQ(fields.productId, sim::SimulatedMv300::kProductId);
    EXPECT_EQ(fields.endpoint0PacketSize, 64);
    EXPECT_EQ(fields.configurationCount, 1);
    EXPECT_EQ(device.ReleaseNumber(), 0x0001);  // cold
    EXPECT_EQ(device.Manufacturer(), "Orvik");
    EXPECT_EQ(device.Product(), "MV300 TDR (simulated)");
    EXPECT_EQ(device.SerialNumber(), "SIM0300001");
    EXPECT_EQ(device.DriverVersion(), 0x01050400u);
    EXPECT_EQ(device.AttributeByte(), 0x01);
    EXPECT_EQ(device.ControlEndpoint()->MaxPacketSize(), 64);
    EXPECT_FALSE(device.ControlEndpoint()->IsIn());
}

TEST(UsbDeviceOpen, CommandPipeAndDataEndpointsAreFound) {
    SimulatedStation station;
    CUsbDevice device(station.port, kInstrumentInterfaceGuid, true);
    ASSERT_NE(device.BulkOut(), nullptr);
    ASSERT_NE(device.BulkIn(), nullptr);
    EXPECT_EQ(device.BulkOut()->Address(), 0x01);
    EXPECT_EQ(device.BulkIn()->Address(), 0x81);  // first bulk IN, before the sample endpoint
    EXPECT_EQ(device.EndpointByAddress(0), device.ControlEndpoint());
    EXPECT_EQ(device.EndpointByAddress(0x88)->Address(), 0x88);
    EXPECT_EQ(device.EndpointByAddress(0x04)->Address(), 0x04);
    EXPECT_EQ(device.EndpointByAddress(0x77), nullptr);
    EXPECT_EQ(device.CurrentInterface()->Slot(0), device.ControlEndpoint());
    EXPECT_EQ(device.IsocIn(), nullptr);
    EXPECT_EQ(device.InterruptOut(), nullptr);
}

TEST(UsbDeviceOpen, CloseReleasesTheWholeModel) {
    SimulatedStation station;
    CUsbDevice device(station.port, kInstrumentInterfaceGuid, true);
    device.Close();
    EXPECT_FALSE(device.IsOpen());
    EXPECT_EQ(device.BulkOut(), nullptr);
    EXPECT_EQ(device.ControlEndpoint(), nullptr);
    EXPECT_EQ(device.ConfigurationCount(), 0u);
    EXPECT_EQ(device.ReleaseNumber(), 0);
    EXPECT_EQ(station.sim.OpenHandles(), 0u);
}

struct VersionCase {
    std::uint32_t version;
    bool direct;
};

class DriverVersionSwitch : public ::testing::TestWithParam<VersionCase> {};

TEST_P(DriverVersionSwitch, DecidesTheTransferPathOfTheInterfaceEndpoints) {
    SimulatedStation station(testing::WithDriverVersion(GetParam().version));
    CUsbDevice device(station.port, kInstrumentInterfaceGuid, true);
    for (std::size_t slot = 1; slot <= device.CurrentInterface()->LastEndpointSlot(); ++slot) {
        EXPECT_EQ(device.CurrentInterface()->Slot(slot)->UseDirect(), GetParam().direct);
    }
    InstrumentLink link(device, station.clock);
    station.port.Clear();
    EXPECT_EQ(link.RegisterWrite(0x0023), 0x0023);
    const auto pipeCode =
        GetParam().direct ? usb_request::kDirectTransfer : usb_request::kBufferedTransfer;
    EXPECT_EQ(testing::RequestsWithCode(station.port, pipeCode).size(), 2u);
}

INSTANTIATE_TEST_SUITE_P(
    AroundTheFirstDirectDriver, DriverVersionSwitch,
    ::testing::Values(VersionCase{0x01050500, true}, VersionCase{0x010504FF, false},
                      VersionCase{0x02000000, true}, VersionCase{0x00000000, false}),
    [](const auto& info) {
        char name[32];
        std::snprintf(name, sizeof name, "Version%08X", static_cast<unsigned>(info.param.version));
        return std::string(name);
    });

struct LanguageCase {
    std::vector<std::uint16_t> offered;
    std::uint16_t chosen;
};

class LanguageRule : public ::testing::TestWithParam<LanguageCase> {};

TEST_P(LanguageRule, EnglishUnitedStatesWinsElseTheFirstListed) {
    sim::SimulatorOptions options;
    options.instrument.languages = GetParam().offered;
    SimulatedStation station(options);
    CUsbDevice device(station.port, kInstrumentInterfaceGuid, true);
    EXPECT_EQ(device.LanguageId(), GetParam().chosen);
    // The string reads ask in that language.
    const auto controls = testing::RequestsWithCode(station.port, usb_request::kControlTransfer);
    ASSERT_GE(controls.size(), 5u);
    EXPECT_EQ(ReadU16(controls[3].input, 2), 0x0301);
    EXPECT_EQ(ReadU16(controls[3].input, 4), GetParam().chosen);
}

INSTANTIATE_TEST_SUITE_P(Lists, LanguageRule,
                         ::testing::Values(LanguageCase{{0x0409}, 0x0409},
                                           LanguageCase{{0x0407, 0x040C}, 0x0407},
                                           LanguageCase{{0x0407, 0x040C, 0x0409}, 0x0409},
                                           LanguageCase{{0x0411, 0x0409, 0x0407}, 0x0409},
                                           LanguageCase{{}, 0}),
                         [](const auto& info) {
                             std::string name = "Offered";
                             char id[8];
                             for (const std::uint16_t language : info.param.offered) {
                                 std::snprintf(id, sizeof id, "_%04X", language);
                                 name += id;
                             }
                             return info.param.offered.empty() ? std::string("NoneOffered") : name;
                         });

TEST(UsbDeviceTransfer, TimeOutAbortsThePipeAndFailsOnceTheRequestIsBack) {
    SimulatedStation station(testing::WarmInstrument());
    CUsbDevice device(station.port, kInstrumentInterfaceGuid, true);
    CUsbEndpoint& out = *device.BulkOut();
    station.sim.TimeOutTransfer(station.sim.TransferCount() + 1);
    station.port.Clear();
    const std::int64_t before = station.clock.NowMs();

    CommandPacket command = BuildCommand(0x58, {});
    std::uint32_t length = kCommandSize;
    EXPECT_FALSE(out.Transfer(command, length));

    EXPECT_EQ(station.clock.NowMs() - before, 10000);  // the endpoint's default time-out
    EXPECT_EQ(length, 0u);
    EXPECT_NE(out.StatusA(), 0u);
    EXPECT_EQ(station.sim.PendingRequests(), 0u);
    // The abort went out on that endpoint while the transfer was still running.
    const auto& calls = station.port.Calls();
    ASSERT_EQ(calls.size(), 2u);
    EXPECT_EQ(calls[0].code, usb_request::kAbortPipe);
    EXPECT_EQ(calls[0].input, std::vector<std::uint8_t>{0x01});
    EXPECT_EQ(calls[1].code, usb_request::kBufferedTransfer);
    EXPECT_FALSE(calls[1].ok);

    // The pipe works again afterwards, and a shorter time-out is honoured.
    length = kCommandSize;
    EXPECT_TRUE(out.Transfer(command, length));
    out.SetTimeoutMs(250);
    station.sim.TimeOutTransfer(station.sim.TransferCount() + 1);
    const std::int64_t second = station.clock.NowMs();
    EXPECT_FALSE(out.Transfer(command, length));
    EXPECT_EQ(station.clock.NowMs() - second, 250);
}

TEST(UsbDeviceTransfer, RequestThatTheAbortDoesNotEndIsGivenUpAfterASecond) {
    SimulatedStation station(testing::WarmInstrument());
    CUsbDevice device(station.port, kInstrumentInterfaceGuid, true);
    CUsbEndpoint& out = *device.BulkOut();
    station.sim.StuckTransfer(station.sim.TransferCount() + 1);
    const std::int64_t before = station.clock.NowMs();

    CommandPacket command = BuildCommand(0x58, {});
    std::uint32_t length = kCommandSize;
    EXPECT_FALSE(out.Transfer(command, length));

    // The time-out, then a second for the aborted request to come back: the
    // program goes on instead of waiting for ever.
    EXPECT_EQ(station.clock.NowMs() - before, 10000 + 1000);
    EXPECT_EQ(length, 0u);
    EXPECT_EQ(out.LastError(), os_error::kSemaphoreTimeout);
    EXPECT_EQ(station.sim.PendingRequests(), 0u) << "the request was given up";
    length = kCommandSize;
    EXPECT_TRUE(out.Transfer(command, length));
}

TEST(UsbDeviceTransfer, ReplyNeverSentTimesOutToo) {
    SimulatedStation station(testing::WarmInstrument());
    CUsbDevice device(station.port, kInstrumentInterfaceGuid, true);
    // Nothing was asked, so the instrument has nothing to answer.
    CommandPacket reply{};
    std::uint32_t length = kCommandSize;
    EXPECT_FALSE(device.BulkIn()->Transfer(reply, length));
    EXPECT_EQ(station.clock.NowMs(), 10000);
    EXPECT_EQ(station.sim.PendingRequests(), 0u);
}

TEST(UsbDeviceTransfer, ClosedDeviceIssuesNoRequest) {
    SimulatedStation station;
    CUsbDevice device(station.port, kInstrumentInterfaceGuid, true);
    EndpointDescriptor descriptor;
    descriptor.address = 0x02;
    descriptor.attributes = 2;
    CUsbBulkEndpoint orphan(station.port, kInvalidDriverHandle, descriptor);
    station.port.Clear();
    std::vector<std::uint8_t> data(4, 0);
    std::uint32_t length = 4;
    EXPECT_FALSE(orphan.Transfer(data, length));
    EXPECT_FALSE(orphan.AbortPipe());
    EXPECT_FALSE(orphan.ResetPipe());
    EXPECT_TRUE(station.port.Calls().empty());
}

TEST(UsbDeviceErrors, RefusedCloseRaisesItsTextAndStillReleasesTheModel) {
    SimulatedStation station;
    CUsbDevice device(station.port, kInstrumentInterfaceGuid, true);
    station.sim.FailNextClose();
    try {
        device.Close();
        FAIL() << "no error raised";
    } catch (const UsbError& error) {
        EXPECT_STREQ(error.what(), "Failed to close handle to driver.");
    }
    EXPECT_FALSE(device.IsOpen());
    EXPECT_EQ(device.BulkIn(), nullptr);
    EXPECT_TRUE(device.Open(0));
}

TEST(UsbDeviceErrors, EmptySlotBeforeTheAddressRaisesFailedToFindEndpoint) {
    sim::SimulatorOptions options;
    // The interface announces three endpoints but describes one.
    options.instrument.configurationDescriptor = std::vector<std::uint8_t>{
        9, 2, 25, 0, 1, 1, 0, 0x80, 50, 9, 4, 0, 0, 3, 0xFF, 0, 0, 0, 7, 5, 0x01, 2, 64, 0, 0};
    SimulatedStation station(options);
    CUsbDevice device(station.port, kInstrumentInterfaceGuid, true);
    EXPECT_EQ(device.EndpointByAddress(0x01)->Address(), 0x01);
    try {
        device.EndpointByAddress(0x88);
        FAIL() << "no error raised";
    } catch (const UsbError& error) {
        EXPECT_STREQ(error.what(), "Failed to find endpoint.");
    }
}

TEST(UsbDeviceErrors, FailedDescriptorReadLeavesFieldsZeroButOpens) {
    SimulatedStation station;
    station.sim.FailTransfer(1);
    CUsbDevice device(station.port, kInstrumentInterfaceGuid, true);
    EXPECT_TRUE(device.IsOpen());
    EXPECT_EQ(device.ReleaseNumber(), 0);
    EXPECT_EQ(device.ConfigurationCount(), 0u);
    EXPECT_EQ(device.BulkOut(), nullptr);
    EXPECT_NE(device.ControlEndpoint(), nullptr);
}

TEST(UsbDeviceOpen, CurrentInterfaceFollowsTheDriversAlternateSetting) {
    sim::SimulatorOptions options;
    options.alternateSetting = 1;
    options.instrument.configurationDescriptor = std::vector<std::uint8_t>{
        9, 2, 41, 0, 1, 1,    0, 0x80, 50,                            //
        9, 4, 0,  0, 1, 0xFF, 0, 0,    0,  7, 5, 0x02, 2, 64, 0, 0,   // alternate 0
        9, 4, 0,  1, 1, 0xFF, 0, 0,    0,  7, 5, 0x86, 3, 8,  0, 4};  // alternate 1: interrupt IN
    SimulatedStation station(options);
    CUsbDevice device(station.port, kInstrumentInterfaceGuid, true);
    EXPECT_EQ(device.CurrentInterfaceIndex(), 1);
    EXPECT_EQ(device.CurrentAlternateSetting(), 1);
    EXPECT_EQ(device.BulkOut(), nullptr);
    ASSERT_NE(device.InterruptIn(), nullptr);
    EXPECT_EQ(device.InterruptIn()->Address(), 0x86);
    EXPECT_EQ(device.InterruptIn()->Interval(), 4);
    EXPECT_EQ(device.Configuration(0).interfaces[0].alternateCount, 2);
}

// The configuration walk on its own, with descriptors a device might send.
class ConfigurationWalk : public ::testing::Test {
  protected:
    CUsbConfig Parse(const std::vector<std::uint8_t>& bytes) {
        return CUsbConfig::Parse(bytes, station_.port, kInvalidDriverHandle);
    }
    static std::vector<std::uint8_t> Config(std::uint16_t totalLength) {
        return {9,
                2,
                static_cast<std::uint8_t>(totalLength & 0xFF),
                static_cast<std::uint8_t>(totalLength >> 8),
                1,
                1,
                0,
                0x80,
                50};
    }
    static void Add(std::vector<std::uint8_t>& bytes, std::vector<std::uint8_t> more) {
        bytes.insert(bytes.end(), more.begin(), more.end());
    }
    static std::vector<std::uint8_t> Interface(std::uint8_t number, std::uint8_t alternate,
                                               std::uint8_t endpoints) {
        return {9, 4, number, alternate, endpoints, 0xFF, 0, 0, 0};
    }
    static std::vector<std::uint8_t> Endpoint(std::uint8_t address, std::uint8_t type = 2) {
        return {7, 5, address, type, 64, 0, 0};
    }

    SimulatedStation station_;
};

TEST_F(ConfigurationWalk, TakesInterfacesEndpointsAndStepsOverOtherDescriptors) {
    auto bytes = Config(0);
    Add(bytes, Interface(0, 0, 2));
    Add(bytes, {5, 0x24, 1, 2, 3});  // a class-specific descriptor
    Add(bytes, Endpoint(0x01));
    Add(bytes, Endpoint(0x82, 3));
    bytes[2] = static_cast<std::uint8_t>(bytes.size());
    const CUsbConfig config = Parse(bytes);
    EXPECT_EQ(config.totalLength, bytes.size());
    EXPECT_EQ(config.configurationValue, 1);
    EXPECT_EQ(config.maxPower, 50);
    ASSERT_EQ(config.interfaces.size(), 1u);
    const CUsbInterface& entry = config.interfaces[0];
    EXPECT_EQ(entry.OwnEndpointCount(), 2u);
    EXPECT_EQ(entry.Slot(1)->Address(), 0x01);
    EXPECT_EQ(entry.Slot(2)->Type(), TransferType::Interrupt);
    EXPECT_EQ(entry.descriptorBytes.size(), 9u + 5 + 7 + 7);
}

TEST_F(ConfigurationWalk, DescriptorRunningPastTheTotalLengthIsNotRead) {
    auto bytes = Config(0);
    Add(bytes, Interface(0, 0, 2));
    Add(bytes, Endpoint(0x01));
    Add(bytes, Endpoint(0x81));
    bytes[2] = static_cast<std::uint8_t>(bytes.size() - 3);  // cuts the last endpoint short
    const CUsbConfig config = Parse(bytes);
    ASSERT_EQ(config.interfaces.size(), 1u);
    EXPECT_EQ(config.interfaces[0].OwnEndpointCount(), 1u);

    // A length byte pointing past the bytes received, whatever the total says.
    bytes[2] = 0xFF;
    bytes.back() = 0;
    bytes[bytes.size() - 7] = 200;
    EXPECT_EQ(Parse(bytes).interfaces[0].OwnEndpointCount(), 1u);
}

TEST_F(ConfigurationWalk, ZeroLengthEndsTheWalk) {
    auto bytes = Config(0);
    Add(bytes, Interface(0, 0, 2));
    Add(bytes, {0, 5, 0x01, 2, 64, 0, 0});
    Add(bytes, Endpoint(0x81));
    bytes[2] = static_cast<std::uint8_t>(bytes.size());
    const CUsbConfig config = Parse(bytes);
    ASSERT_EQ(config.interfaces.size(), 1u);
    EXPECT_EQ(config.interfaces[0].OwnEndpointCount(), 0u);
}

TEST_F(ConfigurationWalk, NoMoreEndpointsThanAnnouncedAndNoMoreThanTheSlots) {
    auto bytes = Config(0);
    Add(bytes, Interface(0, 0, 1));
    Add(bytes, Endpoint(0x01));
    Add(bytes, Endpoint(0x81));  // not announced
    Add(bytes, Interface(1, 0, 30));
    for (std::uint8_t i = 0; i < 20; ++i) {
        Add(bytes, Endpoint(static_cast<std::uint8_t>(0x81 + i)));
    }
    bytes[2] = static_cast<std::uint8_t>(bytes.size() & 0xFF);
    bytes[3] = static_cast<std::uint8_t>(bytes.size() >> 8);
    const CUsbConfig config = Parse(bytes);
    ASSERT_EQ(config.interfaces.size(), 2u);
    EXPECT_EQ(config.interfaces[0].OwnEndpointCount(), 1u);
    EXPECT_EQ(config.interfaces[1].OwnEndpointCount(), 15u);
    EXPECT_EQ(config.interfaces[1].LastEndpointSlot(), 15u);
}

TEST_F(ConfigurationWalk, AtMostEightInterfaces) {
    auto bytes = Config(0);
    for (std::uint8_t i = 0; i < 10; ++i) {
        Add(bytes, Interface(i, 0, 0));
    }
    bytes[2] = static_cast<std::uint8_t>(bytes.size());
    const CUsbConfig config = Parse(bytes);
    EXPECT_EQ(config.interfaces.size(), 8u);
    EXPECT_EQ(config.interfaces.back().interfaceNumber, 7);
}

TEST_F(ConfigurationWalk, ElevenDescriptorsAreSteppedOverButNotTwelve) {
    for (const int others : {11, 12}) {
        auto bytes = Config(0);
        Add(bytes, Interface(0, 0, 1));
        for (int i = 0; i < others; ++i) {
            Add(bytes, {3, 0x24, 0});
        }
        Add(bytes, Endpoint(0x01));
        bytes[2] = static_cast<std::uint8_t>(bytes.size());
        EXPECT_EQ(Parse(bytes).interfaces[0].OwnEndpointCount(), others == 11 ? 1u : 0u) << others;
    }
}

TEST_F(ConfigurationWalk, DescriptorsTooShortForTheirTypeAreSteppedOver) {
    auto bytes = Config(0);
    Add(bytes, {4, 4, 0, 0});  // an interface descriptor cut to four bytes
    Add(bytes, Interface(0, 0, 1));
    Add(bytes, {3, 5, 0x01});  // an endpoint descriptor cut to three bytes
    Add(bytes, Endpoint(0x02));
    bytes[2] = static_cast<std::uint8_t>(bytes.size());
    const CUsbConfig config = Parse(bytes);
    ASSERT_EQ(config.interfaces.size(), 1u);
    ASSERT_EQ(config.interfaces[0].OwnEndpointCount(), 1u);
    EXPECT_EQ(config.interfaces[0].Slot(1)->Address(), 0x02);
}

TEST_F(ConfigurationWalk, HeaderShorterThanNineBytesGivesAnEmptyConfiguration) {
    for (std::size_t size = 0; size < 9; ++size) {
        const std::vector<std::uint8_t> bytes(size, 9);
        const CUsbConfig config = Parse(bytes);
        EXPECT_TRUE(config.interfaces.empty());
        EXPECT_EQ(config.totalLength, 0);
    }
}

}  // namespace
}  // namespace orvik
