#include "chart/coloured_text.h"

namespace orvik {

namespace {

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

}  // namespace orvik
