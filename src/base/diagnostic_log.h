#pragma once

#include <chrono>
#include <cstdio>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>

#include "base/failure.h"

namespace orvik {

enum class LogLevel { Debug, Info, Warning, Error };

// "DEBUG", "INFO", "WARNING" or "ERROR".
const char* LogLevelName(LogLevel level);

struct LogEntry {
    std::chrono::system_clock::time_point Time;
    LogLevel Level = LogLevel::Info;
    std::string_view Source;  // the folder that wrote it: "collection", "criteria", ...
    std::string_view Text;
};

// One line: the UTC time in ISO 8601 with milliseconds, the level, the source
// and the text, separated by single spaces and ended by a line feed. Line
// breaks inside the text are written as \n so that an entry stays one line.
std::string FormatLogLine(const LogEntry& entry);

// Where entries go. A sink may be written to from several threads at once.
class LogSink {
  public:
    virtual ~LogSink() = default;
    virtual void Write(const LogEntry& entry) = 0;
};

// Appends one formatted line per entry to a file and hands each line to the
// system at once, so that the log is complete up to the moment the program
// ends, however it ends.
class FileLogSink : public LogSink {
  public:
    static Result<std::unique_ptr<FileLogSink>> Open(const std::string& path);
    ~FileLogSink() override;
    FileLogSink(const FileLogSink&) = delete;
    FileLogSink& operator=(const FileLogSink&) = delete;

    void Write(const LogEntry& entry) override;

  private:
    explicit FileLogSink(std::FILE* file) : file_(file) {}

    std::mutex mutex_;
    std::FILE* file_;
};

// What happened that the operator is not told, or not told in full: refused
// files, the reasons behind failed saves and damaged libraries. Passed to the
// parts of the program like the clock; the default log writes nothing, so
// code that is given none stays quiet. Entries below the threshold are
// dropped before they are formatted.
class DiagnosticLog {
  public:
    DiagnosticLog() = default;
    explicit DiagnosticLog(LogSink& sink, LogLevel threshold = LogLevel::Info)
        : sink_(&sink), threshold_(threshold) {}

    // A log that writes nothing, for every part that was given no other.
    static DiagnosticLog& Null();

    bool Enabled(LogLevel level) const { return sink_ != nullptr && level >= threshold_; }
    void Write(LogLevel level, std::string_view source, std::string_view text);
    void Debug(std::string_view source, std::string_view text) {
        Write(LogLevel::Debug, source, text);
    }
    void Info(std::string_view source, std::string_view text) {
        Write(LogLevel::Info, source, text);
    }
    void Warning(std::string_view source, std::string_view text) {
        Write(LogLevel::Warning, source, text);
    }
    void Error(std::string_view source, std::string_view text) {
        Write(LogLevel::Error, source, text);
    }

  private:
    LogSink* sink_ = nullptr;
    LogLevel threshold_ = LogLevel::Info;
};

}  // namespace orvik
