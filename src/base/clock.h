#pragma once

#include <chrono>
#include <cstdint>

namespace orvik {

// Time as the operating flow sees it: pauses between instrument commands,
// the 200 ms wait after live mode stops. The program sleeps for real; tests
// use a virtual clock so that waits cost nothing.
class Clock {
  public:
    virtual ~Clock() = default;
    virtual void SleepMs(std::int64_t milliseconds) = 0;
    // Milliseconds since an arbitrary fixed start.
    virtual std::int64_t NowMs() const = 0;
};

class SystemClock : public Clock {
  public:
    void SleepMs(std::int64_t milliseconds) override;
    std::int64_t NowMs() const override;
};

// Advances only when slept on; records the total time slept.
class VirtualClock : public Clock {
  public:
    void SleepMs(std::int64_t milliseconds) override { now_ += milliseconds; }
    std::int64_t NowMs() const override { return now_; }
    void Advance(std::int64_t milliseconds) { now_ += milliseconds; }

  private:
    std::int64_t now_ = 0;
};

}  // namespace orvik
