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

// `colour` as text on `background`: itself when it stands at least `keepFrom`
// apart from it, else the same colour mixed with white (on a dark background)
// or black (on a light one) just far enough to read comfortably. A selected
// tree row keeps its PASS and FAIL colours recognisable this way.
ChartColour ReadableOn(ChartColour colour, ChartColour background,
                       double keepFrom = kReadableContrast);

// The thin edge drawn around text of `colour` so that it reads on any
// background: black or white, whichever stands further apart from it.
ChartColour OutlineFor(ChartColour colour);

// How a text of a given colour is drawn on a background: in its own colour,
// with an outline where that colour alone does not read there (a yellow "DD"
// on light grey, a red "FAIL" on the graph's grey); in the high-contrast
// colours, lifted until it reads comfortably, with no outline.
struct TextInk {
    ChartColour Text = kBlack;
    std::optional<ChartColour> Outline;

    // What the text's edge stands against: its outline, else the background.
    ChartColour Edge(ChartColour background) const { return Outline.value_or(background); }
};
TextInk InkOn(ChartColour colour, ChartColour background, bool highContrast);

}  // namespace orvik
