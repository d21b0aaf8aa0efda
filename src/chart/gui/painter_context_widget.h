#pragma once

#include <QBrush>
#include <QFont>
#include <QFontMetrics>
#include <QHash>
#include <QPainter>
#include <QStaticText>
#include <QString>
#include <QTransform>

#include <memory>
#include <optional>
#include <vector>

#include "chart/device_context.h"

namespace orvik {

struct CachedFont;

// What a painter context keeps from one paint to the next: laid-out texts
// (tick labels repeat on every paint) and the textures of dashed lines. A
// chart window owns one; painting happens on the GUI thread only.
class PainterCache {
  public:
    PainterCache();
    ~PainterCache();
    PainterCache(const PainterCache&) = delete;
    PainterCache& operator=(const PainterCache&) = delete;

    struct Text {
        QStaticText Layout;
        int Width = 0;
    };

    Text& TextFor(const QString& key, const QString& text, const QFontMetrics& metrics);
    // A one-pixel-high texture of a dashed pen style.
    const QBrush& DashTexture(int style, ChartColour colour);
    std::vector<std::unique_ptr<CachedFont>>& Fonts() { return fonts_; }

  private:
    std::vector<std::unique_ptr<CachedFont>> fonts_;
    static constexpr qsizetype kMaxTexts = 4096;
    QHash<QString, Text> texts_;
    QHash<quint64, QBrush> dashes_;
};

// The chart's device context on a QPainter: a widget, an image or a printer.
// Lines are drawn without antialiasing, as on screen; pen widths and font
// heights are device pixels whatever logical scale is set.
class PainterDeviceContext : public DeviceContext {
  public:
    // Without a cache of its own the context keeps one for its lifetime.
    explicit PainterDeviceContext(QPainter& painter, PainterCache* cache = nullptr);
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
    // Hatches are drawn as lines inside the shape: faster than a pattern
    // brush, and they can be combined with what is below them.
    void FillHatch(const QRect& box, const QRegion* shape, const ChartBrush& brush, FillMix mix);
    bool DrawDashedRow(PixelPoint from, PixelPoint to, const ChartPen& pen);

    QPainter& painter_;
    QTransform baseTransform_;
    double scaleX_ = 1.0;
    double scaleY_ = 1.0;
    bool rasterOps_ = false;
    bool identity_ = true;  // logical pixels are device pixels
    std::unique_ptr<PainterCache> ownCache_;
    PainterCache* cache_ = nullptr;
    const CachedFont* currentFont_ = nullptr;  // the font set on the painter
};

}  // namespace orvik
