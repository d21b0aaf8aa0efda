#pragma once

#include <QFont>
#include <QFontMetrics>
#include <QPainter>
#include <QString>
#include <QTransform>

#include <memory>
#include <optional>
#include <vector>

#include "chart/device_context.h"

namespace orvik {

struct CachedFont;

// The chart's device context on a QPainter: a widget, an image or a printer.
// Lines are drawn without antialiasing, as on screen; pen widths and font
// heights are device pixels whatever logical scale is set.
class PainterDeviceContext : public DeviceContext {
  public:
    explicit PainterDeviceContext(QPainter& painter);
    ~PainterDeviceContext() override;

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

    // Qt equivalents of the chart's values.
    static QColor ToQColor(ChartColour colour);
    static QPen ToQPen(const ChartPen& pen);
    static Qt::BrushStyle ToBrushStyle(int fillStyle);
    // The installed family that stands in for a face ("Arial" and "Times New
    // Roman" are usually not installed on Linux).
    static QString ResolveFontFamily(const std::string& face);
    // Single-byte text as Qt text.
    static QString ToQString(std::string_view text);

  private:
    const CachedFont& UseFont(const ChartFont& font);
    void FillHatchNotXor(const QPolygon& polygon, const ChartBrush& brush);

    QPainter& painter_;
    QTransform baseTransform_;
    double scaleX_ = 1.0;
    double scaleY_ = 1.0;
    bool rasterOps_ = false;
    std::optional<ChartFont> currentFont_;  // the font set on the painter
    std::vector<std::unique_ptr<CachedFont>> fonts_;
};

}  // namespace orvik
