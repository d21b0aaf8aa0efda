#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>
#include <string_view>
#include <vector>

namespace orvik {

// The controller program as it is written into the instrument: the code
// memory and the small high memory block, zero wherever the file put nothing.
struct ProgramImage {
    static constexpr std::size_t kCodeSize = 0x4000;  // addresses 0x0000-0x3FFF
    static constexpr std::uint16_t kHighBase = 0xE000;
    static constexpr std::size_t kHighSize = 0x200;  // addresses 0xE000-0xE1FF
    static constexpr int kMaxRecordBytes = 127;

    std::array<std::uint8_t, kCodeSize> code{};
    std::array<std::uint8_t, kHighSize> high{};
    int dataRecords = 0;  // data records read, placed or not
};

// The words the simulated MV300's controller program carries in its code.
// That program drives the simulator alone; in an instrument's controller it
// would run into arbitrary bytes, so no driver of real hardware loads it.
inline constexpr std::string_view kSimulatedControllerTag = "ORVIK MV300 SIMULATED CONTROLLER";

// Whether `bytes` (program bytes on their way to a controller) carry the tag.
bool CarriesSimulatedControllerTag(std::span<const std::uint8_t> bytes);

// Reads Intel HEX text. Only data records (type 0) place bytes and the
// end-of-file record (type 1) ends the text; a record announcing more than
// 127 bytes also ends it. Bytes beyond the end of the memory a record starts
// in are dropped; records at other addresses are ignored; checksums are not
// verified. Hex digits are 0-9, A-F, a-f; any other character counts as 0,
// and a NUL (or the end of the text) ends a field early.
ProgramImage ParseProgramImage(std::span<const std::uint8_t> text);

// The FPGA file is plain hexadecimal text: each pair of characters is one
// byte, read by the same digit rule; an odd last character is dropped.
std::vector<std::uint8_t> HexPairsToBytes(std::span<const std::uint8_t> text);

// The value of one field of hex digits by the rule above.
unsigned HexFieldValue(std::span<const std::uint8_t> field);

}  // namespace orvik
