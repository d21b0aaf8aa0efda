#include "chart/chart_device_context.h"

#include <cmath>

namespace orvik {

double PrintScale(double screenDpi, double deviceDpi) {
    if (!(screenDpi > 0.0) || !(deviceDpi > 0.0)) {
        return 1.0;
    }
    const double scale = deviceDpi / screenDpi;
    if (!std::isfinite(scale) || scale < 1e-10) {
        return 1.0;
    }
    return scale;
}

ChartDeviceContext::ChartDeviceContext(DeviceContext& target)
    : target_(target), monochrome_(target.Caps().IsMonochrome()) {}

ChartDeviceContext::ChartDeviceContext(DeviceContext& target, double screenDpiX, double screenDpiY)
    : target_(target) {
    const DeviceCaps caps = target.Caps();
    monochrome_ = caps.IsMonochrome();
    scaling_ = true;
    scaleX_ = PrintScale(screenDpiX, caps.DpiX);
    scaleY_ = PrintScale(screenDpiY, caps.DpiY);
    target_.SetLogicalScale(scaleX_, scaleY_);
}

ChartPen ChartDeviceContext::ScaledPen(const ChartPen& pen) const {
    ChartPen scaled = pen;
    // Styled lines keep their width: widened dashes would turn solid.
    if (scaling_ && pen.Style == kPenSolid) {
        scaled.Width = std::max(1, static_cast<int>(std::lround(pen.Width * scaleX_)));
    }
    return scaled;
}

ChartFont ChartDeviceContext::ScaledFont(const ChartFont& font) const {
    ChartFont scaled = font;
    if (scaling_) {
        scaled.Height = std::max(1, static_cast<int>(std::lround((font.Height - 1) * scaleY_)));
    }
    return scaled;
}

DeviceCaps ChartDeviceContext::Caps() const {
    return target_.Caps();
}

void ChartDeviceContext::SetLogicalScale(double scaleX, double scaleY) {
    target_.SetLogicalScale(scaleX, scaleY);
}

void ChartDeviceContext::DrawLine(PixelPoint from, PixelPoint to, const ChartPen& pen) {
    if (!muted_) {
        target_.DrawLine(from, to, ScaledPen(pen));
    }
}

void ChartDeviceContext::DrawPolyline(std::span<const PixelPoint> points, const ChartPen& pen) {
    if (!muted_) {
        target_.DrawPolyline(points, ScaledPen(pen));
    }
}

void ChartDeviceContext::FillRect(const PixelRect& rect, ChartColour colour) {
    if (!muted_) {
        target_.FillRect(rect, colour);
    }
}

void ChartDeviceContext::FillPolygon(std::span<const PixelPoint> points, const ChartBrush& brush,
                                     FillMix mix) {
    if (!muted_) {
        target_.FillPolygon(points, brush, mix);
    }
}

void ChartDeviceContext::DrawRect(const PixelRect& rect, const ChartPen& pen,
                                  const std::optional<ChartBrush>& fill) {
    if (!muted_) {
        target_.DrawRect(rect, ScaledPen(pen), fill);
    }
}

void ChartDeviceContext::DrawEllipse(const PixelRect& rect, const ChartPen& pen,
                                     const std::optional<ChartBrush>& fill) {
    if (!muted_) {
        target_.DrawEllipse(rect, ScaledPen(pen), fill);
    }
}

TextExtent ChartDeviceContext::MeasureText(const ChartFont& font, std::string_view text) {
    return target_.MeasureText(ScaledFont(font), text);
}

void ChartDeviceContext::DrawText(const ChartFont& font, std::string_view text,
                                  const PixelRect& rect, int format, ChartColour colour,
                                  const std::optional<ChartColour>& background) {
    if (!muted_) {
        target_.DrawText(ScaledFont(font), text, rect, format, colour, background);
    }
}

void ChartDeviceContext::SetClip(const PixelRect& rect) {
    if (!muted_) {
        target_.SetClip(rect);
    }
}

void ChartDeviceContext::ClearClip() {
    if (!muted_) {
        target_.ClearClip();
    }
}

}  // namespace orvik
