#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace orvik {

// A small streaming JSON writer for the command-line tool. Numbers that are
// not finite print as null; strings are the stored single-byte text, bytes
// above 0x7F escaped as \u00XX.
class JsonWriter {
  public:
    explicit JsonWriter(bool pretty = true) : pretty_(pretty) {}

    JsonWriter& BeginObject();
    JsonWriter& EndObject();
    // A compact array keeps its elements on one line (for sample pairs).
    JsonWriter& BeginArray(bool compact = false);
    JsonWriter& EndArray();
    JsonWriter& Key(std::string_view name);

    JsonWriter& Value(std::string_view text);
    // A file path: its UTF-8 characters as they are, any byte that is not
    // part of one escaped as \u00XX.
    JsonWriter& PathValue(std::string_view path);
    JsonWriter& Value(const char* text) { return Value(std::string_view(text)); }
    JsonWriter& Value(double number);
    JsonWriter& Value(std::int64_t number);
    JsonWriter& Value(std::int32_t number) { return Value(std::int64_t{number}); }
    JsonWriter& Value(bool flag);
    JsonWriter& Null();

    // Shorthand for Key(name).Value(value).
    template <typename T>
    JsonWriter& Field(std::string_view name, const T& value) {
        Key(name);
        return Value(value);
    }

    const std::string& Text() const { return out_; }

  private:
    void BeforeValue();
    void NewLine();

    struct Level {
        bool isObject;
        bool compact;
        int count;
    };
    bool pretty_;
    bool afterKey_ = false;
    std::vector<Level> levels_;
    std::string out_;
};

// Shortest text that reads back as the same double.
std::string FormatDouble(double number);

}  // namespace orvik
