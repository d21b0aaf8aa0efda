#include "base/crc32.h"

#include <array>
#include <cstddef>

namespace orvik {
namespace {

// Eight tables, so that the CRC takes eight bytes a step: a journal or a
// collection of 10,000 traces is 120 MB, and a byte a step would be most of
// the time it takes to read one.
using CrcTables = std::array<std::array<std::uint32_t, 256>, 8>;

constexpr CrcTables MakeCrcTables() {
    CrcTables tables{};
    for (std::uint32_t n = 0; n < 256; ++n) {
        std::uint32_t c = n;
        for (int bit = 0; bit < 8; ++bit) {
            c = (c & 1U) != 0 ? 0xEDB88320U ^ (c >> 1) : c >> 1;
        }
        tables[0][n] = c;
    }
    for (std::size_t k = 1; k < tables.size(); ++k) {
        for (std::uint32_t n = 0; n < 256; ++n) {
            const std::uint32_t previous = tables[k - 1][n];
            tables[k][n] = (previous >> 8) ^ tables[0][previous & 0xFFU];
        }
    }
    return tables;
}

constexpr CrcTables kCrcTables = MakeCrcTables();

std::uint32_t LoadUint32(const std::uint8_t* bytes) {
    return static_cast<std::uint32_t>(bytes[0]) | static_cast<std::uint32_t>(bytes[1]) << 8 |
           static_cast<std::uint32_t>(bytes[2]) << 16 | static_cast<std::uint32_t>(bytes[3]) << 24;
}

}  // namespace

void Crc32Accumulator::Add(std::span<const std::uint8_t> bytes) {
    const auto& t = kCrcTables;
    std::uint32_t crc = state_;
    std::size_t at = 0;
    for (; at + 8 <= bytes.size(); at += 8) {
        const std::uint32_t low = crc ^ LoadUint32(bytes.data() + at);
        const std::uint32_t high = LoadUint32(bytes.data() + at + 4);
        crc = t[7][low & 0xFFU] ^ t[6][(low >> 8) & 0xFFU] ^ t[5][(low >> 16) & 0xFFU] ^
              t[4][low >> 24] ^ t[3][high & 0xFFU] ^ t[2][(high >> 8) & 0xFFU] ^
              t[1][(high >> 16) & 0xFFU] ^ t[0][high >> 24];
    }
    for (; at < bytes.size(); ++at) {
        crc = t[0][(crc ^ bytes[at]) & 0xFFU] ^ (crc >> 8);
    }
    state_ = crc;
}

std::uint32_t Crc32(std::span<const std::uint8_t> bytes) {
    Crc32Accumulator crc;
    crc.Add(bytes);
    return crc.Value();
}

}  // namespace orvik
