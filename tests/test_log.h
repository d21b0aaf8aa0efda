#pragma once

#include <mutex>
#include <string>
#include <vector>

#include "base/diagnostic_log.h"

namespace orvik::testing {

// Keeps every entry written to it, for tests that check what was logged.
class RecordingLogSink : public LogSink {
  public:
    struct Entry {
        LogLevel Level;
        std::string Source;
        std::string Text;
    };

    void Write(const LogEntry& entry) override {
        const std::lock_guard<std::mutex> lock(mutex_);
        entries_.push_back({entry.Level, std::string(entry.Source), std::string(entry.Text)});
    }

    std::vector<Entry> Entries() const {
        const std::lock_guard<std::mutex> lock(mutex_);
        return entries_;
    }

    // The entries of `level` from `source` whose text contains every one of `parts`.
    std::size_t Count(LogLevel level, const std::string& source,
                      std::initializer_list<std::string> parts = {}) const {
        std::size_t count = 0;
        for (const Entry& entry : Entries()) {
            bool matches = entry.Level == level && entry.Source == source;
            for (const std::string& part : parts) {
                matches = matches && entry.Text.find(part) != std::string::npos;
            }
            count += matches ? 1 : 0;
        }
        return count;
    }

  private:
    mutable std::mutex mutex_;
    std::vector<Entry> entries_;
};

}  // namespace orvik::testing
