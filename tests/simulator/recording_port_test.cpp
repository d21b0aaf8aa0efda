// The recording driver port and the request log it writes.
#include <gtest/gtest.h>

#include <regex>
#include <sstream>

#include "instrument/instrument_link.h"
#include "link_test_support.h"

namespace orvik {
namespace {

TEST(RecordingPort, LogsEveryRequestOfAnExchangeAsOneLine) {
    VirtualClock clock;
    sim::SimulatedDriverPort simulator(clock, testing::WarmInstrument());
    std::ostringstream log;
    RecordingDriverPort port(simulator, &log);
    CUsbDevice device(port, kInstrumentInterfaceGuid, true);
    InstrumentLink link(device, clock);
    log.str("");

    link.RegisterWrite(0x8245);

    std::vector<std::string> lines;
    std::istringstream in(log.str());
    for (std::string line; std::getline(in, line);) {
        lines.push_back(line);
    }
    ASSERT_EQ(lines.size(), 6u);
    EXPECT_EQ(lines[0], "0x220044 in=01 out= ok=1");
    EXPECT_EQ(lines[1], "0x220044 in=81 out= ok=1");
    EXPECT_EQ(lines[2], "0x22002c in=01 out= ok=1");
    EXPECT_EQ(lines[3], "0x22002c in=81 out= ok=1");
    const std::string header =
        "000000000000000000000000000100000000000000000000000000000000"
        "260000003e000000";
    const std::string command = "58004582" + std::string(116, '0');
    EXPECT_EQ(lines[4], "0x220024 in=" + header + command + " out=" + header + command + " ok=1");
    const std::regex shape("0x[0-9a-f]{6} in=[0-9a-f]* out=[0-9a-f]* ok=[01]");
    for (const std::string& line : lines) {
        EXPECT_TRUE(std::regex_match(line, shape)) << line;
    }
    // The reply came back behind its header: the register's value, low byte first.
    EXPECT_NE(lines[5].find(" out=" + std::string(26, '0') + "81" + std::string(32, '0') +
                            "260000003e000000" + "58004582"),
              std::string::npos)
        << lines[5];
}

TEST(RecordingPort, RecordsOpensClosesAndFailuresButLogsOnlyRequests) {
    VirtualClock clock;
    sim::SimulatedDriverPort simulator(clock, testing::WarmInstrument());
    std::ostringstream log;
    RecordingDriverPort port(simulator, &log);
    {
        CUsbDevice device(port, kInstrumentInterfaceGuid, true);
        device.Close();
    }
    const auto& calls = port.Calls();
    ASSERT_GE(calls.size(), 3u);
    EXPECT_EQ(calls.front().kind, RecordedCall::Kind::Enumerate);
    EXPECT_EQ(calls[1].kind, RecordedCall::Kind::Open);
    EXPECT_EQ(calls.back().kind, RecordedCall::Kind::Close);
    const std::size_t requests = port.Requests().size();
    const std::string text = log.str();
    EXPECT_EQ(static_cast<std::size_t>(std::count(text.begin(), text.end(), '\n')), requests);

    // A request refused before it started is logged as failed.
    port.Clear();
    std::vector<std::uint8_t> bad(10, 0);
    const DriverHandle handle = port.Open(sim::SimulatedDriverPort::InstrumentPath(), {}).handle;
    const IoStart start = port.StartIoControl(handle, usb_request::kBufferedTransfer, bad, bad);
    EXPECT_NE(start.error, os_error::kIoPending);
    ASSERT_EQ(port.Requests().size(), 1u);
    EXPECT_FALSE(port.Requests()[0].ok);
    EXPECT_TRUE(port.Requests()[0].overlapped);
}

}  // namespace
}  // namespace orvik
