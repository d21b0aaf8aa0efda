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

JsonWriter& JsonWriter::Value(std::string_view text) {
    BeforeValue();
    static const char* const kHex = "0123456789abcdef";
    out_ += '"';
    for (const char c : text) {
        const auto byte = static_cast<unsigned char>(c);
        switch (c) {
            case '"':
                out_ += "\\\"";
                break;
            case '\\':
                out_ += "\\\\";
                break;
            case '\n':
                out_ += "\\n";
                break;
            case '\r':
                out_ += "\\r";
                break;
            case '\t':
                out_ += "\\t";
                break;
            default:
                if (byte < 0x20 || byte > 0x7E) {
                    out_ += "\\u00";
                    out_ += kHex[byte >> 4];
                    out_ += kHex[byte & 0xF];
                } else {
                    out_ += c;
                }
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
