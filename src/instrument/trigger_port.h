#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "base/operator_prompts.h"
#include "instrument/driver_port.h"

namespace orvik {

// What the trigger port asks of the main window.
class TriggerPortListener {
  public:
    virtual ~TriggerPortListener() = default;
    // Stop the 100 ms poll timer for good.
    virtual void StopTriggerPoll() = 0;
    // Input 1 was pressed: Run Test on the active collection.
    virtual void TriggerRunTest() = 0;
    // Input 2 was pressed: Record Test on the active collection.
    virtual void TriggerRecordTest() = 0;
};

// The USB trigger port with its two inputs, polled every 100 ms through its
// driver's single 8-byte request. Each press of an input fires once.
class CTriggerPort {
  public:
    static constexpr std::uint32_t kTriggerRequest = 0x222028;
    static constexpr std::size_t kMaxPaths = 127;
    static constexpr std::size_t kMaxPathLength = 260;
    static constexpr std::int64_t kPollPeriodMs = 100;

    CTriggerPort(DriverPort& port, OperatorPrompts& prompts);
    ~CTriggerPort();
    CTriggerPort(const CTriggerPort&) = delete;
    CTriggerPort& operator=(const CTriggerPort&) = delete;

    void SetListener(TriggerPortListener* listener) { listener_ = listener; }

    // Stores the interface path of every present trigger device (at most 127,
    // each at most 260 characters) and returns how many were found.
    int FindTriggerDevices(std::vector<std::string>& paths);
    bool OpenTrigger(const std::string& path);
    bool CloseTrigger();
    // Sends the packet and takes the reply into it. On a failure the poll
    // timer is stopped, the operator told, and the port closed.
    bool SendTriggerPacket();
    // The poll timer's tick.
    void TriggerPoll();

    bool IsOpen() const { return handle_ != kInvalidDriverHandle; }
    const std::array<std::uint8_t, 8>& Packet() const { return packet_; }
    bool Input1Latched() const { return input1Latched_; }
    bool Input2Latched() const { return input2Latched_; }

  private:
    DriverPort& port_;
    OperatorPrompts& prompts_;
    TriggerPortListener* listener_ = nullptr;
    DriverHandle handle_ = kInvalidDriverHandle;
    std::array<std::uint8_t, 8> packet_{};
    bool input1Latched_ = false;
    bool input2Latched_ = false;
};

}  // namespace orvik
