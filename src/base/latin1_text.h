#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

#include "base/failure.h"

namespace orvik {

// The system's files (.tdr, criteria.dat, text reports) keep text one byte a
// character in Latin-1, the first 256 characters of Unicode. Terminals, file
// names and the diagnostic log are UTF-8: text is converted where it crosses
// between the two, and text that Latin-1 cannot hold is refused, never
// stored as something else.

// The UTF-8 form of Latin-1 text (every byte is one character).
std::string Latin1ToUtf8(std::string_view latin1);

// A character, or a byte that begins no UTF-8 character, found at `Offset`
// (bytes from the start of the text).
struct UnstorableText {
    bool NotUtf8 = false;  // `Code` is then the offending byte
    char32_t Code = 0;
    std::size_t Offset = 0;
};

// The first character of UTF-8 text that Latin-1 cannot hold (or the first
// byte that is no UTF-8), if any.
std::optional<UnstorableText> FindUnstorable(std::string_view utf8);

// How the operator is told: 'the character "Ω" (U+03A9) cannot be stored: the
// files hold Latin-1 characters only', in UTF-8.
std::string UnstorableTextMessage(const UnstorableText& found);

// The Latin-1 form of UTF-8 text; a failure whose message names the first
// character it cannot hold.
Result<std::string> Utf8ToLatin1(std::string_view utf8);

}  // namespace orvik
