#pragma once

#include "chart/device_context.h"

namespace orvik {

// The context a chart paints through: it wraps the target device, knows
// whether the target is monochrome and, when printing, scales pens and fonts
// so that the printed chart keeps the proportions of the screen.
//
// While muted (for axes that are hidden but must still be measured) every
// drawing call is dropped; measuring still reaches the target.
class ChartDeviceContext : public DeviceContext {
  public:
    // Screen painting: no scaling.
    explicit ChartDeviceContext(DeviceContext& target);
    // Printing: coordinates are mapped so that one logical pixel is one
    // screen pixel, and pens and fonts grow by the same factors.
    ChartDeviceContext(DeviceContext& target, double screenDpiX, double screenDpiY);

    bool Monochrome() const { return monochrome_; }
    bool Scaling() const { return scaling_; }
    double ScaleX() const { return scaleX_; }
    double ScaleY() const { return scaleY_; }

    // Colours of lines, markers, fills and text: black on a monochrome device.
    ChartColour Ink(ChartColour colour) const { return monochrome_ ? kBlack : colour; }
    // Colours of background areas: white on a monochrome device.
    ChartColour Paper(ChartColour colour) const { return monochrome_ ? kWhite : colour; }

    ChartPen ScaledPen(const ChartPen& pen) const;
    ChartFont ScaledFont(const ChartFont& font) const;

    bool Muted() const { return muted_; }
    void SetMuted(bool muted) { muted_ = muted; }

    DeviceCaps Caps() const override;
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
    DeviceContext& target_;
    bool monochrome_ = false;
    bool scaling_ = false;
    double scaleX_ = 1.0;
    double scaleY_ = 1.0;
    bool muted_ = false;
};

// Mutes a context for the lifetime of the guard when asked to.
class MutedDrawing {
  public:
    MutedDrawing(ChartDeviceContext& dc, bool mute) : dc_(dc), previous_(dc.Muted()) {
        if (mute) {
            dc_.SetMuted(true);
        }
    }
    ~MutedDrawing() { dc_.SetMuted(previous_); }
    MutedDrawing(const MutedDrawing&) = delete;
    MutedDrawing& operator=(const MutedDrawing&) = delete;

  private:
    ChartDeviceContext& dc_;
    bool previous_;
};

}  // namespace orvik
