#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace orvik::results {

// The collections' single-byte texts are Latin-1; the database keeps UTF-8.
std::string FromLatin1(std::string_view text);
// Back to single bytes; none when a character is beyond Latin-1 or the
// bytes are not UTF-8.
std::optional<std::string> ToLatin1(std::string_view text);

}  // namespace orvik::results
