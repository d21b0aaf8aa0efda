#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "chart/chart_types.h"

namespace orvik {

// Item texts of the gradient tree may change colour part-way. A colour code
// is four bytes: 0x01, then red, green and blue each stored as component + 1
// (255 stays 255), so that no code byte is 0. Text after a code is drawn in
// that colour.
inline constexpr char kColourCodeMark = '\x01';
inline constexpr std::size_t kColourCodeLength = 4;

// The colour code for `colour` followed by `text`.
std::string ColourText(std::string_view text, ChartColour colour);

// `text` without its colour codes. A code cut short by the end of the text is
// dropped as well.
std::string PlainText(std::string_view text);

// A run of text and the colour it is drawn in; no colour means the colour the
// text starts with.
struct ColouredPiece {
    std::string_view Text;
    std::optional<ChartColour> Colour;

    bool operator==(const ColouredPiece&) const = default;
};

// The non-empty runs of `text` between its colour codes, in order. The
// pieces view `text`: it must outlive them.
std::vector<ColouredPiece> SplitColouredText(std::string_view text);

// One stored component back to its value: stored - 1 (0 for a stored 0).
int DecodeColourComponent(unsigned char stored);

// How far two colours stand apart for reading, from 1 (the same lightness)
// to 21 (black on white), by their relative luminance.
double ContrastRatio(ChartColour a, ChartColour b);

// Text colours that stand apart from their background by at least this are
// kept; weaker ones are lifted to kComfortableContrast.
inline constexpr double kReadableContrast = 3.0;
inline constexpr double kComfortableContrast = 4.5;

// `colour` as text on `background`: itself when it reads well enough there,
// else the same colour mixed with white (on a dark background) or black (on a
// light one) just far enough to read comfortably. A selected tree row keeps
// its PASS and FAIL colours recognisable this way.
ChartColour ReadableOn(ChartColour colour, ChartColour background);

}  // namespace orvik
