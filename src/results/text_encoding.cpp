#include "results/text_encoding.h"

namespace orvik::results {

std::string FromLatin1(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (const char c : text) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte < 0x80) {
            out += c;
        } else {
            out += static_cast<char>(0xC0 | (byte >> 6));
            out += static_cast<char>(0x80 | (byte & 0x3F));
        }
    }
    return out;
}

std::optional<std::string> ToLatin1(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        const auto byte = static_cast<unsigned char>(text[i]);
        if (byte < 0x80) {
            out += text[i];
            continue;
        }
        if ((byte & 0xFE) != 0xC2 || i + 1 >= text.size() ||
            (static_cast<unsigned char>(text[i + 1]) & 0xC0) != 0x80) {
            return std::nullopt;
        }
        out += static_cast<char>(((byte & 0x03) << 6) |
                                 (static_cast<unsigned char>(text[++i]) & 0x3F));
    }
    return out;
}

}  // namespace orvik::results
