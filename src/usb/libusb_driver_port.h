#pragma once

#include <chrono>
#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <set>
#include <string>
#include <utility>
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

// Whether this user and this program may use a device on the bus.
enum class DeviceAccess {
    Available,     // it can be opened and its interface claimed
    NoPermission,  // its device node may not be opened (no udev rule)
    InUse,         // another program has claimed it
    Unknown,       // it could not be opened for another reason
};
// "available", "no permission", "in use by another program", "unknown"
const char* DeviceAccessName(DeviceAccess access);

// One MV300 on the bus, as the operator is shown it.
struct AttachedInstrument {
    int bus = 0;
    int address = 0;
    // The hub port it is plugged into, "1-4.2" (bus, then the port of each
    // hub on the way); it keeps this while it leaves the bus and comes back,
    // as after its program upload. Empty when the system does not say.
    std::string port;
    UsbId id;
    std::string serial;           // empty when the device could not be asked
    bool programRunning = false;  // its controller reports the running release
    DeviceAccess access = DeviceAccess::Unknown;

    // "MV300 on bus 1, address 7 (USB port 1-4.2), serial 0300-0042"
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
// the next search for it waits, up to renumerationWaitMs, for a device on the
// same hub port that was not on the bus before the release.
//
// One instrument serves the whole session: the first the search finds that
// can be opened (in hub port order, or the one with UsbSettings::serial),
// claimed from then on so that no other program can take it between two
// operations. The search then only ever finds that instrument, followed by
// its serial number and port when it leaves the bus and comes back; when it
// is gone, nothing is found and InstrumentProblem() says so, so acquisitions
// never move silently to another instrument.
//
// The port refuses to load the simulated MV300's controller program (it
// carries kSimulatedControllerTag) into any device: the upload fails with
// kBadFormat and the controller stays held until the next upload.
//
// Calls come from one thread at a time (the program serialises them), except
// InstrumentInUse() and InstrumentSummary(), which any thread may ask.
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
    // The system's texts, with what to do when access was refused.
    std::string ErrorText(std::uint32_t error) override;
    std::string InstrumentProblem() override;

    // The instruments on the bus now, in hub port order, each with whether
    // it can be used (this port's own instrument counts as available).
    std::vector<AttachedInstrument> Instruments();
    // The instrument this session uses, where it was last seen, if one has
    // been opened.
    std::optional<AttachedInstrument> InstrumentInUse() const;
    // One line for the status bar: the instrument in use (and how many are
    // attached when there are several), or why none can be used; empty when
    // none has been found.
    std::string InstrumentSummary() const;

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
    struct Candidate;
    // The session's instrument, open, its interface claimed.
    struct Claim {
        libusb_device_handle* handle = nullptr;
        std::map<std::uint8_t, std::uint8_t> endpointTypes;
        int users = 0;  // connections open on it
    };
    enum class Kind { Instrument, Trigger };
    using SteadyTime = std::chrono::steady_clock::time_point;
    using Place = std::pair<int, int>;  // bus, address

    LibusbDriverPort(libusb_context* context, UsbSettings settings);

    std::vector<Candidate> Candidates(Kind kind, std::span<libusb_device*> devices);
    std::vector<AttachedInstrument> Matching(Kind kind);
    std::set<Place> InstrumentPlaces();
    void WaitForRenumeration();
    std::vector<std::string> InstrumentPaths();
    void ClaimInstrument(const std::vector<Candidate>& candidates);
    bool Wanted(const AttachedInstrument& device) const;
    std::string Unclaimed(const std::vector<AttachedInstrument>& attached,
                          const std::vector<std::pair<AttachedInstrument, int>>& refused) const;
    void DropClaim();
    void Publish(std::size_t attached);
    void SetProblem(std::string problem);
    bool RefusesUpload(Connection& connection, const Request& request);
    OpenResult OpenSession(DriverHandle handle);
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

    // The instrument that left the bus to start its new program: its port,
    // the instruments on the bus just before (it among them), and until when
    // it may take to come back.
    struct Departure {
        std::string port;
        std::set<Place> before;
        SteadyTime deadline;
    };
    std::optional<std::set<Place>> releasing_;  // the bus as a release was sent
    std::optional<Departure> departure_;

    // The session's instrument, open and claimed while it is on the bus.
    std::unique_ptr<Claim> claim_;
    // It, where it was last seen; set by the first claim, for good.
    std::optional<AttachedInstrument> chosen_;
    std::string problem_;
    // A controller upload was refused: everything but the next hold is.
    bool refusingUpload_ = false;

    // What other threads may ask: the instrument in use, the instruments
    // attached at the last search, and why none can be used.
    mutable std::mutex statusMutex_;
    std::optional<AttachedInstrument> inUse_;
    std::size_t attached_ = 0;
    std::string summary_;
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
