#include "chart/colour_text.h"

namespace orvik {
namespace {

char CodeByte(std::uint32_t component) {
    return static_cast<char>(component < 255 ? component + 1 : 255);
}

}  // namespace

std::string ColourText(std::string_view text, std::uint32_t colour) {
    std::string coded;
    coded.reserve(kColourCodeSize + text.size());
    coded += kColourCodeMark;
    coded += CodeByte(colour & 0xFF);
    coded += CodeByte((colour >> 8) & 0xFF);
    coded += CodeByte((colour >> 16) & 0xFF);
    coded += text;
    return coded;
}

std::string PlainText(std::string_view text) {
    std::string plain;
    plain.reserve(text.size());
    for (std::size_t i = 0; i < text.size();) {
        if (text[i] == kColourCodeMark) {
            i += kColourCodeSize;  // a code cut short at the end goes with it
            continue;
        }
        plain += text[i++];
    }
    return plain;
}

std::uint32_t DecodeColourCode(std::string_view code) {
    std::uint32_t colour = 0;
    for (std::size_t i = 0; i < 3 && i < code.size(); ++i) {
        const auto stored = static_cast<std::uint8_t>(code[i]);
        const std::uint32_t component = stored > 0 ? stored - 1u : 0u;
        colour |= component << (8 * i);
    }
    return colour;
}

}  // namespace orvik
