#pragma once

// Builds expected byte streams by hand, independently of the archive code
// under test, so that a fault in the encoder cannot hide in both sides.
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

namespace orvik::testing {

class ByteBuilder {
  public:
    ByteBuilder& U8(std::uint8_t value) {
        bytes_.push_back(value);
        return *this;
    }
    ByteBuilder& U16(std::uint16_t value) {
        U8(value & 0xFF);
        return U8(value >> 8);
    }
    ByteBuilder& I32(std::int32_t value) {
        const auto bits = static_cast<std::uint32_t>(value);
        for (int shift = 0; shift < 32; shift += 8) {
            U8((bits >> shift) & 0xFF);
        }
        return *this;
    }
    ByteBuilder& Double(double value) {
        std::uint64_t bits;
        std::memcpy(&bits, &value, 8);
        for (int shift = 0; shift < 64; shift += 8) {
            U8((bits >> shift) & 0xFF);
        }
        return *this;
    }
    // A string with the prefix its length calls for.
    ByteBuilder& Str(const std::string& text) {
        if (text.size() < 255) {
            U8(static_cast<std::uint8_t>(text.size()));
        } else if (text.size() < 0xFFFE) {
            U8(0xFF).U16(static_cast<std::uint16_t>(text.size()));
        } else {
            U8(0xFF).U16(0xFFFF).I32(static_cast<std::int32_t>(text.size()));
        }
        return Chars(text);
    }
    ByteBuilder& Chars(const std::string& text) {
        bytes_.insert(bytes_.end(), text.begin(), text.end());
        return *this;
    }
    ByteBuilder& Append(const std::vector<std::uint8_t>& more) {
        bytes_.insert(bytes_.end(), more.begin(), more.end());
        return *this;
    }
    // The payload of a criterion in its stored order.
    ByteBuilder& CriterionPayload(std::int32_t id, const std::string& name, double target,
                                  double error, double maximum, double minimum, double end,
                                  double start, std::int32_t doubleEnded) {
        return I32(id)
            .Str(name)
            .Double(target)
            .Double(error)
            .Double(maximum)
            .Double(minimum)
            .Double(end)
            .Double(start)
            .I32(doubleEnded);
    }
    ByteBuilder& DefaultCriterionPayload() {
        return CriterionPayload(0, "Unnamed Criteria", 50, 10, 55, 45, 7, 4, 0);
    }

    const std::vector<std::uint8_t>& Bytes() const { return bytes_; }
    std::size_t Size() const { return bytes_.size(); }

  private:
    std::vector<std::uint8_t> bytes_;
};

}  // namespace orvik::testing
