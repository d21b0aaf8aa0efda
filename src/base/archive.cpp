#include "base/archive.h"

#include <bit>
#include <cstring>

namespace orvik {

static_assert(std::endian::native == std::endian::little,
              "the archive copies little-endian values straight from memory");

Archive Archive::ForStoring(std::size_t reserveBytes) {
    Archive archive(true);
    archive.output_.reserve(reserveBytes);
    return archive;
}

namespace {
constexpr std::size_t kSinkChunk = 1 << 20;
}

Archive Archive::ForStoring(Sink sink) {
    Archive archive(true);
    archive.sink_ = std::move(sink);
    archive.output_.reserve(kSinkChunk + 64 * 1024);
    return archive;
}

void Archive::Flush() {
    if (sink_ && !output_.empty()) {
        sink_(output_);
        output_.clear();
    }
}

Archive Archive::ForLoading(std::span<const std::uint8_t> bytes) {
    Archive archive(false);
    archive.input_ = bytes;
    return archive;
}

void Archive::WriteRaw(const void* data, std::size_t size) {
    const auto* bytes = static_cast<const std::uint8_t*>(data);
    output_.insert(output_.end(), bytes, bytes + size);
    if (sink_ && output_.size() >= kSinkChunk) {
        Flush();
    }
}

void Archive::WriteInt32(std::int32_t value) {
    WriteRaw(&value, sizeof value);
}

void Archive::WriteDouble(double value) {
    WriteRaw(&value, sizeof value);
}

void Archive::WriteString(std::string_view text) {
    const std::size_t length = text.size();
    if (length < 0xFF) {
        output_.push_back(static_cast<std::uint8_t>(length));
    } else if (length < 0xFFFE) {
        const std::uint16_t shortLength = static_cast<std::uint16_t>(length);
        output_.push_back(0xFF);
        WriteRaw(&shortLength, sizeof shortLength);
    } else {
        const std::uint16_t escape = 0xFFFF;
        const std::uint32_t longLength = static_cast<std::uint32_t>(length);
        output_.push_back(0xFF);
        WriteRaw(&escape, sizeof escape);
        WriteRaw(&longLength, sizeof longLength);
    }
    WriteRaw(text.data(), length);
}

void Archive::RequireRemaining(std::size_t size, const char* what) const {
    if (size > Remaining()) {
        throw ArchiveError(ArchiveError::Kind::EndOfFile,
                           std::string("unexpected end of data reading ") + what);
    }
}

void Archive::ReadRaw(void* data, std::size_t size) {
    RequireRemaining(size, "a value");
    if (size != 0) {
        std::memcpy(data, input_.data() + position_, size);
    }
    position_ += size;
}

std::int32_t Archive::ReadInt32() {
    std::int32_t value;
    ReadRaw(&value, sizeof value);
    return value;
}

double Archive::ReadDouble() {
    double value;
    ReadRaw(&value, sizeof value);
    return value;
}

// Reads one length prefix. The two-byte value 0xFFFE after 0xFF announces a
// string of two-byte characters whose own prefix follows; it may not repeat.
std::uint32_t Archive::ReadLengthPrefix(bool* wide) {
    std::uint8_t first;
    ReadRaw(&first, 1);
    if (first < 0xFF) {
        return first;
    }
    std::uint16_t second;
    ReadRaw(&second, 2);
    if (second == 0xFFFE) {
        if (*wide) {
            throw ArchiveError(ArchiveError::Kind::BadFormat, "repeated wide-string marker");
        }
        *wide = true;
        return ReadLengthPrefix(wide);
    }
    if (second < 0xFFFF) {
        return second;
    }
    std::uint32_t longLength;
    ReadRaw(&longLength, 4);
    return longLength;
}

std::string Archive::ReadString() {
    bool wide = false;
    const std::uint32_t length = ReadLengthPrefix(&wide);
    const std::size_t byteCount = wide ? std::size_t{length} * 2 : length;
    RequireRemaining(byteCount, "a string");
    const std::uint8_t* source = input_.data() + position_;
    position_ += byteCount;
    if (!wide) {
        return std::string(reinterpret_cast<const char*>(source), length);
    }
    // Two-byte characters become single bytes; those beyond one byte cannot be
    // kept and become '?', as a code-page conversion would make them.
    std::string text(length, '\0');
    for (std::uint32_t i = 0; i < length; ++i) {
        const unsigned code = source[2 * i] | (unsigned{source[2 * i + 1]} << 8);
        text[i] = code <= 0xFF ? static_cast<char>(code) : '?';
    }
    return text;
}

void Archive::Int32(std::int32_t& value) {
    if (storing_) {
        WriteInt32(value);
    } else {
        value = ReadInt32();
    }
}

void Archive::Double(double& value) {
    if (storing_) {
        WriteDouble(value);
    } else {
        value = ReadDouble();
    }
}

void Archive::String(std::string& text) {
    if (storing_) {
        WriteString(text);
    } else {
        text = ReadString();
    }
}

}  // namespace orvik
