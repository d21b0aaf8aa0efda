#include "chart/coloured_text.h"

#include <algorithm>
#include <cmath>

namespace orvik {

namespace {

double Linear(int component) {
    const double c = component / 255.0;
    return c <= 0.04045 ? c / 12.92 : std::pow((c + 0.055) / 1.055, 2.4);
}

double Luminance(ChartColour colour) {
    return 0.2126 * Linear(RedOf(colour)) + 0.7152 * Linear(GreenOf(colour)) +
           0.0722 * Linear(BlueOf(colour));
}

ChartColour Mix(ChartColour colour, ChartColour toward, double share) {
    auto mix = [share](int from, int to) {
        return static_cast<int>(std::lround(from + (to - from) * share));
    };
    return RgbColour(mix(RedOf(colour), RedOf(toward)), mix(GreenOf(colour), GreenOf(toward)),
                     mix(BlueOf(colour), BlueOf(toward)));
}

char EncodeComponent(int component) {
    return static_cast<char>(component >= 255 ? 255 : component + 1);
}

}  // namespace

int DecodeColourComponent(unsigned char stored) {
    return stored == 0 ? 0 : stored - 1;
}

std::string ColourText(std::string_view text, ChartColour colour) {
    std::string coded;
    coded.reserve(kColourCodeLength + text.size());
    coded.push_back(kColourCodeMark);
    coded.push_back(EncodeComponent(RedOf(colour)));
    coded.push_back(EncodeComponent(GreenOf(colour)));
    coded.push_back(EncodeComponent(BlueOf(colour)));
    coded.append(text);
    return coded;
}

std::vector<ColouredPiece> SplitColouredText(std::string_view text) {
    std::vector<ColouredPiece> pieces;
    std::optional<ChartColour> colour;
    std::size_t start = 0;
    while (start < text.size()) {
        const std::size_t mark = text.find(kColourCodeMark, start);
        const std::size_t end = mark == std::string_view::npos ? text.size() : mark;
        if (end > start) {
            pieces.push_back(ColouredPiece{text.substr(start, end - start), colour});
        }
        if (mark == std::string_view::npos || mark + kColourCodeLength > text.size()) {
            break;
        }
        const auto byte = [&](std::size_t i) { return static_cast<unsigned char>(text[mark + i]); };
        colour = RgbColour(DecodeColourComponent(byte(1)), DecodeColourComponent(byte(2)),
                           DecodeColourComponent(byte(3)));
        start = mark + kColourCodeLength;
    }
    return pieces;
}

std::string PlainText(std::string_view text) {
    std::string plain;
    plain.reserve(text.size());
    for (const ColouredPiece& piece : SplitColouredText(text)) {
        plain.append(piece.Text);
    }
    return plain;
}

double ContrastRatio(ChartColour a, ChartColour b) {
    const double la = Luminance(a);
    const double lb = Luminance(b);
    return (std::max(la, lb) + 0.05) / (std::min(la, lb) + 0.05);
}

ChartColour ReadableOn(ChartColour colour, ChartColour background, double keepFrom) {
    if (ContrastRatio(colour, background) >= keepFrom) {
        return colour;
    }
    const ChartColour toward =
        ContrastRatio(kWhite, background) >= ContrastRatio(kBlack, background) ? kWhite : kBlack;
    // The smallest share of white or black that reads comfortably, found by
    // halving: the contrast grows with the share.
    double low = 0.0;
    double high = 1.0;
    for (int i = 0; i < 20; ++i) {
        const double share = (low + high) / 2.0;
        if (ContrastRatio(Mix(colour, toward, share), background) >= kComfortableContrast) {
            high = share;
        } else {
            low = share;
        }
    }
    return Mix(colour, toward, high);
}

ChartColour OutlineFor(ChartColour colour) {
    return ContrastRatio(colour, kBlack) >= ContrastRatio(colour, kWhite) ? kBlack : kWhite;
}

TextInk InkOn(ChartColour colour, ChartColour background, bool highContrast) {
    if (highContrast) {
        return {ReadableOn(colour, background, kComfortableContrast), std::nullopt};
    }
    if (ContrastRatio(colour, background) >= kReadableContrast) {
        return {colour, std::nullopt};
    }
    return {colour, OutlineFor(colour)};
}

}  // namespace orvik
