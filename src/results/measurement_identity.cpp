#include "results/measurement_identity.h"

#include <cstdio>
#include <vector>

#include "base/archive.h"
#include "collection/trace_record.h"

namespace orvik::results {
namespace {

std::uint32_t RotateLeft(std::uint32_t value, int bits) {
    return (value << bits) | (value >> (32 - bits));
}

void Sha1Block(std::array<std::uint32_t, 5>& state, const std::uint8_t* block) {
    std::array<std::uint32_t, 80> w{};
    for (int i = 0; i < 16; ++i) {
        w[i] = static_cast<std::uint32_t>(block[4 * i]) << 24 |
               static_cast<std::uint32_t>(block[4 * i + 1]) << 16 |
               static_cast<std::uint32_t>(block[4 * i + 2]) << 8 | block[4 * i + 3];
    }
    for (int i = 16; i < 80; ++i) {
        w[i] = RotateLeft(w[i - 3] ^ w[i - 8] ^ w[i - 14] ^ w[i - 16], 1);
    }
    std::uint32_t a = state[0], b = state[1], c = state[2], d = state[3], e = state[4];
    for (int i = 0; i < 80; ++i) {
        std::uint32_t f = 0;
        std::uint32_t k = 0;
        if (i < 20) {
            f = (b & c) | (~b & d);
            k = 0x5A827999;
        } else if (i < 40) {
            f = b ^ c ^ d;
            k = 0x6ED9EBA1;
        } else if (i < 60) {
            f = (b & c) | (b & d) | (c & d);
            k = 0x8F1BBCDC;
        } else {
            f = b ^ c ^ d;
            k = 0xCA62C1D6;
        }
        const std::uint32_t next = RotateLeft(a, 5) + f + e + k + w[i];
        e = d;
        d = c;
        c = RotateLeft(b, 30);
        b = a;
        a = next;
    }
    state[0] += a;
    state[1] += b;
    state[2] += c;
    state[3] += d;
    state[4] += e;
}

// Orvik's namespace for measurement names (itself a random UUID, fixed forever).
constexpr std::array<std::uint8_t, 16> kMeasurementNamespace = {
    0x6f, 0x72, 0x76, 0x69, 0x6b, 0x2d, 0x4d, 0x56, 0x8e, 0x33, 0x30, 0x30, 0x2d, 0x74, 0x64, 0x72};

}  // namespace

std::array<std::uint8_t, 20> Sha1(std::span<const std::uint8_t> bytes) {
    std::array<std::uint32_t, 5> state = {0x67452301, 0xEFCDAB89, 0x98BADCFE, 0x10325476,
                                          0xC3D2E1F0};
    const std::size_t whole = bytes.size() / 64 * 64;
    for (std::size_t offset = 0; offset < whole; offset += 64) {
        Sha1Block(state, bytes.data() + offset);
    }
    // The tail, the 0x80 marker and the length in bits fill one or two blocks.
    std::array<std::uint8_t, 128> tail{};
    const std::size_t rest = bytes.size() - whole;
    std::copy(bytes.begin() + static_cast<std::ptrdiff_t>(whole), bytes.end(), tail.begin());
    tail[rest] = 0x80;
    const std::size_t tailSize = rest < 56 ? 64 : 128;
    const std::uint64_t bits = static_cast<std::uint64_t>(bytes.size()) * 8;
    for (int i = 0; i < 8; ++i) {
        tail[tailSize - 1 - i] = static_cast<std::uint8_t>(bits >> (8 * i));
    }
    for (std::size_t offset = 0; offset < tailSize; offset += 64) {
        Sha1Block(state, tail.data() + offset);
    }
    std::array<std::uint8_t, 20> digest{};
    for (int i = 0; i < 20; ++i) {
        digest[i] = static_cast<std::uint8_t>(state[i / 4] >> (24 - 8 * (i % 4)));
    }
    return digest;
}

std::string NameBasedUuid(std::span<const std::uint8_t> name) {
    std::vector<std::uint8_t> input(kMeasurementNamespace.begin(), kMeasurementNamespace.end());
    input.insert(input.end(), name.begin(), name.end());
    std::array<std::uint8_t, 20> digest = Sha1(input);
    digest[6] = static_cast<std::uint8_t>((digest[6] & 0x0F) | 0x50);  // version 5
    digest[8] = static_cast<std::uint8_t>((digest[8] & 0x3F) | 0x80);  // RFC 4122 variant
    std::string text;
    text.reserve(36);
    char hex[3];
    for (int i = 0; i < 16; ++i) {
        if (i == 4 || i == 6 || i == 8 || i == 10) {
            text += '-';
        }
        std::snprintf(hex, sizeof hex, "%02x", digest[i]);
        text += hex;
    }
    return text;
}

std::string MeasurementUuid(const TraceRecord& trace) {
    Archive archive = Archive::ForStoring(64 + trace.Samples.size() * sizeof(TraceSample));
    const_cast<TraceRecord&>(trace).Serialize(archive);  // storing leaves the trace as it is
    return NameBasedUuid(archive.Bytes());
}

}  // namespace orvik::results
