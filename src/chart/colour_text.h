#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace orvik {

// Item texts of the gradient tree may change colour part way: the byte 0x01
// followed by red, green and blue, each stored as its value plus one (255
// stays 255) so that no byte of a code is 0. Colours are 0x00BBGGRR.
inline constexpr char kColourCodeMark = '\x01';
inline constexpr std::size_t kColourCodeSize = 4;

// 0x01, the three coded components, then `text`.
std::string ColourText(std::string_view text, std::uint32_t colour);

// `text` with every colour code removed.
std::string PlainText(std::string_view text);

// Decodes the three stored bytes of a code into a colour (each byte minus one).
std::uint32_t DecodeColourCode(std::string_view code);

}  // namespace orvik
