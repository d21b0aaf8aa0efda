#include "instrument/program_image.h"

#include <algorithm>

namespace orvik {

bool CarriesSimulatedControllerTag(std::span<const std::uint8_t> bytes) {
    const auto found = std::search(
        bytes.begin(), bytes.end(), kSimulatedControllerTag.begin(), kSimulatedControllerTag.end(),
        [](std::uint8_t byte, char c) { return byte == static_cast<std::uint8_t>(c); });
    return found != bytes.end();
}

namespace {

constexpr std::size_t kRecordHeaderChars = 8;  // count (2), address (4), type (2)
constexpr unsigned kDataRecord = 0;
constexpr unsigned kEndOfFileRecord = 1;

unsigned DigitValue(std::uint8_t c) {
    if (c >= '0' && c <= '9') {
        return c - '0';
    }
    if (c >= 'A' && c <= 'F') {
        return c - 'A' + 10;
    }
    if (c >= 'a' && c <= 'f') {
        return c - 'a' + 10;
    }
    return 0;
}

// Reads up to `count` characters from `position`; fewer at the end of the text.
std::span<const std::uint8_t> Take(std::span<const std::uint8_t> text, std::size_t& position,
                                   std::size_t count) {
    const std::size_t available = std::min(count, text.size() - position);
    const auto taken = text.subspan(position, available);
    position += available;
    return taken;
}

// A field of `width` characters at `offset` inside what was read; characters
// that were not there end it like a NUL.
unsigned FieldAt(std::span<const std::uint8_t> read, std::size_t offset, std::size_t width) {
    if (offset >= read.size()) {
        return 0;
    }
    return HexFieldValue(read.subspan(offset, std::min(width, read.size() - offset)));
}

template <std::size_t N>
void Place(std::array<std::uint8_t, N>& memory, std::size_t start,
           const std::vector<std::uint8_t>& bytes) {
    const std::size_t count = std::min(bytes.size(), N - start);
    std::copy_n(bytes.begin(), count, memory.begin() + static_cast<std::ptrdiff_t>(start));
}

}  // namespace

unsigned HexFieldValue(std::span<const std::uint8_t> field) {
    unsigned value = 0;
    for (const std::uint8_t c : field) {
        if (c == 0) {
            break;
        }
        value = value * 16 + DigitValue(c);
    }
    return value;
}

ProgramImage ParseProgramImage(std::span<const std::uint8_t> text) {
    ProgramImage image;
    if (text.size() < 9) {
        return image;
    }
    std::size_t position = 0;
    while (position <= text.size() - 9) {
        while (position < text.size() && text[position] != ':') {
            ++position;
        }
        if (position == text.size()) {
            break;
        }
        ++position;  // the ':'
        const auto header = Take(text, position, kRecordHeaderChars);
        const unsigned count = FieldAt(header, 0, 2);
        const unsigned address = FieldAt(header, 2, 4);
        const unsigned type = FieldAt(header, 6, 2);
        if (count > ProgramImage::kMaxRecordBytes || type == kEndOfFileRecord) {
            break;
        }
        if (type != kDataRecord) {
            continue;  // the scan for the next ':' passes over its content
        }
        ++image.dataRecords;
        const auto data = Take(text, position, 2 * std::size_t{count} + 2);
        std::vector<std::uint8_t> bytes(count);
        for (unsigned i = 0; i < count; ++i) {
            bytes[i] = static_cast<std::uint8_t>(FieldAt(data, 2 * std::size_t{i}, 2));
        }
        if (address < ProgramImage::kCodeSize) {
            Place(image.code, address, bytes);
        } else if (address >= ProgramImage::kHighBase &&
                   address < ProgramImage::kHighBase + ProgramImage::kHighSize) {
            Place(image.high, address - ProgramImage::kHighBase, bytes);
        }
    }
    return image;
}

std::vector<std::uint8_t> HexPairsToBytes(std::span<const std::uint8_t> text) {
    std::vector<std::uint8_t> bytes(text.size() / 2);
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        bytes[i] = static_cast<std::uint8_t>(HexFieldValue(text.subspan(2 * i, 2)));
    }
    return bytes;
}

}  // namespace orvik
