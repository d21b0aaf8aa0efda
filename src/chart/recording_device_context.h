#pragma once

#include <string>
#include <vector>

#include "chart/device_context.h"

namespace orvik {

// A device context that draws nothing and remembers every call, for checking
// what a chart paints. Text is measured as if every character were half as
// wide as the font is high.
class RecordingDeviceContext : public DeviceContext {
  public:
    enum class Kind { Line, Polyline, FillRect, FillPolygon, Rect, Ellipse, Text, Clip, ClearClip };

    struct Call {
        Kind What = Kind::Line;
        std::vector<PixelPoint> Points;  // line ends, polyline and polygon corners
        PixelRect Rect;                  // rectangles, ellipses, text boxes, clips
        ChartPen Pen;
        std::optional<ChartBrush> Brush;
        FillMix Mix = FillMix::Copy;
        ChartColour Colour = kBlack;  // fill colour of FillRect, text colour
        std::optional<ChartColour> Background;
        ChartFont Font;
        std::string Text;
        int Format = 0;
    };

    explicit RecordingDeviceContext(DeviceCaps caps = DeviceCaps{1000, 700, 96.0, 96.0, -1})
        : caps_(caps) {}

    const std::vector<Call>& Calls() const { return calls_; }
    void Clear() { calls_.clear(); }
    double LogicalScaleX() const { return scaleX_; }
    double LogicalScaleY() const { return scaleY_; }

    // Calls of one kind, in order.
    std::vector<Call> CallsOf(Kind kind) const;
    // Text calls whose text equals `text`.
    std::vector<Call> TextCalls(std::string_view text) const;

    DeviceCaps Caps() const override { return caps_; }
    void SetLogicalScale(double scaleX, double scaleY) override;
    void DrawLine(PixelPoint from, PixelPoint to, const ChartPen& pen) override;
    void DrawPolyline(std::span<const PixelPoint> points, const ChartPen& pen) override;
    void FillRect(const PixelRect& rect, ChartColour colour) override;
    void FillPolygon(std::span<const PixelPoint> points, const ChartBrush& brush,
                     FillMix mix) override;
    void DrawRect(const PixelRect& rect, const ChartPen& pen,
                  const std::optional<ChartBrush>& fill) override;
    void DrawEllipse(const PixelRect& rect, const ChartPen& pen,
                     const std::optional<ChartBrush>& fill) override;
    TextExtent MeasureText(const ChartFont& font, std::string_view text) override;
    void DrawText(const ChartFont& font, std::string_view text, const PixelRect& rect, int format,
                  ChartColour colour, const std::optional<ChartColour>& background) override;
    void SetClip(const PixelRect& rect) override;
    void ClearClip() override;

  private:
    Call& Add(Kind kind);

    DeviceCaps caps_;
    double scaleX_ = 1.0;
    double scaleY_ = 1.0;
    std::vector<Call> calls_;
};

}  // namespace orvik
