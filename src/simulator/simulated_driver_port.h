#pragma once

#include <array>
#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "base/clock.h"
#include "instrument/driver_port.h"
#include "simulator/simulated_mv300.h"

namespace orvik::sim {

struct SimulatorOptions {
    Mv300Options instrument;
    bool instrumentPresent = true;
    bool triggerPortPresent = true;
    // 1.5.4: older than the first driver that moves pipe data directly, so
    // pipe transfers travel behind the transfer header.
    std::uint32_t driverVersion = 0x01050400;
    std::uint32_t secondVersionWord = 0x00000001;
    std::uint8_t attributeByte = 0x01;
    std::uint8_t alternateSetting = 0;
    // How long the instrument is off the bus after its new program started,
    // before it comes back as the running instrument.
    std::int64_t renumerationDelayMs = 1500;
};

// Ways the simulated driver can let a transfer down. Transfers (control,
// buffered and direct requests on the instrument) are counted from 1.
struct TransferFault {
    enum class Kind {
        Fail,        // completes at once with an error and non-zero status words
        TimeOut,     // never completes until its pipe is aborted
        Disconnect,  // the instrument is unplugged as the transfer starts
        ShortReply,  // moves at most `shortLength` bytes (device-to-host only)
        Stuck,       // never completes, not even when its pipe is aborted;
                     // closing the handle or unplugging ends it
    };
    Kind kind = Kind::Fail;
    int transfer = 1;
    std::uint32_t shortLength = 0;
};

// The simulated MV300 as the program sees it through the operating system:
// the instrument's USB driver with the instrument behind it, and the trigger
// port's driver with its two inputs. It decodes each request as a driver
// does; a request with a wrong code, header or length fails with non-zero
// status words and never does harm. Time passes on `clock` when a request is
// waited for in vain.
class SimulatedDriverPort : public DriverPort {
  public:
    explicit SimulatedDriverPort(Clock& clock, SimulatorOptions options = {});

    std::vector<std::string> EnumerateInterfaces(const Guid& guid) override;
    OpenResult Open(const std::string& path, OpenOptions options) override;
    std::uint32_t Close(DriverHandle handle) override;
    IoResult IoControl(DriverHandle handle, std::uint32_t code, std::span<std::uint8_t> input,
                       std::span<std::uint8_t> output) override;
    IoStart StartIoControl(DriverHandle handle, std::uint32_t code, std::span<std::uint8_t> input,
                           std::span<std::uint8_t> output) override;
    bool WaitIoControl(RequestId request, std::optional<std::int64_t> timeoutMs) override;
    IoResult FinishIoControl(RequestId request) override;
    std::string ErrorText(std::uint32_t error) override;

    SimulatedMv300& Instrument() { return instrument_; }
    const SimulatorOptions& Options() const { return options_; }

    static std::string InstrumentPath();
    static std::string TriggerPath();

    // The instrument.
    void Unplug();  // gone: open handles fail, enumeration finds nothing
    void PlugIn();  // back, cold, with its store
    bool InstrumentPresent() const { return instrumentPresent_ || Returned(); }
    // Off the bus after its new program started, until it comes back.
    bool Renumerating() const { return returnAtMs_.has_value() && !Returned(); }

    // Faults.
    void AddFault(const TransferFault& fault) { faults_.push_back(fault); }
    void FailTransfer(int transfer) { AddFault({TransferFault::Kind::Fail, transfer, 0}); }
    void TimeOutTransfer(int transfer) { AddFault({TransferFault::Kind::TimeOut, transfer, 0}); }
    void DisconnectAtTransfer(int transfer) {
        AddFault({TransferFault::Kind::Disconnect, transfer, 0});
    }
    void StuckTransfer(int transfer) { AddFault({TransferFault::Kind::Stuck, transfer, 0}); }
    void ShortReplyAtTransfer(int transfer, std::uint32_t length) {
        AddFault({TransferFault::Kind::ShortReply, transfer, length});
    }
    // Every device-to-host transfer on `endpoint` moves at most `length` bytes.
    void ShortenReplies(std::uint8_t endpoint, std::optional<std::uint32_t> length);
    // Drops every fault that has not struck yet, a refused close among them.
    void ClearFaults();
    // The `close`th close of a handle from now (1: the next) is refused; the
    // handle is gone all the same.
    void FailClose(int close) { failCloseAt_ = closes_ + close; }
    void FailNextClose() { FailClose(1); }
    int TransferCount() const { return transferCount_; }
    // Requests started and not yet finished.
    std::size_t PendingRequests() const { return pending_.size(); }
    std::size_t OpenHandles() const { return handles_.size(); }

    // The trigger port: inputs 1 and 2.
    void PressInput(int input) { SetInput(input, true); }
    void ReleaseInput(int input) { SetInput(input, false); }
    bool InputPressed(int input) const;
    void SetTriggerPortPresent(bool present) { triggerPresent_ = present; }
    // The trigger request fails from now on (the port was pulled out mid-run).
    void FailTriggerRequests(bool fail) { failTrigger_ = fail; }
    int TriggerRequests() const { return triggerRequests_; }

  private:
    enum class Device { Instrument, Trigger };
    struct Handle {
        Device device;
        int connection;  // which plug-in of the instrument it was opened on
    };
    struct Pending {
        DriverHandle handle = kInvalidDriverHandle;
        std::uint8_t endpoint = 0;
        bool complete = false;
        IoResult result;
        std::span<std::uint8_t> header;  // for the status words of an aborted request
        bool stuck = false;              // an abort does not complete it
    };
    struct Outcome {
        IoResult result;
        bool waits = false;  // nothing yet: completes only when aborted
        std::uint8_t endpoint = 0;
        bool rejected = false;  // refused before it reached the device
        bool stuck = false;
    };

    Outcome Dispatch(DriverHandle handle, std::uint32_t code, std::span<std::uint8_t> input,
                     std::span<std::uint8_t> output);
    Outcome InstrumentRequest(std::uint32_t code, std::span<std::uint8_t> input,
                              std::span<std::uint8_t> output);
    Outcome TriggerRequest(std::uint32_t code, std::span<std::uint8_t> input,
                           std::span<std::uint8_t> output);
    Outcome Transfer(std::uint32_t code, std::span<std::uint8_t> input,
                     std::span<std::uint8_t> output);
    Outcome PipeRequest(std::uint32_t code, std::span<std::uint8_t> input);
    std::optional<TransferFault> TakeFault(int transfer);
    void AbortEndpoint(DriverHandle handle, std::uint8_t endpoint);
    void SetInput(int input, bool pressed);
    bool HandleAlive(const Handle& handle) const;
    void EndInstrumentRequests();
    void LeaveBusForNewProgram();
    bool Returned() const { return returnAtMs_ && clock_.NowMs() >= *returnAtMs_; }
    void ComeBackWhenDue();

    Clock& clock_;
    SimulatorOptions options_;
    SimulatedMv300 instrument_;
    bool instrumentPresent_;
    bool triggerPresent_;
    int connection_ = 1;
    std::map<DriverHandle, Handle> handles_;
    DriverHandle nextHandle_ = 100;
    std::map<RequestId, Pending> pending_;
    RequestId nextRequest_ = 1;
    std::vector<TransferFault> faults_;
    std::map<std::uint8_t, std::uint32_t> shortReplies_;
    std::optional<std::uint32_t> currentShortLength_;
    int transferCount_ = 0;
    std::array<bool, 2> inputs_{};
    bool failTrigger_ = false;
    std::optional<int> failCloseAt_;
    int closes_ = 0;
    std::optional<std::int64_t> returnAtMs_;
    int triggerRequests_ = 0;
};

}  // namespace orvik::sim
