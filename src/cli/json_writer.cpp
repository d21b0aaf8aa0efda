#include "cli/json_writer.h"

#include <charconv>
#include <cmath>

namespace orvik {

std::string FormatDouble(double number) {
    char buffer[64];
    const auto result = std::to_chars(buffer, buffer + sizeof buffer, number);
    return std::string(buffer, result.ptr);
}

void JsonWriter::NewLine() {
    if (!pretty_) {
        return;
    }
    if (!levels_.empty() && levels_.back().compact) {
        if (levels_.back().count > 1) {
            out_ += ' ';
        }
        return;
    }
    out_ += '\n';
    out_.append(levels_.size() * 2, ' ');
}

void JsonWriter::BeforeValue() {
    if (afterKey_) {
        afterKey_ = false;
        return;
    }
    if (levels_.empty()) {
        return;
    }
    if (levels_.back().count++ > 0) {
        out_ += ',';
    }
    NewLine();
}

JsonWriter& JsonWriter::BeginObject() {
    BeforeValue();
    out_ += '{';
    levels_.push_back({true, false, 0});
    return *this;
}

JsonWriter& JsonWriter::EndObject() {
    const bool empty = levels_.back().count == 0;
    levels_.pop_back();
    if (!empty) {
        NewLine();
    }
    out_ += '}';
    return *this;
}

JsonWriter& JsonWriter::BeginArray(bool compact) {
    BeforeValue();
    out_ += '[';
    levels_.push_back({false, compact, 0});
    return *this;
}

JsonWriter& JsonWriter::EndArray() {
    const bool skipLine = levels_.back().count == 0 || levels_.back().compact;
    levels_.pop_back();
    if (!skipLine) {
        NewLine();
    }
    out_ += ']';
    return *this;
}

JsonWriter& JsonWriter::Key(std::string_view name) {
    Value(name);
    out_ += pretty_ ? ": " : ":";
    afterKey_ = true;
    return *this;
}

namespace {

// The length of the UTF-8 sequence that starts `text`, or 0 when it is not
// one (a stray byte, a sequence cut short, an overlong or surrogate form).
std::size_t Utf8Length(std::string_view text) {
    const auto byte = [&](std::size_t i) { return static_cast<unsigned char>(text[i]); };
    const unsigned char lead = byte(0);
    std::size_t length = 0;
    std::uint32_t code = 0;
    if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2;
        code = lead & 0x1FU;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3;
        code = lead & 0x0FU;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4;
        code = lead & 0x07U;
    } else {
        return 0;
    }
    if (text.size() < length) {
        return 0;
    }
    for (std::size_t i = 1; i < length; ++i) {
        if ((byte(i) & 0xC0U) != 0x80U) {
            return 0;
        }
        code = code << 6 | (byte(i) & 0x3FU);
    }
    const std::uint32_t least[] = {0, 0, 0x80, 0x800, 0x10000};
    const bool surrogate = code >= 0xD800 && code <= 0xDFFF;
    return code < least[length] || code > 0x10FFFF || surrogate ? 0 : length;
}

// One byte of a JSON string: quotes, backslashes and control characters
// escaped, and every byte above 0x7E as \u00XX.
void AppendByte(std::string& out, char c) {
    static const char* const kHex = "0123456789abcdef";
    const auto byte = static_cast<unsigned char>(c);
    switch (c) {
        case '"':
            out += "\\\"";
            break;
        case '\\':
            out += "\\\\";
            break;
        case '\n':
            out += "\\n";
            break;
        case '\r':
            out += "\\r";
            break;
        case '\t':
            out += "\\t";
            break;
        default:
            if (byte < 0x20 || byte > 0x7E) {
                out += "\\u00";
                out += kHex[byte >> 4];
                out += kHex[byte & 0xF];
            } else {
                out += c;
            }
    }
}

}  // namespace

JsonWriter& JsonWriter::Value(std::string_view text) {
    BeforeValue();
    out_ += '"';
    for (const char c : text) {
        AppendByte(out_, c);
    }
    out_ += '"';
    return *this;
}

JsonWriter& JsonWriter::PathValue(std::string_view path) {
    BeforeValue();
    out_ += '"';
    for (std::size_t at = 0; at < path.size();) {
        const std::size_t length =
            static_cast<unsigned char>(path[at]) < 0x80 ? 0 : Utf8Length(path.substr(at));
        if (length > 0) {
            out_.append(path.substr(at, length));
            at += length;
        } else {
            AppendByte(out_, path[at++]);
        }
    }
    out_ += '"';
    return *this;
}

JsonWriter& JsonWriter::Value(double number) {
    if (!std::isfinite(number)) {
        return Null();
    }
    BeforeValue();
    out_ += FormatDouble(number);
    return *this;
}

JsonWriter& JsonWriter::Value(std::int64_t number) {
    BeforeValue();
    out_ += std::to_string(number);
    return *this;
}

JsonWriter& JsonWriter::Value(bool flag) {
    BeforeValue();
    out_ += flag ? "true" : "false";
    return *this;
}

JsonWriter& JsonWriter::Null() {
    BeforeValue();
    out_ += "null";
    return *this;
}

}  // namespace orvik
