#include "base/latin1_text.h"

#include <cstdio>
#include <optional>

namespace orvik {
namespace {

void AppendUtf8(std::string& out, char32_t code) {
    if (code < 0x80) {
        out += static_cast<char>(code);
    } else if (code < 0x800) {
        out += static_cast<char>(0xC0 | (code >> 6));
        out += static_cast<char>(0x80 | (code & 0x3F));
    } else if (code < 0x10000) {
        out += static_cast<char>(0xE0 | (code >> 12));
        out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (code & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (code >> 18));
        out += static_cast<char>(0x80 | ((code >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (code & 0x3F));
    }
}

// One character of UTF-8 at `at`: its code and length, or nothing when the
// bytes there are no well-formed UTF-8 (overlong forms and surrogates are not).
struct Decoded {
    char32_t Code;
    std::size_t Length;
};

std::optional<Decoded> DecodeAt(std::string_view text, std::size_t at) {
    const auto lead = static_cast<unsigned char>(text[at]);
    if (lead < 0x80) {
        return Decoded{lead, 1};
    }
    std::size_t length = 0;
    char32_t code = 0;
    char32_t smallest = 0;
    if ((lead & 0xE0) == 0xC0) {
        length = 2, code = lead & 0x1F, smallest = 0x80;
    } else if ((lead & 0xF0) == 0xE0) {
        length = 3, code = lead & 0x0F, smallest = 0x800;
    } else if ((lead & 0xF8) == 0xF0) {
        length = 4, code = lead & 0x07, smallest = 0x10000;
    } else {
        return std::nullopt;
    }
    if (text.size() - at < length) {
        return std::nullopt;
    }
    for (std::size_t i = 1; i < length; ++i) {
        const auto next = static_cast<unsigned char>(text[at + i]);
        if ((next & 0xC0) != 0x80) {
            return std::nullopt;
        }
        code = (code << 6) | (next & 0x3F);
    }
    if (code < smallest || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF)) {
        return std::nullopt;
    }
    return Decoded{code, length};
}

}  // namespace

std::string Latin1ToUtf8(std::string_view latin1) {
    std::string out;
    out.reserve(latin1.size());
    for (const char c : latin1) {
        AppendUtf8(out, static_cast<unsigned char>(c));
    }
    return out;
}

std::optional<UnstorableText> FindUnstorable(std::string_view utf8) {
    for (std::size_t at = 0; at < utf8.size();) {
        const std::optional<Decoded> decoded = DecodeAt(utf8, at);
        if (!decoded) {
            return UnstorableText{true, static_cast<unsigned char>(utf8[at]), at};
        }
        if (decoded->Code > 0xFF) {
            return UnstorableText{false, decoded->Code, at};
        }
        at += decoded->Length;
    }
    return std::nullopt;
}

std::string UnstorableTextMessage(const UnstorableText& found) {
    char code[16];
    if (found.NotUtf8) {
        std::snprintf(code, sizeof code, "0x%02X", static_cast<unsigned>(found.Code));
        return std::string("the byte ") + code + " is not UTF-8 text";
    }
    std::snprintf(code, sizeof code, "U+%04X", static_cast<unsigned>(found.Code));
    std::string character;
    AppendUtf8(character, found.Code);
    return "the character \"" + character + "\" (" + code +
           ") cannot be stored: the files hold Latin-1 characters only";
}

Result<std::string> Utf8ToLatin1(std::string_view utf8) {
    if (const std::optional<UnstorableText> found = FindUnstorable(utf8)) {
        return Failure{UnstorableTextMessage(*found),
                       "at byte " + std::to_string(found->Offset) + " of the text"};
    }
    std::string out;
    out.reserve(utf8.size());
    for (std::size_t at = 0; at < utf8.size();) {
        const Decoded decoded = *DecodeAt(utf8, at);
        out += static_cast<char>(decoded.Code);
        at += decoded.Length;
    }
    return out;
}

}  // namespace orvik
