#pragma once

#include <algorithm>
#include <cstdint>
#include <string>

namespace orvik {

// A colour as 0x00BBGGRR: red in the low byte.
using ChartColour = std::uint32_t;

inline constexpr ChartColour kBlack = 0x000000;
inline constexpr ChartColour kWhite = 0xFFFFFF;

constexpr ChartColour RgbColour(int red, int green, int blue) {
    return static_cast<ChartColour>((red & 0xFF) | ((green & 0xFF) << 8) | ((blue & 0xFF) << 16));
}
constexpr int RedOf(ChartColour colour) {
    return static_cast<int>(colour & 0xFF);
}
constexpr int GreenOf(ChartColour colour) {
    return static_cast<int>((colour >> 8) & 0xFF);
}
constexpr int BlueOf(ChartColour colour) {
    return static_cast<int>((colour >> 16) & 0xFF);
}

// A point or rectangle in pixels. Rectangles include their left and top edges
// and exclude their right and bottom edges.
struct PixelPoint {
    std::int32_t x = 0;
    std::int32_t y = 0;

    bool operator==(const PixelPoint&) const = default;
};

struct PixelRect {
    std::int32_t left = 0;
    std::int32_t top = 0;
    std::int32_t right = 0;
    std::int32_t bottom = 0;

    std::int32_t Width() const { return right - left; }
    std::int32_t Height() const { return bottom - top; }
    bool IsEmpty() const { return right <= left || bottom <= top; }
    PixelRect Deflated(std::int32_t dx, std::int32_t dy) const {
        return {left + dx, top + dy, right - dx, bottom - dy};
    }
    PixelRect Intersected(const PixelRect& other) const {
        return {std::max(left, other.left), std::max(top, other.top), std::min(right, other.right),
                std::min(bottom, other.bottom)};
    }
    bool Contains(PixelPoint p) const {
        return p.x >= left && p.x < right && p.y >= top && p.y < bottom;
    }

    bool operator==(const PixelRect&) const = default;
};

// One point of a curve in data units.
struct CurvePoint {
    double X = 0.0;
    double Y = 0.0;

    bool operator==(const CurvePoint&) const = default;
};
static_assert(sizeof(CurvePoint) == 16, "a curve point is two packed doubles");

// Pen styles of lines.
inline constexpr int kPenSolid = 0;
inline constexpr int kPenDash = 1;
inline constexpr int kPenDot = 2;
inline constexpr int kPenDashDot = 3;
inline constexpr int kPenDashDotDot = 4;

// Fill styles: 0 to 5 are hatches, 6 a solid fill.
inline constexpr int kHatchHorizontal = 0;
inline constexpr int kHatchVertical = 1;
inline constexpr int kHatchForwardDiagonal = 2;   // lines falling left to right
inline constexpr int kHatchBackwardDiagonal = 3;  // lines rising left to right
inline constexpr int kHatchCross = 4;
inline constexpr int kHatchDiagonalCross = 5;
inline constexpr int kFillSolid = 6;

struct ChartPen {
    int Style = kPenSolid;
    int Width = 1;  // device pixels
    ChartColour Colour = kBlack;

    bool operator==(const ChartPen&) const = default;
};

struct ChartBrush {
    int Style = kFillSolid;
    ChartColour Colour = kBlack;

    bool operator==(const ChartBrush&) const = default;
};

// How a polygon fill meets what is already drawn: painted over it, or
// combined with it (not-XOR) so that the background shows through.
enum class FillMix { Copy, NotXor };

struct ChartFont {
    std::string Face = "Arial";
    int Height = 13;  // device pixels
    int Weight = 400;

    bool operator==(const ChartFont&) const = default;
};

struct TextExtent {
    std::int32_t Width = 0;
    std::int32_t Height = 0;

    bool operator==(const TextExtent&) const = default;
};

// Text format flags: horizontal and vertical alignment inside the rectangle,
// wrapping and clipping. The values are those that labels store.
inline constexpr int kTextLeft = 0x000;
inline constexpr int kTextCenter = 0x001;
inline constexpr int kTextRight = 0x002;
inline constexpr int kTextTop = 0x000;
inline constexpr int kTextVCenter = 0x004;
inline constexpr int kTextBottom = 0x008;
inline constexpr int kTextWordBreak = 0x010;
inline constexpr int kTextSingleLine = 0x020;
inline constexpr int kTextExpandTabs = 0x040;
inline constexpr int kTextNoClip = 0x100;

}  // namespace orvik
