#pragma once

#include <chrono>
#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "base/diagnostic_log.h"
#include "base/failure.h"
#include "instrument/driver_port.h"
#include "usb/usb_settings.h"

struct libusb_context;
struct libusb_device;
struct libusb_device_handle;
struct libusb_transfer;

namespace orvik {

struct UsbTransferRequest;

// One MV300 on the bus, as the operator is shown it.
struct AttachedInstrument {
    int bus = 0;
    int address = 0;
    UsbId id;
    std::string serial;           // empty when the device could not be asked
    bool programRunning = false;  // its controller reports the running release

    // "MV300 on bus 1, address 7, serial 0300-0042"
    std::string Describe() const;
};

// The instrument's and the trigger port's drivers on Linux, over libusb-1.0.
//
// The driver requests the instrument code sends are served the way the
// instrument's own driver serves them: control, bulk and interrupt transfers
// in the buffered and the direct form (libusb moves data straight to the
// caller, so the driver version reported is the first direct one), abort
// pipe as a cancel of the pipe's transfers, reset pipe as a clear-halt, and
// the overlapped form as asynchronous transfers whose wait handles libusb's
// events. The trigger port's 8-byte request is a control transfer with the
// configured setup.
//
// Which devices are which comes from the vendor and product ids in
// UsbSettings. After the instrument's controller was released to run its new
// program, the instrument leaves the bus and comes back with its running id:
// the next search for it waits for that, up to renumerationWaitMs.
//
// Calls come from one thread at a time (the program serialises them).
class LibusbDriverPort : public DriverPort {
  public:
    static Result<std::unique_ptr<LibusbDriverPort>> Create(UsbSettings settings);
    ~LibusbDriverPort() override;

    std::vector<std::string> EnumerateInterfaces(const Guid& guid) override;
    OpenResult Open(const std::string& path, OpenOptions options) override;
    std::uint32_t Close(DriverHandle handle) override;
    IoResult IoControl(DriverHandle handle, std::uint32_t code, std::span<std::uint8_t> input,
                       std::span<std::uint8_t> output) override;
    IoStart StartIoControl(DriverHandle handle, std::uint32_t code, std::span<std::uint8_t> input,
                           std::span<std::uint8_t> output) override;
    bool WaitIoControl(RequestId request, std::optional<std::int64_t> timeoutMs) override;
    IoResult FinishIoControl(RequestId request) override;
    std::string ErrorText(std::uint32_t error) override { return SystemErrorText(error); }

    // The instruments on the bus now, in bus and address order.
    std::vector<AttachedInstrument> Instruments();
    // The instrument last opened, if any has been.
    std::optional<AttachedInstrument> InstrumentInUse() const;

    const UsbSettings& Settings() const { return settings_; }
    void SetLog(DiagnosticLog& log) { log_ = &log; }
    // Requests started and not yet finished, and those given up that libusb
    // still holds.
    std::size_t PendingRequests() const;

    // "/dev/bus/usb/001/007"
    static std::string PathOf(int bus, int address);

  private:
    using Request = UsbTransferRequest;
    struct Connection;
    enum class Kind { Instrument, Trigger };
    using SteadyTime = std::chrono::steady_clock::time_point;

    LibusbDriverPort(libusb_context* context, UsbSettings settings);

    std::vector<AttachedInstrument> Matching(Kind kind);
    void WaitForRenumeration();
    Connection* Find(DriverHandle handle);
    IoResult Query(Connection& connection, std::uint32_t code, std::span<std::uint8_t> output);
    IoResult TriggerRequest(Connection& connection, std::span<std::uint8_t> input,
                            std::span<std::uint8_t> output);
    IoResult PipeRequest(DriverHandle handle, Connection& connection, std::uint32_t code,
                         std::span<std::uint8_t> input);
    IoStart Submit(DriverHandle handle, std::unique_ptr<Request> request);
    IoResult RunToCompletion(DriverHandle handle, std::unique_ptr<Request> request,
                             std::int64_t timeoutMs);
    bool HandleEventsUntil(const int& completed, std::optional<SteadyTime> deadline);
    void CancelRequests(DriverHandle handle, std::optional<std::uint8_t> endpoint);
    void Completed(Request& request, libusb_transfer& transfer);
    static void TransferCallback(libusb_transfer* transfer);
    void WaitForAbandoned(DriverHandle handle);
    void SweepAbandoned();

    libusb_context* context_;
    UsbSettings settings_;
    DiagnosticLog* log_ = &DiagnosticLog::Null();

    std::map<DriverHandle, std::unique_ptr<Connection>> connections_;
    DriverHandle nextHandle_ = 1;
    std::map<RequestId, std::unique_ptr<Request>> requests_;
    std::vector<std::unique_ptr<Request>> abandoned_;
    RequestId nextRequest_ = 1;

    // The instrument that left the bus to start its new program, and until
    // when it may take to come back.
    struct Departure {
        int bus = 0;
        int address = 0;
        SteadyTime deadline;
    };
    std::optional<Departure> departure_;

    mutable std::mutex inUseMutex_;
    std::optional<AttachedInstrument> inUse_;
};

// The driver port for a real instrument: libusb's, or, where USB devices
// cannot be reached at all (no usbfs), one that finds nothing, so that the
// program behaves as with no instrument attached. `problem` says why then.
struct RealDriverPort {
    std::unique_ptr<DriverPort> port;
    LibusbDriverPort* usb = nullptr;  // the port when it is libusb's
    std::string problem;
};
RealDriverPort OpenRealDriverPort(const UsbSettings& settings);

}  // namespace orvik
