#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace orvik {

// A device-interface class identifier, as a driver publishes it.
struct Guid {
    std::uint32_t data1 = 0;
    std::uint16_t data2 = 0;
    std::uint16_t data3 = 0;
    std::array<std::uint8_t, 8> data4{};

    bool operator==(const Guid&) const = default;
    // "{AE18AA60-7F6A-11D4-97DD-00010229B959}"
    std::string ToString() const;
};

// The interface class of the MV300's USB driver.
inline constexpr Guid kInstrumentInterfaceGuid{
    0xAE18AA60, 0x7F6A, 0x11D4, {0x97, 0xDD, 0x00, 0x01, 0x02, 0x29, 0xB9, 0x59}};
// The interface class of the trigger port's driver.
inline constexpr Guid kTriggerInterfaceGuid{
    0xB5157D69, 0x75F8, 0x11D3, {0x8C, 0xE0, 0x00, 0x20, 0x78, 0x15, 0xE6, 0x11}};

using DriverHandle = std::int64_t;
inline constexpr DriverHandle kInvalidDriverHandle = -1;

// Operating-system error codes that the instrument code and the drivers below
// it exchange. The values are those of the platform the drivers were written
// for, so that a real driver port can pass its codes through unchanged.
namespace os_error {
inline constexpr std::uint32_t kSuccess = 0;
inline constexpr std::uint32_t kInvalidFunction = 1;
inline constexpr std::uint32_t kFileNotFound = 2;
inline constexpr std::uint32_t kAccessDenied = 5;
inline constexpr std::uint32_t kBadFormat = 11;
inline constexpr std::uint32_t kInvalidHandle = 6;
inline constexpr std::uint32_t kGeneralFailure = 31;
inline constexpr std::uint32_t kSharingViolation = 32;
inline constexpr std::uint32_t kInvalidParameter = 87;
inline constexpr std::uint32_t kSemaphoreTimeout = 121;
inline constexpr std::uint32_t kInsufficientBuffer = 122;
inline constexpr std::uint32_t kOperationAborted = 995;
inline constexpr std::uint32_t kIoIncomplete = 996;
inline constexpr std::uint32_t kIoPending = 997;
inline constexpr std::uint32_t kDeviceNotConnected = 1167;
}  // namespace os_error

// The system's text for an error code, as the platform words it.
std::string SystemErrorText(std::uint32_t error);

struct OpenOptions {
    bool shared = true;      // others may read and write the device meanwhile
    bool overlapped = true;  // requests may be started and waited for
};

struct OpenResult {
    DriverHandle handle = kInvalidDriverHandle;
    std::uint32_t error = os_error::kSuccess;
};

// How an I/O-control request ended.
struct IoResult {
    bool ok = false;
    std::uint32_t bytesReturned = 0;
    std::uint32_t error = os_error::kSuccess;
};

using RequestId = std::uint64_t;

// The start of an overlapped request. `error` is 0 when the request has
// already completed, kIoPending when it runs on, and anything else when it
// could not be started (then there is no request to wait for or finish).
struct IoStart {
    std::uint32_t error = os_error::kSuccess;
    RequestId request = 0;
};

// Everything the instrument and trigger-port code needs from the operating
// system and the drivers: finding device interfaces, opening and closing them,
// and I/O-control requests. All bytes of the requests are built and read above
// this line; a port only carries them.
//
// The input of a request is writable because the instrument's driver reports
// its status words in the transfer header it was given. Input and output may
// be the same bytes. Buffers passed to StartIoControl must stay alive until
// FinishIoControl has been called for the request.
class DriverPort {
  public:
    virtual ~DriverPort() = default;

    // Interface paths of the present devices exposing `guid`, in member order.
    virtual std::vector<std::string> EnumerateInterfaces(const Guid& guid) = 0;

    virtual OpenResult Open(const std::string& path, OpenOptions options) = 0;
    // kSuccess when the handle was closed, else the error.
    virtual std::uint32_t Close(DriverHandle handle) = 0;

    // A synchronous request.
    virtual IoResult IoControl(DriverHandle handle, std::uint32_t code,
                               std::span<std::uint8_t> input, std::span<std::uint8_t> output) = 0;

    // An overlapped request: started here, waited for, then finished.
    virtual IoStart StartIoControl(DriverHandle handle, std::uint32_t code,
                                   std::span<std::uint8_t> input,
                                   std::span<std::uint8_t> output) = 0;
    // True once the request has completed; false when `timeoutMs` passed
    // first. Without a time-out the wait lasts until the request completes.
    virtual bool WaitIoControl(RequestId request, std::optional<std::int64_t> timeoutMs) = 0;
    // The result of a request without waiting for it; the request is
    // forgotten afterwards. Finishing a request that has not completed gives
    // it up: it fails, and the port no longer touches its buffers.
    virtual IoResult FinishIoControl(RequestId request) = 0;

    // The system's text for an error code, as shown to the operator.
    virtual std::string ErrorText(std::uint32_t error) = 0;

    // Why no instrument could be opened just now, in the operator's words,
    // when the port knows more than that none is attached: one is attached
    // that this user may not open, another program uses it, or the one this
    // program used has gone. Empty otherwise.
    virtual std::string InstrumentProblem() { return {}; }
};

}  // namespace orvik
