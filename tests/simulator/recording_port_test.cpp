// The recording driver port and the request log it writes.
#include <gtest/gtest.h>

#include <algorithm>

#include <sstream>

#include "instrument/image_folders.h"
#include "instrument/image_loading.h"
#include "instrument/instrument_link.h"
#include "instrument/instrument_station.h"
#include "link_test_support.h"
#include "request_log_line.h"

namespace orvik {
namespace {

// The program's --io-log: every request written, none kept in memory.
TEST(RecordingPort, LogOnlyKeepsNothingButWritesEveryRequest) {
    VirtualClock clock;
    sim::SimulatedDriverPort simulator(clock, testing::WarmInstrument());
    std::ostringstream log;
    RecordingDriverPort port(simulator, &log);
    port.KeepCalls(false);
    CUsbDevice device(port, kInstrumentInterfaceGuid, true);
    InstrumentLink link(device, clock);
    link.RegisterWrite(0x8245);
    EXPECT_TRUE(port.Calls().empty());
    const std::string written = log.str();
    EXPECT_GE(std::count(written.begin(), written.end(), '\n'), 6);
}

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
    for (const std::string& line : lines) {
        EXPECT_TRUE(testing::ParseRequestLogLine(line)) << line;
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

// A whole start-up of a cold instrument and one Run Test, logged, through a
// driver that moves pipe data behind the header (before 1.5.5) and through
// one that moves it directly: the log carries the same commands in both.
class LoggedRunTest : public ::testing::TestWithParam<std::uint32_t> {};

TEST_P(LoggedRunTest, LogsTheStartUpAndTheTestInTheDriversForm) {
    const bool direct = GetParam() >= 0x01050500;
    VirtualClock clock;
    sim::SimulatorOptions options;
    options.driverVersion = GetParam();
    sim::SimulatedDriverPort simulator(clock, options);
    std::ostringstream log;
    RecordingDriverPort port(simulator, &log);
    testing::RecordingPrompts prompts;
    InstrumentStation station(port, clock, prompts);
    station.SetDumpPath("");
    StartUpOptions startUp;
    startUp.imageFolder = InstrumentImageFolder(ImageSet::Simulator);
    ASSERT_TRUE(station.StartUp(startUp).InstrumentReady());
    const MeasuredProfile profile = station.MeasureProfile(MeasurementMode::SingleEnded);
    EXPECT_FALSE(profile.StopLiveMode);
    EXPECT_TRUE(station.LastAcquisition().WholeRecord());
    EXPECT_TRUE(prompts.messages.empty());

    int pageOneReads = 0;
    int acquireBlocks = 0;
    int buffered = 0;
    int directs = 0;
    std::istringstream lines(log.str());
    for (std::string line; std::getline(lines, line);) {
        const auto parsed = testing::ParseRequestLogLine(line);
        ASSERT_TRUE(parsed) << line;
        // The command lies behind the header of a buffered request, and in
        // the caller's own buffer of a direct one.
        std::string carried;
        if (parsed->Code == "220024") {
            ++buffered;
            carried = parsed->In.substr(std::min<std::size_t>(76, parsed->In.length()));
        } else if (parsed->Code == "22004b") {
            ++directs;
            EXPECT_EQ(parsed->In.length(), 76u) << line;
            // Only what went out on the command pipe (endpoint byte 13).
            if (parsed->In.substr(26, 2) == "01") {
                carried = parsed->Out;
            }
        }
        pageOneReads += carried.rfind("c30001", 0) == 0 ? 1 : 0;
        acquireBlocks += carried.rfind("a50004", 0) == 0 ? 1 : 0;
    }
    EXPECT_EQ(pageOneReads, 1);
    EXPECT_EQ(acquireBlocks, 8);
    EXPECT_EQ(direct ? buffered : directs, 0);
    EXPECT_GT(direct ? directs : buffered, 100);
}

INSTANTIATE_TEST_SUITE_P(DriverForms, LoggedRunTest, ::testing::Values(0x01050400u, 0x01050500u),
                         [](const auto& info) {
                             return std::string(info.param >= 0x01050500 ? "Direct" : "Buffered");
                         });

}  // namespace
}  // namespace orvik
