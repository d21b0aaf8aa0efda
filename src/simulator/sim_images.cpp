#include "simulator/sim_images.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <fstream>

#include "instrument/image_loading.h"

namespace orvik::sim {
namespace {

constexpr std::size_t kCodeSize = 0x4000;
constexpr std::size_t kHighSize = 0x200;
constexpr std::size_t kProgramBodySize = 0x0C00;  // the "code" after the signature
constexpr std::size_t kFpgaPayloadSize = 2900;
constexpr std::size_t kFpgaHeaderSize = 16 + 4;  // signature, payload length

// A small deterministic generator, so that every build makes the same images.
class Sequence {
  public:
    explicit Sequence(std::uint32_t seed) : state_(seed) {}
    std::uint8_t Next() {
        state_ = state_ * 1664525u + 1013904223u;
        return static_cast<std::uint8_t>(state_ >> 24);
    }

  private:
    std::uint32_t state_;
};

std::uint32_t Sum(std::span<const std::uint8_t> bytes) {
    std::uint32_t sum = 0;
    for (const std::uint8_t byte : bytes) {
        sum = sum * 31 + byte;
    }
    return sum;
}

void PutU32(std::vector<std::uint8_t>& bytes, std::uint32_t value) {
    for (int i = 0; i < 4; ++i) {
        bytes.push_back(static_cast<std::uint8_t>(value >> (8 * i)));
    }
}

std::uint32_t GetU32(std::span<const std::uint8_t> bytes, std::size_t offset) {
    std::uint32_t value = 0;
    for (int i = 3; i >= 0; --i) {
        value = (value << 8) | bytes[offset + static_cast<std::size_t>(i)];
    }
    return value;
}

struct Memories {
    std::vector<std::uint8_t> code = std::vector<std::uint8_t>(kCodeSize, 0);
    std::vector<std::uint8_t> high = std::vector<std::uint8_t>(kHighSize, 0);
};

Memories BuildProgram(std::string_view signature) {
    Memories memories;
    // A jump over the signature to the program body.
    memories.code[0] = 0x02;
    memories.code[1] = 0x02;
    memories.code[2] = 0x00;
    std::copy(signature.begin(), signature.end(), memories.code.begin() + kProgramSignatureAddress);
    Sequence sequence(0x4D563330);
    for (std::size_t i = 0; i < kProgramBodySize; ++i) {
        memories.code[0x0200 + i] = sequence.Next();
    }
    // The checksum of the code memory sits at the start of the high memory.
    const std::uint32_t sum = Sum(memories.code);
    for (int i = 0; i < 4; ++i) {
        memories.high[static_cast<std::size_t>(i)] = static_cast<std::uint8_t>(sum >> (8 * i));
    }
    return memories;
}

void AppendRecord(std::string& text, std::uint16_t address, std::span<const std::uint8_t> bytes,
                  std::uint8_t type) {
    std::uint8_t check =
        static_cast<std::uint8_t>(bytes.size() + (address >> 8) + (address & 0xFF) + type);
    char field[16];
    std::snprintf(field, sizeof field, ":%02X%04X%02X", static_cast<unsigned>(bytes.size()),
                  static_cast<unsigned>(address), static_cast<unsigned>(type));
    text += field;
    for (const std::uint8_t byte : bytes) {
        std::snprintf(field, sizeof field, "%02X", static_cast<unsigned>(byte));
        text += field;
        check = static_cast<std::uint8_t>(check + byte);
    }
    std::snprintf(field, sizeof field, "%02X\r\n", static_cast<unsigned>((0x100 - check) & 0xFF));
    text += field;
}

// Records for the non-zero 16-byte rows of a memory; the controller's memory
// is cleared before a load, so zero rows need not be sent.
void AppendMemory(std::string& text, std::uint16_t base, const std::vector<std::uint8_t>& memory) {
    for (std::size_t row = 0; row < memory.size(); row += 16) {
        const auto bytes = std::span(memory).subspan(row, 16);
        bool empty = true;
        for (const std::uint8_t byte : bytes) {
            empty = empty && byte == 0;
        }
        if (!empty) {
            AppendRecord(text, static_cast<std::uint16_t>(base + row), bytes, 0);
        }
    }
}

bool WriteText(const std::filesystem::path& path, const std::string& text) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << text;
    out.close();
    return static_cast<bool>(out);
}

}  // namespace

std::string GenerateProgramImageHex(std::string_view signature) {
    const Memories memories = BuildProgram(signature);
    std::string text;
    AppendMemory(text, 0x0000, memories.code);
    AppendMemory(text, 0xE000, memories.high);
    AppendRecord(text, 0, {}, 1);
    return text;
}

std::vector<std::uint8_t> GenerateFpgaImage() {
    std::vector<std::uint8_t> image(kFpgaSignature, kFpgaSignature + std::strlen(kFpgaSignature));
    image.resize(16, 0);
    PutU32(image, kFpgaPayloadSize);
    Sequence sequence(0x53504152);
    for (std::size_t i = 0; i < kFpgaPayloadSize; ++i) {
        image.push_back(sequence.Next());
    }
    PutU32(image, Sum(std::span(image).subspan(kFpgaHeaderSize, kFpgaPayloadSize)));
    return image;
}

std::string GenerateFpgaImageHex() {
    std::string text;
    char pair[4];
    for (const std::uint8_t byte : GenerateFpgaImage()) {
        std::snprintf(pair, sizeof pair, "%02X", static_cast<unsigned>(byte));
        text += pair;
    }
    return text;
}

bool ProgramAccepted(std::span<const std::uint8_t> code, std::span<const std::uint8_t> high,
                     std::string_view signature) {
    if (code.size() != kCodeSize || high.size() < 4 ||
        std::memcmp(code.data() + kProgramSignatureAddress, signature.data(), signature.size()) !=
            0) {
        return false;
    }
    return Sum(code) == GetU32(high, 0);
}

bool FpgaStreamAccepted(std::span<const std::uint8_t> stream) {
    const std::size_t signatureLength = std::strlen(kFpgaSignature);
    if (stream.size() < kFpgaHeaderSize + 4 ||
        std::memcmp(stream.data(), kFpgaSignature, signatureLength) != 0) {
        return false;
    }
    const std::uint32_t payload = GetU32(stream, 16);
    if (stream.size() != kFpgaHeaderSize + payload + 4) {
        return false;
    }
    return Sum(stream.subspan(kFpgaHeaderSize, payload)) ==
           GetU32(stream, kFpgaHeaderSize + payload);
}

bool WriteSimulatorImages(const std::filesystem::path& folder, std::string_view signature) {
    return WriteText(folder / kProgramImageFile, GenerateProgramImageHex(signature)) &&
           WriteText(folder / kFpgaImageFile, GenerateFpgaImageHex());
}

}  // namespace orvik::sim
