#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

namespace orvik {

// I/O-control codes of the instrument's USB driver.
namespace usb_request {
inline constexpr std::uint32_t kDriverVersion = 0x220000;
inline constexpr std::uint32_t kSecondVersionWord = 0x220004;
inline constexpr std::uint32_t kAlternateSetting = 0x220008;
inline constexpr std::uint32_t kAttributeByte = 0x220010;
inline constexpr std::uint32_t kControlTransfer = 0x220020;
inline constexpr std::uint32_t kBufferedTransfer = 0x220024;
inline constexpr std::uint32_t kResetPipe = 0x22002C;
inline constexpr std::uint32_t kFirstDriverString = 0x22003C;
inline constexpr std::uint32_t kSecondDriverString = 0x220040;
inline constexpr std::uint32_t kAbortPipe = 0x220044;
inline constexpr std::uint32_t kDirectTransfer = 0x22004B;
}  // namespace usb_request

// Status words the instrument's driver writes into a request's header: zero
// for success, and these when a transfer did not go through.
namespace driver_status {
inline constexpr std::uint32_t kStall = 0xC0000004;
inline constexpr std::uint32_t kNotResponding = 0xC0000005;
inline constexpr std::uint32_t kTimeout = 0xC0006000;
inline constexpr std::uint32_t kDeviceGone = 0xC0007000;
inline constexpr std::uint32_t kCanceled = 0xC0010000;
inline constexpr std::uint32_t kInvalidParameter = 0x80000300;
}  // namespace driver_status

// Driver versions from this one on move pipe data straight between the
// caller's buffer and the device; older ones need it copied behind the header.
inline constexpr std::uint32_t kFirstDirectDriverVersion = 0x01050500;

// The 38-byte header that starts every request moving data through the
// instrument's driver (little-endian throughout).
struct TransferHeader {
    static constexpr std::size_t kSize = 38;

    // Setup packet, control transfers only.
    std::uint8_t requestType = 0;
    std::uint8_t request = 0;
    std::uint16_t value = 0;
    std::uint16_t index = 0;
    std::uint16_t length = 0;
    std::uint32_t timeoutSeconds = 0;  // control transfers only
    std::uint8_t flag = 0;             // always 0
    std::uint8_t endpointAddress = 0;  // 0 for control transfers
    std::uint32_t statusA = 0;         // written by the driver
    std::uint32_t statusB = 0;         // written by the driver
    std::uint32_t packetTableOffset = 0;
    std::uint32_t packetTableLength = 0;
    std::uint32_t dataOffset = 0;
    std::uint32_t dataLength = 0;

    // Both need at least kSize bytes; fewer are left alone or read as zero.
    void WriteTo(std::span<std::uint8_t> bytes) const;
    static TransferHeader ReadFrom(std::span<const std::uint8_t> bytes);

    // Where the driver puts its status words, for a driver writing them back.
    static constexpr std::size_t kStatusAOffset = 14;
    static constexpr std::size_t kStatusBOffset = 18;
};

// Little-endian helpers shared by the link code.
std::uint16_t ReadU16(std::span<const std::uint8_t> bytes, std::size_t offset);
std::uint32_t ReadU32(std::span<const std::uint8_t> bytes, std::size_t offset);
void WriteU16(std::span<std::uint8_t> bytes, std::size_t offset, std::uint16_t value);
void WriteU32(std::span<std::uint8_t> bytes, std::size_t offset, std::uint32_t value);

}  // namespace orvik
