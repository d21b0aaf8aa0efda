#include "chart/gui/painter_context_widget.h"

#include <QFontDatabase>
#include <QImage>
#include <QPaintEngine>
#include <QPolygon>
#include <QPrinter>
#include <QRegion>

#include <algorithm>
#include <cmath>
#include <map>
#include <vector>

namespace orvik {

namespace {

// Hatch lines are this many device pixels apart, as in Qt's own patterns.
constexpr int kHatchSpacing = 8;

QRect ToQRect(const PixelRect& rect) {
    return QRect(rect.left, rect.top, rect.Width(), rect.Height());
}

// The outline of a rectangle lies on its edges, inside it.
QRect OutlineRect(const PixelRect& rect) {
    return QRect(rect.left, rect.top, std::max(0, rect.Width() - 1),
                 std::max(0, rect.Height() - 1));
}

QPolygon ToQPolygon(std::span<const PixelPoint> points) {
    QPolygon polygon(static_cast<int>(points.size()));
    for (std::size_t i = 0; i < points.size(); ++i) {
        polygon.setPoint(static_cast<int>(i), points[i].x, points[i].y);
    }
    return polygon;
}

int ToQtAlignment(int format) {
    int flags = 0;
    if (format & kTextCenter) {
        flags |= Qt::AlignHCenter;
    } else if (format & kTextRight) {
        flags |= Qt::AlignRight;
    } else {
        flags |= Qt::AlignLeft;
    }
    if (format & kTextVCenter) {
        flags |= Qt::AlignVCenter;
    } else if (format & kTextBottom) {
        flags |= Qt::AlignBottom;
    } else {
        flags |= Qt::AlignTop;
    }
    if (format & kTextWordBreak) {
        flags |= Qt::TextWordWrap;
    }
    if (format & kTextSingleLine) {
        flags |= Qt::TextSingleLine;
    }
    if (format & kTextExpandTabs) {
        flags |= Qt::TextExpandTabs;
    }
    if (format & kTextNoClip) {
        flags |= Qt::TextDontClip;
    }
    return flags;
}

}  // namespace

struct CachedFont {
    ChartFont Key;
    double ScaleY = 1.0;
    QFont Font;
    QFontMetrics Metrics;
    QString TextKeyPrefix;  // names the font in the text cache
    // The height asked for, in logical pixels. The glyphs fit inside it but
    // Qt's rounding of the font size can make their own cell a pixel
    // shorter; layout (tick counts, label rows) goes by the height asked for.
    int CellHeight = 1;
};

PainterCache::PainterCache() = default;
PainterCache::~PainterCache() = default;

PainterCache::Text& PainterCache::TextFor(const QString& key, const QString& text,
                                          const QFontMetrics& metrics) {
    auto found = texts_.find(key);
    if (found != texts_.end()) {
        return *found;
    }
    if (texts_.size() >= kMaxTexts) {
        texts_.clear();
    }
    Text entry;
    entry.Layout = QStaticText(text);
    entry.Layout.setTextFormat(Qt::PlainText);
    entry.Width = metrics.horizontalAdvance(text);
    return *texts_.insert(key, std::move(entry));
}

const QBrush& PainterCache::DashTexture(int style, ChartColour colour) {
    const quint64 key = (static_cast<quint64>(colour) << 8) | static_cast<quint64>(style);
    auto found = dashes_.find(key);
    if (found != dashes_.end()) {
        return *found;
    }
    // On and off runs of one period, as Qt draws its thin styled lines.
    static const std::vector<int> kPatterns[] = {
        {}, {4, 2}, {1, 2}, {4, 2, 1, 2}, {4, 2, 1, 2, 1, 2}};
    const std::vector<int>& runs = kPatterns[std::clamp(style, 1, 4)];
    int period = 0;
    for (int run : runs) {
        period += run;
    }
    QImage texture(period, 1, QImage::Format_ARGB32_Premultiplied);
    texture.fill(Qt::transparent);
    const QRgb ink = qRgb(RedOf(colour), GreenOf(colour), BlueOf(colour));
    int at = 0;
    for (std::size_t i = 0; i < runs.size(); ++i) {
        for (int k = 0; k < runs[i]; ++k, ++at) {
            if (i % 2 == 0) {
                texture.setPixel(at, 0, ink);
            }
        }
    }
    return *dashes_.insert(key, QBrush(texture));
}

PainterDeviceContext::PainterDeviceContext(QPainter& painter, PainterCache* cache)
    : painter_(painter), baseTransform_(painter.transform()), cache_(cache) {
    if (cache_ == nullptr) {
        ownCache_ = std::make_unique<PainterCache>();
        cache_ = ownCache_.get();
    }
    identity_ = baseTransform_.isIdentity();
    painter_.setRenderHint(QPainter::Antialiasing, false);
    painter_.setRenderHint(QPainter::TextAntialiasing, true);
    painter_.setBackgroundMode(Qt::TransparentMode);
    rasterOps_ = painter_.paintEngine() != nullptr &&
                 painter_.paintEngine()->hasFeature(QPaintEngine::RasterOpModes);
}

PainterDeviceContext::~PainterDeviceContext() = default;

QColor PainterDeviceContext::ToQColor(ChartColour colour) {
    return QColor(RedOf(colour), GreenOf(colour), BlueOf(colour));
}

QPen PainterDeviceContext::ToQPen(const ChartPen& pen) {
    static constexpr Qt::PenStyle kStyles[] = {Qt::SolidLine,   Qt::DashLine,       Qt::DotLine,
                                               Qt::DashDotLine, Qt::DashDotDotLine, Qt::NoPen};
    const int style = pen.Style >= 0 && pen.Style <= 5 ? pen.Style : 0;
    QPen qpen(ToQColor(pen.Colour));
    qpen.setStyle(kStyles[style]);
    qpen.setWidth(std::max(1, pen.Width));
    qpen.setCosmetic(true);
    qpen.setJoinStyle(Qt::MiterJoin);
    return qpen;
}

Qt::BrushStyle PainterDeviceContext::ToBrushStyle(int fillStyle) {
    switch (fillStyle) {
        case kHatchHorizontal:
            return Qt::HorPattern;
        case kHatchVertical:
            return Qt::VerPattern;
        case kHatchForwardDiagonal:
            return Qt::FDiagPattern;
        case kHatchBackwardDiagonal:
            return Qt::BDiagPattern;
        case kHatchCross:
            return Qt::CrossPattern;
        case kHatchDiagonalCross:
            return Qt::DiagCrossPattern;
        default:
            return Qt::SolidPattern;
    }
}

QString PainterDeviceContext::ToQString(std::string_view text) {
    return QString::fromLatin1(text.data(), static_cast<qsizetype>(text.size()));
}

QString PainterDeviceContext::ResolveFontFamily(const std::string& face) {
    static std::map<std::string, QString> resolved;
    const auto found = resolved.find(face);
    if (found != resolved.end()) {
        return found->second;
    }
    std::vector<QString> candidates{QString::fromStdString(face)};
    if (face == "Arial") {
        candidates.insert(candidates.end(),
                          {"Liberation Sans", "Arimo", "Nimbus Sans", "DejaVu Sans"});
    } else if (face == "Times New Roman") {
        candidates.insert(candidates.end(),
                          {"Liberation Serif", "Tinos", "Nimbus Roman", "DejaVu Serif"});
    }
    QString family = QFont().defaultFamily();
    for (const QString& candidate : candidates) {
        if (QFontDatabase::hasFamily(candidate)) {
            family = candidate;
            break;
        }
    }
    resolved.emplace(face, family);
    return family;
}

DeviceCaps PainterDeviceContext::Caps() const {
    DeviceCaps caps;
    QPaintDevice* device = painter_.device();
    if (device == nullptr) {
        return caps;
    }
    caps.WidthPixels = device->width();
    caps.HeightPixels = device->height();
    caps.DpiX = device->logicalDpiX();
    caps.DpiY = device->logicalDpiY();
    if (const auto* printer = dynamic_cast<const QPrinter*>(device)) {
        caps.Colours = printer->colorMode() == QPrinter::GrayScale ? 2 : -1;
    } else if (device->depth() <= 8) {
        caps.Colours = 1LL << device->depth();
    }
    return caps;
}

void PainterDeviceContext::SetLogicalScale(double scaleX, double scaleY) {
    scaleX_ = scaleX > 0.0 ? scaleX : 1.0;
    scaleY_ = scaleY > 0.0 ? scaleY : 1.0;
    painter_.setTransform(QTransform::fromScale(scaleX_, scaleY_) * baseTransform_);
    identity_ = painter_.transform().isIdentity();
    currentFont_ = nullptr;
}

void PainterDeviceContext::DrawLine(PixelPoint from, PixelPoint to, const ChartPen& pen) {
    if (DrawDashedRow(from, to, pen)) {
        return;
    }
    painter_.setPen(ToQPen(pen));
    painter_.drawLine(from.x, from.y, to.x, to.y);
}

// Thin dashed or dotted horizontal lines (the grid) as a one-pixel strip
// filled with the dash pattern: far faster than stroking them. Vertical
// strips are left to the pen: Qt hands fills of many rows to worker threads,
// which costs more than it saves here.
bool PainterDeviceContext::DrawDashedRow(PixelPoint from, PixelPoint to, const ChartPen& pen) {
    if (!identity_ || pen.Width > 1 || pen.Style < kPenDash || pen.Style > kPenDashDotDot ||
        from.y != to.y) {
        return false;
    }
    const QPoint start(std::min(from.x, to.x), std::min(from.y, to.y));
    const QRect strip(start.x(), start.y(), std::abs(to.x - from.x) + 1, 1);
    painter_.setBrushOrigin(start);
    painter_.fillRect(strip, cache_->DashTexture(pen.Style, pen.Colour));
    return true;
}

void PainterDeviceContext::DrawPolyline(std::span<const PixelPoint> points, const ChartPen& pen) {
    if (points.empty()) {
        return;
    }
    painter_.setPen(ToQPen(pen));
    painter_.drawPolyline(ToQPolygon(points));
}

void PainterDeviceContext::FillRect(const PixelRect& rect, ChartColour colour) {
    if (!rect.IsEmpty()) {
        painter_.fillRect(ToQRect(rect), ToQColor(colour));
    }
}

void PainterDeviceContext::FillPolygon(std::span<const PixelPoint> points, const ChartBrush& brush,
                                       FillMix mix) {
    if (points.size() < 3) {
        return;
    }
    const QPolygon polygon = ToQPolygon(points);
    if (brush.Style != kFillSolid) {
        const QRegion shape(polygon);
        FillHatch(polygon.boundingRect(), &shape, brush, mix);
        return;
    }
    QColor colour = ToQColor(brush.Colour);
    const bool combine = mix == FillMix::NotXor && rasterOps_;
    if (mix == FillMix::NotXor && !rasterOps_) {
        // Printers cannot combine with what is already drawn; a half-strong
        // fill lets it show through instead.
        colour.setAlpha(128);
    }
    painter_.setPen(Qt::NoPen);
    painter_.setBrush(colour);
    if (combine) {
        painter_.setCompositionMode(QPainter::RasterOp_NotSourceXorDestination);
    }
    painter_.drawPolygon(polygon);
    if (combine) {
        painter_.setCompositionMode(QPainter::CompositionMode_SourceOver);
    }
    painter_.setBrush(Qt::NoBrush);
}

// Combining ignores the transparent gaps of a pattern brush (it would invert
// them), so hatches are drawn line by line inside the shape; that is also
// much faster than a pattern brush.
void PainterDeviceContext::FillHatch(const QRect& box, const QRegion* shape,
                                     const ChartBrush& brush, FillMix mix) {
    if (box.isEmpty()) {
        return;
    }
    painter_.save();
    const Qt::ClipOperation operation =
        painter_.hasClipping() ? Qt::IntersectClip : Qt::ReplaceClip;
    if (shape != nullptr) {
        painter_.setClipRegion(*shape, operation);
    } else {
        painter_.setClipRect(box, operation);
    }
    QColor colour = ToQColor(brush.Colour);
    if (mix == FillMix::NotXor) {
        if (rasterOps_) {
            painter_.setCompositionMode(QPainter::RasterOp_NotSourceXorDestination);
        } else {
            colour.setAlpha(128);
        }
    }
    // One pixel on screen; a print widens it with the print scale, as the
    // chart's solid pens are, or the lines would shrink to hairlines while
    // their spacing and the outline around them grow.
    const int width = std::max(1, static_cast<int>(std::lround(scaleX_)));
    QPen pen = ToQPen(ChartPen{kPenSolid, width, kBlack});
    pen.setColor(colour);
    painter_.setPen(pen);
    // Lines on multiples of the spacing, so that neighbouring hatches meet.
    auto down = [](int v) { return v - (((v % kHatchSpacing) + kHatchSpacing) % kHatchSpacing); };
    const int left = box.left();
    const int top = box.top();
    const int right = box.right();
    const int bottom = box.bottom();
    const int style = brush.Style;
    if (style == kHatchHorizontal || style == kHatchCross) {
        for (int y = down(top); y <= bottom; y += kHatchSpacing) {
            painter_.drawLine(left, y, right, y);
        }
    }
    if (style == kHatchVertical || style == kHatchCross) {
        for (int x = down(left); x <= right; x += kHatchSpacing) {
            painter_.drawLine(x, top, x, bottom);
        }
    }
    if (style == kHatchForwardDiagonal || style == kHatchDiagonalCross) {  // x - y constant
        for (int c = down(left - bottom); c <= right - top; c += kHatchSpacing) {
            painter_.drawLine(c + top, top, c + bottom, bottom);
        }
    }
    if (style == kHatchBackwardDiagonal || style == kHatchDiagonalCross) {  // x + y constant
        for (int c = down(left + top); c <= right + bottom; c += kHatchSpacing) {
            painter_.drawLine(c - top, top, c - bottom, bottom);
        }
    }
    painter_.restore();
}

void PainterDeviceContext::DrawRect(const PixelRect& rect, const ChartPen& pen,
                                    const std::optional<ChartBrush>& fill) {
    if (rect.IsEmpty()) {
        return;
    }
    if (fill && fill->Style == kFillSolid) {
        painter_.fillRect(ToQRect(rect), ToQColor(fill->Colour));
    } else if (fill) {
        FillHatch(ToQRect(rect), nullptr, *fill, FillMix::Copy);
    }
    painter_.setPen(ToQPen(pen));
    painter_.setBrush(Qt::NoBrush);
    painter_.drawRect(OutlineRect(rect));
}

void PainterDeviceContext::DrawEllipse(const PixelRect& rect, const ChartPen& pen,
                                       const std::optional<ChartBrush>& fill) {
    if (rect.IsEmpty()) {
        return;
    }
    painter_.setPen(ToQPen(pen));
    painter_.setBrush(fill ? QBrush(ToQColor(fill->Colour), ToBrushStyle(fill->Style))
                           : QBrush(Qt::NoBrush));
    painter_.drawEllipse(OutlineRect(rect));
    painter_.setBrush(Qt::NoBrush);
}

const CachedFont& PainterDeviceContext::UseFont(const ChartFont& font) {
    auto& fonts = cache_->Fonts();
    for (const auto& cached : fonts) {
        if (cached->Key == font && cached->ScaleY == scaleY_) {
            return *cached;
        }
    }
    QFont qfont(ResolveFontFamily(font.Face));
    const int weight = font.Weight <= 0 ? 400 : std::clamp(font.Weight, 1, 1000);
    qfont.setWeight(static_cast<QFont::Weight>(weight));
    // A height is the whole character cell (ascent and descent), not the em
    // size Qt takes, and it is in device pixels: the painter's scale is undone
    // here so that the text comes out at exactly that height.
    const double cell = std::max(1.0, font.Height / scaleY_);
    const int cellHeight = std::max(1, static_cast<int>(std::lround(cell)));
    qfont.setPixelSize(cellHeight);
    const QFontMetrics trial(qfont);
    const int trialCell = trial.ascent() + trial.descent();
    if (trialCell > 0) {
        qfont.setPixelSize(std::max(1, static_cast<int>(std::lround(cell * cell / trialCell))));
    }
    if (fonts.size() >= 32) {
        if (currentFont_ == fonts.front().get()) {
            currentFont_ = nullptr;
        }
        fonts.erase(fonts.begin());
    }
    const QString prefix = qfont.family() + QLatin1Char('|') + QString::number(qfont.pixelSize()) +
                           QLatin1Char('|') + QString::number(weight) + QLatin1Char('|');
    fonts.push_back(std::make_unique<CachedFont>(
        CachedFont{font, scaleY_, qfont, QFontMetrics(qfont), prefix, cellHeight}));
    return *fonts.back();
}

TextExtent PainterDeviceContext::MeasureText(const ChartFont& font, std::string_view text) {
    const CachedFont& cached = UseFont(font);
    const QString qtext = ToQString(text);
    const int width = cache_->TextFor(cached.TextKeyPrefix + qtext, qtext, cached.Metrics).Width;
    return {width, cached.CellHeight};
}

void PainterDeviceContext::DrawText(const ChartFont& font, std::string_view text,
                                    const PixelRect& rect, int format, ChartColour colour,
                                    const std::optional<ChartColour>& background) {
    if (text.empty()) {
        return;
    }
    const CachedFont& cached = UseFont(font);
    QString qtext = ToQString(text);
    const bool singleLine = (format & kTextSingleLine) != 0 ||
                            ((format & kTextWordBreak) == 0 && !qtext.contains(QLatin1Char('\n')));
    if (currentFont_ != &cached) {
        painter_.setFont(cached.Font);
        currentFont_ = &cached;
    }
    painter_.setPen(ToQColor(colour));
    if (!singleLine) {
        const QRect box = ToQRect(rect);
        const int flags = ToQtAlignment(format);
        if (background) {
            painter_.fillRect(painter_.boundingRect(box, flags, qtext), ToQColor(*background));
        }
        painter_.drawText(box, flags, qtext);
        return;
    }
    // One line, placed by hand and laid out once for many paints: much
    // faster than the general layout.
    qtext.replace(QLatin1Char('\n'), QLatin1Char(' '));
    const PainterCache::Text& laidOut =
        cache_->TextFor(cached.TextKeyPrefix + qtext, qtext, cached.Metrics);
    const int width = laidOut.Width;
    const int height = cached.CellHeight;
    int x = rect.left;
    if (format & kTextCenter) {
        x = rect.left + (rect.Width() - width) / 2;
    } else if (format & kTextRight) {
        x = rect.right - width;
    }
    int top = rect.top;
    if (format & kTextVCenter) {
        top = rect.top + (rect.Height() - height) / 2;
    } else if (format & kTextBottom) {
        top = rect.bottom - height;
    }
    const QRect cell(x, top, width, height);
    const bool clip = (format & kTextNoClip) == 0 && !ToQRect(rect).contains(cell);
    if (clip) {
        painter_.save();
        painter_.setClipRect(ToQRect(rect),
                             painter_.hasClipping() ? Qt::IntersectClip : Qt::ReplaceClip);
    }
    if (background) {
        painter_.fillRect(cell, ToQColor(*background));
    }
    // The glyphs sit in the middle of the cell when Qt's own is shorter.
    const int glyphTop = top + std::max(0, height - cached.Metrics.height()) / 2;
    painter_.drawStaticText(QPoint(x, glyphTop), laidOut.Layout);
    if (clip) {
        painter_.restore();
    }
}

void PainterDeviceContext::SetClip(const PixelRect& rect) {
    painter_.setClipRect(ToQRect(rect));
}

void PainterDeviceContext::ClearClip() {
    painter_.setClipping(false);
}

}  // namespace orvik
