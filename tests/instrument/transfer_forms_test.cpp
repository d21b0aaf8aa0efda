// The bytes of every request form the link hands to the instrument's driver,
// built here field by field from the header layout.
#include <gtest/gtest.h>

#include "instrument/image_loading.h"
#include "instrument/instrument_link.h"
#include "instrument/usb_device.h"
#include "link_test_support.h"

namespace orvik {
namespace {

using testing::Header;
using testing::PipeHeader;
using testing::SimulatedStation;

std::vector<std::uint8_t> RegisterCommand(std::uint8_t low, std::uint8_t high) {
    std::vector<std::uint8_t> command(62, 0);
    command[0] = 0x58;
    command[2] = low;
    command[3] = high;
    return command;
}

TEST(TransferForms, BufferedPipeRequestCarriesTheCommandBehindTheHeader) {
    SimulatedStation station(testing::WithDriverVersion(0x010504FF));
    CUsbDevice device(station.port, kInstrumentInterfaceGuid, true);
    InstrumentLink link(device, station.clock);
    station.port.Clear();

    link.RegisterWrite(0x8245);

    const auto writes = testing::RequestsWithCode(station.port, usb_request::kBufferedTransfer);
    ASSERT_EQ(writes.size(), 2u);  // the command out, the reply in
    const auto expectedOut = PipeHeader(0x01, 38, 62).Append(RegisterCommand(0x45, 0x82)).Bytes();
    EXPECT_EQ(writes[0].input, expectedOut);
    EXPECT_EQ(writes[0].output, expectedOut);  // same buffer, status words still zero
    const auto expectedIn =
        PipeHeader(0x81, 38, 62).Append(std::vector<std::uint8_t>(62, 0)).Bytes();
    EXPECT_EQ(writes[1].input, expectedIn);
}

TEST(TransferForms, DirectPipeRequestIsAHeaderWithOnlyTheEndpoint) {
    SimulatedStation station(testing::WithDriverVersion(0x01050500));
    CUsbDevice device(station.port, kInstrumentInterfaceGuid, true);
    InstrumentLink link(device, station.clock);
    station.port.Clear();

    EXPECT_EQ(link.RegisterWrite(0x8245), 0x8245);

    const auto transfers = testing::RequestsWithCode(station.port, usb_request::kDirectTransfer);
    ASSERT_EQ(transfers.size(), 2u);
    EXPECT_EQ(transfers[0].input, PipeHeader(0x01, 0, 0).Bytes());
    EXPECT_EQ(transfers[0].output, RegisterCommand(0x45, 0x82));
    EXPECT_EQ(transfers[1].input, PipeHeader(0x81, 0, 0).Bytes());
    ASSERT_EQ(transfers[1].output.size(), 62u);
    EXPECT_EQ(transfers[1].output[0], 0x58);
    EXPECT_TRUE(testing::RequestsWithCode(station.port, usb_request::kBufferedTransfer).empty());
}

TEST(TransferForms, DescriptorReadAtOpenIsAFiveSecondStandardControlRequest) {
    SimulatedStation station;
    CUsbDevice device(station.port, kInstrumentInterfaceGuid, true);

    const auto controls = testing::RequestsWithCode(station.port, usb_request::kControlTransfer);
    ASSERT_FALSE(controls.empty());
    const auto expected = Header(0x80, 6, 0x0100, 0, 18, 5, 0, 0, 0, 38, 18)
                              .Append(std::vector<std::uint8_t>(18, 0))
                              .Bytes();
    EXPECT_EQ(controls[0].input, expected);
    EXPECT_EQ(controls[0].input.size(), 56u);
}

TEST(TransferForms, ControlRequestTakesItsSetupFromTheEndpoint) {
    SimulatedStation station;
    CUsbDevice device(station.port, kInstrumentInterfaceGuid, true);
    CUsbControlEndpoint& control = *device.ControlEndpoint();
    station.port.Clear();

    // Vendor request 0xA0 holding the controller: the program loader's first request.
    control.request = 0xA0;
    control.value = 0xE600;
    std::vector<std::uint8_t> data{1, 0};
    std::uint32_t length = 2;
    EXPECT_TRUE(control.Transfer(data, length));
    auto sent = testing::RequestsWithCode(station.port, usb_request::kControlTransfer);
    ASSERT_EQ(sent.size(), 1u);
    EXPECT_EQ(sent[0].input,
              Header(0x40, 0xA0, 0xE600, 0, 2, 10, 0, 0, 0, 38, 2).U8(1).U8(0).Bytes());

    // Every field of the request-type byte: direction 1, type 3, target 0x21.
    station.port.Clear();
    control.target = 0x21;
    control.requestType = 3;
    control.direction = 1;
    control.request = 0x11;
    control.value = 0x2233;
    control.index = 0x4455;
    control.SetTimeoutMs(2500);
    length = 2;
    control.Transfer(data, length);
    sent = testing::RequestsWithCode(station.port, usb_request::kControlTransfer);
    ASSERT_EQ(sent.size(), 1u);
    EXPECT_EQ(sent[0].input,
              Header(0xE1, 0x11, 0x2233, 0x4455, 2, 2, 0, 0, 0, 38, 2).U8(1).U8(0).Bytes());
}

TEST(TransferForms, ControlTimeOutIsWholeSecondsButNeverZeroForAShortOne) {
    SimulatedStation station;
    CUsbDevice device(station.port, kInstrumentInterfaceGuid, true);
    CUsbControlEndpoint& control = *device.ControlEndpoint();
    const std::pair<std::uint32_t, std::uint32_t> cases[] = {{0, 0},    {1, 1},    {999, 1},
                                                             {1000, 1}, {1999, 1}, {10000, 10}};
    for (const auto& [milliseconds, seconds] : cases) {
        station.port.Clear();
        control.SetTimeoutMs(milliseconds);
        std::vector<std::uint8_t> data{0};
        std::uint32_t length = 1;
        control.Transfer(data, length);
        const auto sent = testing::RequestsWithCode(station.port, usb_request::kControlTransfer);
        ASSERT_EQ(sent.size(), 1u);
        EXPECT_EQ(ReadU32(sent[0].input, 8), seconds) << milliseconds << " ms";
    }
}

TEST(TransferForms, ControlReadComesBackIntoTheCallersBuffer) {
    SimulatedStation station;
    CUsbDevice device(station.port, kInstrumentInterfaceGuid, true);
    CUsbControlEndpoint& control = *device.ControlEndpoint();
    control.requestType = 0;  // standard
    control.direction = 1;
    control.request = 6;
    control.value = 0x0100;
    std::vector<std::uint8_t> buffer(18, 0xEE);
    std::uint32_t length = 18;
    ASSERT_TRUE(control.Transfer(buffer, length));
    EXPECT_EQ(length, 18u);
    EXPECT_EQ(buffer[0], 18);
    EXPECT_EQ(buffer[1], 1);
}

class IsochronousForms : public ::testing::Test {
  protected:
    IsochronousForms() {
        handle_ = station_.port.Open(sim::SimulatedDriverPort::InstrumentPath(), {}).handle;
        EndpointDescriptor descriptor;
        descriptor.address = 0x83;
        descriptor.attributes = 0x05;       // isochronous, asynchronous
        descriptor.maxPacketSize = 0x1180;  // 384 bytes, three transactions a frame
        endpoint_ = std::make_unique<CUsbIsocEndpoint>(station_.port, handle_, descriptor);
        station_.port.Clear();
    }

    SimulatedStation station_;
    DriverHandle handle_;
    std::unique_ptr<CUsbIsocEndpoint> endpoint_;
};

TEST_F(IsochronousForms, PacketSizeCountsEveryTransactionOfAFrame) {
    EXPECT_EQ(endpoint_->TransactionsPerFrame(), 3);
    EXPECT_EQ(endpoint_->MaxPacketSize(), 1152);
    EXPECT_EQ(endpoint_->Type(), TransferType::Isochronous);
    EXPECT_TRUE(endpoint_->IsIn());
    EXPECT_EQ(endpoint_->PacketCount(1), 1u);
    EXPECT_EQ(endpoint_->PacketCount(1152), 1u);
    EXPECT_EQ(endpoint_->PacketCount(1153), 2u);
}

TEST_F(IsochronousForms, DirectFormCarriesOnlyTheHeaderAndPacketTable) {
    std::vector<std::uint8_t> buffer(100, 0);
    std::uint32_t length = 100;
    endpoint_->Transfer(buffer, length);
    const auto sent = testing::RequestsWithCode(station_.port, usb_request::kDirectTransfer);
    ASSERT_EQ(sent.size(), 1u);
    EXPECT_EQ(sent[0].input, Header(0, 0, 0, 0, 0, 0, 0x83, 38, 8, 0, 0)
                                 .Append(std::vector<std::uint8_t>(8, 0))
                                 .Bytes());
    EXPECT_EQ(sent[0].output.size(), 100u);
}

TEST_F(IsochronousForms, BufferedFormPutsTheDataBehindThePacketTable) {
    endpoint_->SetUseDirect(false);
    std::vector<std::uint8_t> buffer(2500, 0);
    std::uint32_t length = 2500;
    endpoint_->Transfer(buffer, length);
    const auto sent = testing::RequestsWithCode(station_.port, usb_request::kBufferedTransfer);
    ASSERT_EQ(sent.size(), 1u);
    const auto expected = Header(0, 0, 0, 0, 0, 0, 0x83, 38, 24, 62, 2500)
                              .Append(std::vector<std::uint8_t>(24 + 2500, 0))
                              .Bytes();
    EXPECT_EQ(sent[0].input, expected);
}

TEST_F(IsochronousForms, NothingToMoveIssuesNoRequest) {
    std::vector<std::uint8_t> buffer;
    std::uint32_t length = 0;
    EXPECT_FALSE(endpoint_->Transfer(buffer, length));
    EXPECT_TRUE(station_.port.Requests().empty());
}

}  // namespace
}  // namespace orvik
