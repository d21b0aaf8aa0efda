#include "chart/painter_context_widget.h"

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
    QFont Font;
    QFontMetrics Metrics;
};

PainterDeviceContext::PainterDeviceContext(QPainter& painter)
    : painter_(painter), baseTransform_(painter.transform()) {
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
    currentFont_.reset();
    fonts_.clear();
}

void PainterDeviceContext::DrawLine(PixelPoint from, PixelPoint to, const ChartPen& pen) {
    painter_.setPen(ToQPen(pen));
    painter_.drawLine(from.x, from.y, to.x, to.y);
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
    const Qt::BrushStyle style = ToBrushStyle(brush.Style);
    painter_.setPen(Qt::NoPen);
    if (mix == FillMix::Copy) {
        painter_.setBrush(QBrush(ToQColor(brush.Colour), style));
        painter_.drawPolygon(polygon);
    } else if (!rasterOps_) {
        // Printers cannot combine with what is already drawn; a half-strong
        // fill lets it show through instead.
        QColor colour = ToQColor(brush.Colour);
        colour.setAlpha(128);
        painter_.setBrush(QBrush(colour, style));
        painter_.drawPolygon(polygon);
    } else if (style == Qt::SolidPattern) {
        painter_.setCompositionMode(QPainter::RasterOp_NotSourceXorDestination);
        painter_.setBrush(QBrush(ToQColor(brush.Colour)));
        painter_.drawPolygon(polygon);
        painter_.setCompositionMode(QPainter::CompositionMode_SourceOver);
    } else {
        FillHatchNotXor(polygon, brush);
    }
    painter_.setBrush(Qt::NoBrush);
}

// Combining ignores the transparent gaps of a pattern brush and would invert
// them, so the hatch lines are drawn one by one inside the polygon instead.
void PainterDeviceContext::FillHatchNotXor(const QPolygon& polygon, const ChartBrush& brush) {
    painter_.save();
    painter_.setClipRegion(QRegion(polygon),
                           painter_.hasClipping() ? Qt::IntersectClip : Qt::ReplaceClip);
    painter_.setCompositionMode(QPainter::RasterOp_NotSourceXorDestination);
    painter_.setPen(ToQPen(ChartPen{kPenSolid, 1, brush.Colour}));
    const QRect box = polygon.boundingRect();
    auto down = [](int v) { return v - (((v % kHatchSpacing) + kHatchSpacing) % kHatchSpacing); };
    const bool horizontal = brush.Style == kHatchHorizontal || brush.Style == kHatchCross;
    const bool vertical = brush.Style == kHatchVertical || brush.Style == kHatchCross;
    const bool falling = brush.Style == kHatchForwardDiagonal || brush.Style == kHatchDiagonalCross;
    const bool rising = brush.Style == kHatchBackwardDiagonal || brush.Style == kHatchDiagonalCross;
    if (horizontal) {
        for (int y = down(box.top()); y <= box.bottom(); y += kHatchSpacing) {
            painter_.drawLine(box.left(), y, box.right(), y);
        }
    }
    if (vertical) {
        for (int x = down(box.left()); x <= box.right(); x += kHatchSpacing) {
            painter_.drawLine(x, box.top(), x, box.bottom());
        }
    }
    const int height = box.height();
    if (falling) {  // x - y constant
        for (int c = down(box.left() - box.bottom()); c <= box.right() - box.top();
             c += kHatchSpacing) {
            painter_.drawLine(c + box.top(), box.top(), c + box.top() + height, box.top() + height);
        }
    }
    if (rising) {  // x + y constant
        for (int c = down(box.left() + box.top()); c <= box.right() + box.bottom();
             c += kHatchSpacing) {
            painter_.drawLine(c - box.top(), box.top(), c - box.top() - height, box.top() + height);
        }
    }
    painter_.restore();
}

void PainterDeviceContext::DrawRect(const PixelRect& rect, const ChartPen& pen,
                                    const std::optional<ChartBrush>& fill) {
    if (rect.IsEmpty()) {
        return;
    }
    if (fill) {
        painter_.fillRect(ToQRect(rect), QBrush(ToQColor(fill->Colour), ToBrushStyle(fill->Style)));
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
    for (const auto& cached : fonts_) {
        if (cached->Key == font) {
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
    qfont.setPixelSize(std::max(1, static_cast<int>(std::lround(cell))));
    const QFontMetrics trial(qfont);
    const int trialCell = trial.ascent() + trial.descent();
    if (trialCell > 0) {
        qfont.setPixelSize(std::max(1, static_cast<int>(std::lround(cell * cell / trialCell))));
    }
    if (fonts_.size() >= 16) {
        fonts_.erase(fonts_.begin());
    }
    QPaintDevice* device = painter_.device();
    fonts_.push_back(std::make_unique<CachedFont>(CachedFont{
        font, qfont, device != nullptr ? QFontMetrics(qfont, device) : QFontMetrics(qfont)}));
    return *fonts_.back();
}

TextExtent PainterDeviceContext::MeasureText(const ChartFont& font, std::string_view text) {
    const CachedFont& cached = UseFont(font);
    return {cached.Metrics.horizontalAdvance(ToQString(text)), cached.Metrics.height()};
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
    if (currentFont_ != font) {
        painter_.setFont(cached.Font);
        currentFont_ = font;
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
    // One line, placed by hand: much faster than the general layout.
    qtext.replace(QLatin1Char('\n'), QLatin1Char(' '));
    const QFontMetrics& metrics = cached.Metrics;
    const int width = metrics.horizontalAdvance(qtext);
    const int height = metrics.height();
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
    painter_.drawText(x, top + metrics.ascent(), qtext);
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
