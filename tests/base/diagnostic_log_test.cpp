#include "base/diagnostic_log.h"

#include <fstream>
#include <regex>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "test_files.h"
#include "test_log.h"

namespace orvik {
namespace {

using testing::TemporaryFolder;

std::chrono::system_clock::time_point At(std::int64_t secondsSince1970, int milliseconds) {
    return std::chrono::system_clock::time_point(std::chrono::seconds(secondsSince1970) +
                                                 std::chrono::milliseconds(milliseconds));
}

std::vector<std::string> Lines(const std::string& path) {
    std::ifstream in(path);
    std::vector<std::string> lines;
    for (std::string line; std::getline(in, line);) {
        lines.push_back(line);
    }
    return lines;
}

TEST(LogLine, TimeInUtcLevelSourceAndTextOnOneLine) {
    // 2026-12-08 21:48:32 UTC.
    EXPECT_EQ(FormatLogLine({At(1796766512, 5), LogLevel::Warning, "collection", "Refused a.tdr"}),
              "2026-12-08T21:48:32.005Z WARNING collection Refused a.tdr\n");
    EXPECT_EQ(FormatLogLine({At(0, 999), LogLevel::Debug, "criteria", "x"}),
              "1970-01-01T00:00:00.999Z DEBUG criteria x\n");
    // A text with line breaks stays one line; an entry without a source says so.
    EXPECT_EQ(FormatLogLine({At(951782400, 0), LogLevel::Error, "", "first\nsecond\r"}),
              "2000-02-29T00:00:00.000Z ERROR - first\\nsecond\\r\n");
    EXPECT_STREQ(LogLevelName(LogLevel::Info), "INFO");
}

TEST(DiagnosticLog, DropsEntriesBelowItsThreshold) {
    testing::RecordingLogSink sink;
    DiagnosticLog log(sink, LogLevel::Warning);
    log.Debug("base", "d");
    log.Info("base", "i");
    log.Warning("base", "w");
    log.Error("base", "e");
    const auto entries = sink.Entries();
    ASSERT_EQ(entries.size(), 2u);
    EXPECT_EQ(entries[0].Level, LogLevel::Warning);
    EXPECT_EQ(entries[0].Text, "w");
    EXPECT_EQ(entries[1].Level, LogLevel::Error);
    EXPECT_FALSE(log.Enabled(LogLevel::Info));

    DiagnosticLog everything(sink, LogLevel::Debug);
    everything.Debug("base", "d");
    EXPECT_EQ(sink.Count(LogLevel::Debug, "base", {"d"}), 1u);
}

TEST(DiagnosticLog, TheDefaultWritesNothing) {
    DiagnosticLog log;
    EXPECT_FALSE(log.Enabled(LogLevel::Error));
    log.Error("base", "nowhere");
    EXPECT_FALSE(DiagnosticLog::Null().Enabled(LogLevel::Error));
    DiagnosticLog::Null().Error("base", "nowhere");
}

class LogFile : public ::testing::Test {
  protected:
    TemporaryFolder folder;
    std::string path = folder.File("orvik.log");
};

TEST_F(LogFile, AppendsOneFormattedLinePerEntry) {
    testing::WriteFile(path, {'o', 'l', 'd', '\n'});
    {
        auto sink = FileLogSink::Open(path);
        ASSERT_TRUE(sink);
        DiagnosticLog log(**sink);
        log.Info("criteria", "Loaded criteria.dat: 4 criteria, 1 scripts");
        log.Error("collection", "Save of /x/c.tdr failed");
        // Each line is in the file as soon as it was written.
        EXPECT_EQ(Lines(path).size(), 3u);
    }
    const auto lines = Lines(path);
    ASSERT_EQ(lines.size(), 3u);
    EXPECT_EQ(lines[0], "old");
    const std::regex time(R"(^\d{4}-\d\d-\d\dT\d\d:\d\d:\d\d\.\d{3}Z )");
    EXPECT_TRUE(std::regex_search(lines[1], time)) << lines[1];
    EXPECT_EQ(lines[1].substr(25), "INFO criteria Loaded criteria.dat: 4 criteria, 1 scripts");
    EXPECT_EQ(lines[2].substr(25), "ERROR collection Save of /x/c.tdr failed");
}

TEST_F(LogFile, AFolderThatDoesNotExistIsAFailure) {
    const auto sink = FileLogSink::Open(folder.File("missing/orvik.log"));
    ASSERT_FALSE(sink);
    EXPECT_NE(sink.Error().Message.find("missing/orvik.log"), std::string::npos);
}

TEST_F(LogFile, WritersOnSeveralThreadsNeverMixTheirLines) {
    constexpr int kThreads = 4;
    constexpr int kEntries = 300;
    {
        auto sink = FileLogSink::Open(path);
        ASSERT_TRUE(sink);
        DiagnosticLog log(**sink);
        std::vector<std::thread> writers;
        for (int t = 0; t < kThreads; ++t) {
            writers.emplace_back([&log, t] {
                const std::string text =
                    "writer " + std::to_string(t) + " " + std::string(200, 'x');
                for (int i = 0; i < kEntries; ++i) {
                    log.Info("base", text);
                }
            });
        }
        for (std::thread& writer : writers) {
            writer.join();
        }
    }
    const auto lines = Lines(path);
    ASSERT_EQ(lines.size(), static_cast<std::size_t>(kThreads * kEntries));
    const std::regex whole(R"(^\S+Z INFO base writer \d x{200}$)");
    for (const std::string& line : lines) {
        ASSERT_TRUE(std::regex_match(line, whole)) << line;
    }
}

}  // namespace
}  // namespace orvik
