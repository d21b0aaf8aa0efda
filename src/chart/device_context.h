#pragma once

#include <optional>
#include <span>
#include <string_view>

#include "chart/chart_types.h"

namespace orvik {

// What a drawing target is: its size in device pixels, its resolution and how
// many colours it can show (-1 for more than a palette holds).
struct DeviceCaps {
    std::int32_t WidthPixels = 0;
    std::int32_t HeightPixels = 0;
    double DpiX = 96.0;
    double DpiY = 96.0;
    long long Colours = -1;

    // Devices with a palette of at most 255 colours print in black and white.
    bool IsMonochrome() const { return Colours >= 0 && Colours <= 255; }
};

// Everything the chart draws goes through this interface: the window paints
// it with a painter, tests record it.
//
// Coordinates are logical pixels. They equal device pixels unless a logical
// scale is set for printing, where one logical pixel is one screen pixel.
// Pen widths and font heights are always device pixels, so that the chart
// decides itself how much they grow on a printer.
class DeviceContext {
  public:
    virtual ~DeviceContext() = default;

    virtual DeviceCaps Caps() const = 0;
    virtual void SetLogicalScale(double scaleX, double scaleY) = 0;

    virtual void DrawLine(PixelPoint from, PixelPoint to, const ChartPen& pen) = 0;
    virtual void DrawPolyline(std::span<const PixelPoint> points, const ChartPen& pen) = 0;
    virtual void FillRect(const PixelRect& rect, ChartColour colour) = 0;
    // A filled polygon without outline. Hatch brushes leave the gaps between
    // their lines untouched.
    virtual void FillPolygon(std::span<const PixelPoint> points, const ChartBrush& brush,
                             FillMix mix) = 0;
    // The outline lies inside the rectangle; without a brush the inside is left as it is.
    virtual void DrawRect(const PixelRect& rect, const ChartPen& pen,
                          const std::optional<ChartBrush>& fill) = 0;
    virtual void DrawEllipse(const PixelRect& rect, const ChartPen& pen,
                             const std::optional<ChartBrush>& fill) = 0;

    // Width and line height of one line of text.
    virtual TextExtent MeasureText(const ChartFont& font, std::string_view text) = 0;
    // Text placed in the rectangle by the format flags; with a background
    // colour the text's own cell is filled first.
    virtual void DrawText(const ChartFont& font, std::string_view text, const PixelRect& rect,
                          int format, ChartColour colour,
                          const std::optional<ChartColour>& background) = 0;

    virtual void SetClip(const PixelRect& rect) = 0;
    virtual void ClearClip() = 0;
};

// The factor by which a chart laid out for the screen grows on a device:
// device resolution over screen resolution, 1 when either is unknown.
double PrintScale(double screenDpi, double deviceDpi);

}  // namespace orvik
