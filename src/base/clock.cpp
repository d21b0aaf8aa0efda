#include "base/clock.h"

#include <thread>

namespace orvik {

void SystemClock::SleepMs(std::int64_t milliseconds) {
    if (milliseconds > 0) {
        std::this_thread::sleep_for(std::chrono::milliseconds(milliseconds));
    }
}

std::int64_t SystemClock::NowMs() const {
    return std::chrono::duration_cast<std::chrono::milliseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

}  // namespace orvik
