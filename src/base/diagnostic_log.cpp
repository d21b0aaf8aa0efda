#include "base/diagnostic_log.h"

#include <cerrno>
#include <cstring>
#include <ctime>

namespace orvik {
namespace {

// Digits written by hand: the log's numbers never follow the user's locale.
void AppendNumber(std::string& line, long long value, int width) {
    char digits[24];
    int count = 0;
    do {
        digits[count++] = static_cast<char>('0' + value % 10);
        value /= 10;
    } while (value > 0 && count < static_cast<int>(sizeof digits));
    for (int pad = count; pad < width; ++pad) {
        line += '0';
    }
    while (count > 0) {
        line += digits[--count];
    }
}

void AppendUtcTime(std::string& line, std::chrono::system_clock::time_point time) {
    using namespace std::chrono;
    const auto since = time.time_since_epoch();
    auto seconds = duration_cast<std::chrono::seconds>(since);
    auto milliseconds = duration_cast<std::chrono::milliseconds>(since - seconds).count();
    if (milliseconds < 0) {  // before 1970: borrow a second
        seconds -= std::chrono::seconds(1);
        milliseconds += 1000;
    }
    const std::time_t whole = static_cast<std::time_t>(seconds.count());
    std::tm utc{};
    gmtime_r(&whole, &utc);
    AppendNumber(line, utc.tm_year + 1900LL, 4);
    line += '-';
    AppendNumber(line, utc.tm_mon + 1, 2);
    line += '-';
    AppendNumber(line, utc.tm_mday, 2);
    line += 'T';
    AppendNumber(line, utc.tm_hour, 2);
    line += ':';
    AppendNumber(line, utc.tm_min, 2);
    line += ':';
    AppendNumber(line, utc.tm_sec, 2);
    line += '.';
    AppendNumber(line, milliseconds, 3);
    line += 'Z';
}

}  // namespace

const char* LogLevelName(LogLevel level) {
    switch (level) {
        case LogLevel::Debug:
            return "DEBUG";
        case LogLevel::Info:
            return "INFO";
        case LogLevel::Warning:
            return "WARNING";
        case LogLevel::Error:
            break;
    }
    return "ERROR";
}

std::string FormatLogLine(const LogEntry& entry) {
    std::string line;
    line.reserve(48 + entry.Source.size() + entry.Text.size());
    AppendUtcTime(line, entry.Time);
    line += ' ';
    line += LogLevelName(entry.Level);
    line += ' ';
    line += entry.Source.empty() ? std::string_view("-") : entry.Source;
    line += ' ';
    for (const char c : entry.Text) {
        if (c == '\n') {
            line += "\\n";
        } else if (c == '\r') {
            line += "\\r";
        } else {
            line += c;
        }
    }
    line += '\n';
    return line;
}

Result<std::unique_ptr<FileLogSink>> FileLogSink::Open(const std::string& path) {
    std::FILE* file = std::fopen(path.c_str(), "ae");
    if (file == nullptr) {
        return Failure{"Cannot open the log " + path + ": " + std::strerror(errno), ""};
    }
    return std::unique_ptr<FileLogSink>(new FileLogSink(file));
}

FileLogSink::~FileLogSink() {
    std::fclose(file_);
}

void FileLogSink::Write(const LogEntry& entry) {
    const std::string line = FormatLogLine(entry);
    const std::lock_guard<std::mutex> lock(mutex_);
    std::fwrite(line.data(), 1, line.size(), file_);
    std::fflush(file_);
}

DiagnosticLog& DiagnosticLog::Null() {
    static DiagnosticLog none;
    return none;
}

void DiagnosticLog::Write(LogLevel level, std::string_view source, std::string_view text) {
    if (!Enabled(level)) {
        return;
    }
    sink_->Write({std::chrono::system_clock::now(), level, source, text});
}

}  // namespace orvik
