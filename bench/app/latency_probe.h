#pragma once

// What the window-latency runs share: a probe whose stamped events, posted
// from another thread, measure how long the window thread takes to reach
// them, and the percentiles of those delays.

#include <QMetaObject>
#include <QObject>
#include <algorithm>
#include <chrono>
#include <vector>

namespace latency {

using SteadyClock = std::chrono::steady_clock;

class LatencyProbe : public QObject {
  public:
    std::vector<double> DelaysMs;

    void Post(SteadyClock::time_point stamp) {
        QMetaObject::invokeMethod(
            this,
            [this, stamp] {
                DelaysMs.push_back(
                    std::chrono::duration<double, std::milli>(SteadyClock::now() - stamp).count());
            },
            Qt::QueuedConnection);
    }
};

inline double Percentile(std::vector<double> values, double fraction) {
    if (values.empty()) {
        return 0;
    }
    std::sort(values.begin(), values.end());
    const auto index = static_cast<std::size_t>(fraction * static_cast<double>(values.size() - 1));
    return values[index];
}

}  // namespace latency
