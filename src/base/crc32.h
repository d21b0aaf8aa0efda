#pragma once

#include <cstdint>
#include <span>

namespace orvik {

// CRC-32 (IEEE 802.3, as zlib computes it) of `bytes`.
std::uint32_t Crc32(std::span<const std::uint8_t> bytes);

// The same CRC taken over bytes that arrive in pieces:
//   Crc32Accumulator crc; crc.Add(piece1); crc.Add(piece2); crc.Value();
class Crc32Accumulator {
  public:
    void Add(std::span<const std::uint8_t> bytes);
    std::uint32_t Value() const { return state_ ^ 0xFFFFFFFFU; }

  private:
    std::uint32_t state_ = 0xFFFFFFFFU;
};

}  // namespace orvik
