#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

#include "base/clock.h"
#include "instrument/usb_device.h"

namespace orvik {

inline constexpr std::size_t kCommandSize = 62;
inline constexpr std::size_t kStorePageSize = 32;
inline constexpr std::size_t kSampleBlockBytes = 2048;
using StorePage = std::array<std::uint8_t, kStorePageSize>;
using CommandPacket = std::array<std::uint8_t, kCommandSize>;

// Command codes of the instrument's firmware.
namespace instrument_command {
inline constexpr std::uint8_t kRegisterWrite = 0x58;  // 'X'
inline constexpr std::uint8_t kAcquireBlock = 0xA5;
inline constexpr std::uint8_t kReadPage = 0xC3;
inline constexpr std::uint8_t kWritePage = 0xC6;
inline constexpr std::uint8_t kBeginFpgaLoad = 0x53;  // 'S'
}  // namespace instrument_command

// Data endpoints beside the command pipe.
inline constexpr std::uint8_t kSampleEndpoint = 0x88;
inline constexpr std::uint8_t kFpgaEndpoint = 0x04;
// The parameter of every acquire-block command.
inline constexpr std::uint8_t kAcquireBlockParameter = 4;

// What came back from one command exchange.
struct CommandReply {
    bool written = false;   // the command went out on bulk OUT
    bool received = false;  // a reply came back on bulk IN
    std::uint32_t bytesReceived = 0;
    CommandPacket bytes{};  // zero beyond what was received

    bool Ok() const { return written && received; }
};

// A 62-byte command: the code, 0, then the parameters (at most 60 bytes).
CommandPacket BuildCommand(std::uint8_t code, std::span<const std::uint8_t> parameters);

// The instrument link: command packets over the first bulk OUT and bulk IN
// endpoints of the instrument, the store pages and the sample blocks.
class InstrumentLink {
  public:
    static constexpr std::int64_t kRegisterPauseMs = 10;
    static constexpr std::int64_t kWritePagePauseMs = 50;

    InstrumentLink(CUsbDevice& device, Clock& clock, std::uint8_t deviceIndex = 0)
        : device_(device), clock_(clock), deviceIndex_(deviceIndex) {}

    CUsbDevice& Device() { return device_; }
    Clock& GetClock() { return clock_; }
    std::uint8_t DeviceIndex() const { return deviceIndex_; }

    // On the open device: abort and reset both command pipes, write the
    // command, and read the reply only if the write succeeded.
    CommandReply Exchange(std::uint8_t code, std::span<const std::uint8_t> parameters = {});

    // On the open device: sends the value, then pauses 10 ms whatever
    // happened. The 16-bit value of the reply, or -1 when a transfer failed.
    int RegisterWrite(std::uint16_t value);

    // Opens the device, reads the page, closes the device. The destination is
    // written only when the whole page came back; false otherwise.
    bool ReadPage(std::uint8_t page, std::span<std::uint8_t, kStorePageSize> destination);
    // Opens the device, writes the page, closes the device and pauses 50 ms.
    // False when the device could not be opened or a transfer failed.
    bool WritePage(std::uint8_t page, std::span<const std::uint8_t, kStorePageSize> source);

    // On the open device: one acquire-block command and, when it was
    // answered, one read of up to 2048 bytes from the sample endpoint. The
    // samples received (signed 16-bit, low byte first); empty when a step
    // failed.
    std::vector<std::int16_t> AcquireBlock();

  private:
    void ResetCommandPipes();

    CUsbDevice& device_;
    Clock& clock_;
    std::uint8_t deviceIndex_;
};

}  // namespace orvik
