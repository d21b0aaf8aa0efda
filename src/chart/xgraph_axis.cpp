#include "chart/xgraph_axis.h"

#include <cmath>

#include "chart/chart_device_context.h"
#include "chart/xgraph.h"

namespace orvik {

namespace {

// More ticks than this only come from a step set by hand against a huge
// range; drawing stops there instead of looping for ever.
constexpr std::int32_t kMaxTicks = 1000;

// Labels are placed in boxes this wide and aligned inside them.
constexpr std::int32_t kLabelBox = 400;

}  // namespace

bool CXGraphAxis::SetDataRange(double min, double max) {
    if (!std::isfinite(min) || !std::isfinite(max) || min > max) {
        return false;
    }
    if (min == max) {
        // One unit either side; far from zero one unit may vanish in
        // rounding, so the widening grows with the value there.
        const double widen = std::max(1.0, std::fabs(min) * 1e-9);
        min -= widen;
        max += widen;
    }
    DataMin = Min = min;
    DataMax = Max = max;
    Step = (max - min) * 0.1;
    if (Owner != nullptr && Owner->IsWindowVisible()) {
        RecomputeStep();
    }
    if (Owner != nullptr) {
        Owner->Invalidate();
    }
    return true;
}

void CXGraphAxis::RecomputeStep() {
    DeviceContext* measuring = Owner->MeasuringContext();
    if (measuring == nullptr) {
        return;
    }
    ChartDeviceContext dc(*measuring);
    const std::int32_t size = IsVertical() ? LabelHeight(dc) : WidestLabelWidth(dc);
    std::int32_t available = AvailableLength();
    if (available == 0) {
        available = 1;
    }
    Step = (Max - Min) / available * size;
}

PixelRect CXGraphAxis::PlotRect() const {
    return Owner != nullptr ? Owner->PlotRect() : PixelRect{};
}

double CXGraphAxis::ReserveBase() const {
    return (IsVertical() ? 2 : 4) * ArrowSize;
}

std::int32_t CXGraphAxis::AvailableLength() const {
    const PixelRect plot = PlotRect();
    const auto reserved = static_cast<std::int32_t>(LabelExtent + LabelReserve);
    if (IsVertical()) {
        return plot.bottom - (plot.top + reserved);
    }
    return plot.right - reserved - plot.left;
}

void CXGraphAxis::AutoScale(ChartDeviceContext& dc) {
    LabelReserve = ReserveBase();
    LabelExtent = MarkerStripExtent();
    if (!(DataMin <= DataMax)) {
        return;  // no data yet
    }
    // Every paint starts again from the data range (or the zoomed part of
    // it), so that repeated painting (or a resize that changes the step) does
    // not keep widening the range. The step is chosen in the shown unit.
    const double shown = ShownPerUnit > 0.0 && std::isfinite(ShownPerUnit) ? ShownPerUnit : 1.0;
    double low = (Zoom ? Zoom->From : DataMin) * shown;
    double high = (Zoom ? Zoom->To : DataMax) * shown;
    if (!(low < high) || !std::isfinite(low) || !std::isfinite(high)) {
        low = DataMin * shown;
        high = DataMax * shown;
    }
    const std::int32_t labelSize = IsVertical() ? LabelHeight(dc) : WidestLabelWidth(dc);
    std::int32_t ticks = AvailableLength() / std::max(1, labelSize);
    ticks = std::max(ticks, 2);
    const double step = ComputeTickStep(ticks, low, high, Step * shown);
    if (step > 0.0) {
        AlignRange(low, high, step);
        Step = step / shown;
        Min = low / shown;
        Max = high / shown;
    }
}

AxisMapping CXGraphAxis::Mapping() const {
    const PixelRect plot = PlotRect();
    const double span = Max - Min;
    AxisMapping mapping;
    mapping.Scale = span > 0.0 && std::isfinite(span) ? Length / span : 0.0;
    mapping.Min = Min;
    mapping.Vertical = IsVertical();
    mapping.Origin = IsVertical() ? plot.bottom : plot.left;
    return mapping;
}

PixelPoint CXGraphAxis::ValueToPixel(CurvePoint point) {
    Span = Max - Min;
    const AxisMapping mapping = Mapping();
    return IsVertical() ? PixelPoint{0, mapping.Map(point.Y)} : PixelPoint{mapping.Map(point.X), 0};
}

void CXGraphAxis::AddAxisBand(std::int32_t index, double xFrom, double xTo, double yFrom,
                              double yTo, ChartColour colour, std::string_view text,
                              std::int32_t fillStyle) {
    AxisBand band{xFrom,  xTo,       yFrom, yTo,
                  colour, fillStyle, true,  std::string(text.substr(0, AxisBand::kMaxBandText))};
    if (index >= 0 && static_cast<std::size_t>(index) < Bands.size()) {
        Bands[static_cast<std::size_t>(index)] = std::move(band);
    } else {
        Bands.push_back(std::move(band));
    }
    if (Owner != nullptr) {
        Owner->Invalidate();
    }
}

std::string CXGraphAxis::FormatValue(double value) const {
    return FormatTickValue(Format, value * ShownPerUnit, DateAxis);
}

std::int32_t CXGraphAxis::WidestLabelWidth(ChartDeviceContext& dc) const {
    if (!(Min <= Max) || !std::isfinite(Min) || !std::isfinite(Max)) {
        return dc.MeasureText(LabelFont, "0").Width;
    }
    return std::max(dc.MeasureText(LabelFont, FormatValue(Min)).Width,
                    dc.MeasureText(LabelFont, FormatValue(Max)).Width);
}

std::int32_t CXGraphAxis::LabelHeight(ChartDeviceContext& dc) const {
    return dc.MeasureText(LabelFont, "0").Height;
}

TextExtent CXGraphAxis::TitleExtent(ChartDeviceContext& dc) const {
    if (Title.empty()) {
        return {};
    }
    return dc.MeasureText(TitleFont, Title);
}

void CXGraphAxis::Layout(ChartDeviceContext& dc) {
    if (AutoScaling) {
        AutoScale(dc);
    } else {
        LabelReserve = ReserveBase();
        LabelExtent = MarkerStripExtent();
    }
    title_ = TitleExtent(dc);
    LabelReserve += title_.Height;
    Length = std::max(1, AvailableLength());
    Span = Max - Min;
}

std::int32_t CXGraphAxis::TickCount() const {
    if (!(Step > 0.0) || !std::isfinite(Min) || !std::isfinite(Max) || Max < Min) {
        return 0;
    }
    const double steps = std::floor((Max - Min) / Step + 1e-9);
    if (!std::isfinite(steps) || steps >= kMaxTicks) {
        return kMaxTicks;
    }
    return static_cast<std::int32_t>(steps) + 1;
}

const CXGraphAxis* CXGraphAxis::CrossAxis() const {
    if (Owner == nullptr) {
        return nullptr;
    }
    const CXGraph& chart = *Owner;
    if (IsVertical()) {
        return chart.XAxisCount() > 0 ? &chart.XAxisAt(0) : nullptr;
    }
    return chart.YAxisCount() > 0 ? &chart.YAxisAt(0) : nullptr;
}

void CXGraphAxis::Draw(ChartDeviceContext& dc) {
    // A hidden axis still goes through every step, so that its measurements
    // are as if it were shown, but nothing reaches the device.
    MutedDrawing hidden(dc, !Visible);
    DrawBands(dc);
    DrawMarkerStrip(dc);
    DrawTitle(dc);
    DrawTicks(dc);
    DrawLineAndArrow(dc);
}

void CXGraphAxis::DrawBands(ChartDeviceContext& dc) {
    const CXGraphAxis* cross = CrossAxis();
    if (cross == nullptr || Bands.empty()) {
        return;
    }
    const AxisMapping toX = IsVertical() ? cross->Mapping() : Mapping();
    const AxisMapping toY = IsVertical() ? Mapping() : cross->Mapping();
    const PixelRect plot = PlotRect();
    for (const AxisBand& band : Bands) {
        const std::int32_t x1 = toX.Map(band.XFrom);
        const std::int32_t x2 = toX.Map(band.XTo);
        const std::int32_t y1 = toY.Map(band.YFrom);
        const std::int32_t y2 = toY.Map(band.YTo);
        PixelRect rect{std::min(x1, x2), std::min(y1, y2), std::max(x1, x2), std::max(y1, y2)};
        if (!band.LimitToXRange) {
            rect.left = plot.left;
            rect.right = plot.right;
        }
        rect = rect.Intersected(plot);
        if (rect.IsEmpty()) {
            continue;
        }
        // Bands are fills: black on a monochrome device, where a light
        // colour would vanish.
        const ChartColour colour = dc.Ink(band.Colour);
        if (band.FillStyle == kFillSolid) {
            dc.FillRect(rect, colour);
        } else {
            dc.DrawRect(rect, ChartPen{kPenSolid, 1, colour}, ChartBrush{band.FillStyle, colour});
        }
        if (!band.Text.empty()) {
            dc.DrawText(LabelFont, band.Text, rect.Deflated(2, 2), kTextLeft | kTextWordBreak,
                        dc.Ink(Colour), std::nullopt);
        }
    }
}

std::int32_t CXGraphAxis::MarkerStripExtent() const {
    if (!ShowCurveMarkers || Owner == nullptr) {
        return 0;
    }
    std::int32_t curves = 0;
    for (std::int32_t i = 0; i < Owner->CurveCount(); ++i) {
        const CXGraphDataSerie& curve = Owner->CurveAt(i);
        const std::int32_t axis = IsVertical() ? curve.YAxisIndex : curve.XAxisIndex;
        const CXGraphAxis* mine = nullptr;
        if (axis >= 0 && axis < (IsVertical() ? Owner->YAxisCount() : Owner->XAxisCount())) {
            mine = IsVertical() ? &Owner->YAxisAt(axis) : &Owner->XAxisAt(axis);
        }
        if (curve.Visible && mine == this) {
            ++curves;
        }
    }
    const std::int32_t perRow = IsVertical() ? 3 : 2;
    const std::int32_t rows = curves / perRow + (curves % perRow != 0 ? 1 : 0);
    return rows * CurveMarkerSize;
}

void CXGraphAxis::DrawMarkerStrip(ChartDeviceContext& dc) {
    if (!ShowCurveMarkers || Owner == nullptr) {
        return;
    }
    const std::int32_t size = CurveMarkerSize;
    const std::int32_t rows = MarkerStripExtent() / std::max(1, size);
    std::int32_t k = 0;
    for (std::int32_t i = 0; i < Owner->CurveCount(); ++i) {
        const CXGraphDataSerie& curve = Owner->CurveAt(i);
        const std::int32_t axis = IsVertical() ? curve.YAxisIndex : curve.XAxisIndex;
        const std::int32_t axes = IsVertical() ? Owner->YAxisCount() : Owner->XAxisCount();
        if (!curve.Visible || axis < 0 || axis >= axes ||
            (IsVertical() ? &Owner->YAxisAt(axis) : &Owner->XAxisAt(axis)) != this) {
            continue;
        }
        std::int32_t x = 0;
        std::int32_t y = 0;
        if (IsVertical()) {
            // Three per row above the axis end, on the side of the labels.
            const std::int32_t row = k / 3;
            const std::int32_t column = k % 3;
            x = Placement == kPlaceRight ? OriginX + TickLength + column * size
                                         : OriginX - TickLength - (3 - column) * size;
            y = OriginY - Length - (rows - row) * size;
        } else {
            // Two per column past the axis end, above the line.
            const std::int32_t column = k / 2;
            const std::int32_t row = k % 2;
            x = PlotRect().left + Length + column * size + 1;
            y = OriginY - ArrowSize - (2 - row) * size;
        }
        const std::int32_t symbol = curve.MarkerMode != 0 ? curve.MarkerSymbol : curve.CurveIndex;
        DrawMarker(dc, x, y, symbol, size, dc.Ink(curve.Colour), curve.MarkerMode == 1);
        ++k;
    }
}

PixelRect CXGraphAxis::TitleBox() const {
    const PixelRect plot = PlotRect();
    const std::int32_t height = title_.Height;
    const std::int32_t width = title_.Width;
    if (IsVertical()) {
        // At the top of the axis, beside the arrow on the side of the labels.
        if (Placement == kPlaceRight) {
            return {OriginX + ArrowSize + 1, plot.top, OriginX + ArrowSize + 1 + width,
                    plot.top + height};
        }
        return {OriginX - ArrowSize - width, plot.top, OriginX - ArrowSize, plot.top + height};
    }
    // At the right end, above the line and its arrow, and above the two rows
    // of the curve-marker strip when it is shown there.
    const bool strip = MarkerStripExtent() > 0;
    const std::int32_t bottom = OriginY - ArrowSize - 1 - (strip ? 2 * CurveMarkerSize : 0);
    return {plot.right - width - 1, bottom - height, plot.right - 1, bottom};
}

void CXGraphAxis::DrawTitle(ChartDeviceContext& dc) {
    if (Title.empty()) {
        return;
    }
    const bool left = IsVertical() && Placement == kPlaceRight;
    const std::int32_t format =
        kTextSingleLine | kTextNoClip | kTextTop | (left ? kTextLeft : kTextRight);
    dc.DrawText(TitleFont, Title, TitleBox(), format, dc.Ink(Colour), std::nullopt);
}

void CXGraphAxis::DrawTicks(ChartDeviceContext& dc) {
    const std::int32_t ticks = TickCount();
    if (ticks == 0) {
        return;
    }
    const PixelRect plot = PlotRect();
    const AxisMapping mapping = Mapping();
    const std::int32_t labelHeight = LabelHeight(dc);
    const ChartPen gridPen{GridStyle, 1, GridColour};
    const ChartColour textColour = dc.Ink(Colour);
    const bool right = Placement == kPlaceRight;
    for (std::int32_t i = 0; i < ticks; ++i) {
        const double value = Min + i * Step;
        const std::string text = FormatValue(value);
        const std::int32_t at = mapping.Map(value);
        if (IsVertical()) {
            const std::int32_t tickEnd = right ? OriginX + TickLength : OriginX - TickLength;
            dc.DrawLine(PixelPoint{OriginX, at}, PixelPoint{tickEnd, at}, gridPen);
            const PixelRect box = right ? PixelRect{tickEnd + 2, at - labelHeight,
                                                    tickEnd + 2 + kLabelBox, at + labelHeight}
                                        : PixelRect{tickEnd - 2 - kLabelBox, at - labelHeight,
                                                    tickEnd - 2, at + labelHeight};
            dc.DrawText(
                LabelFont, text, box,
                (right ? kTextLeft : kTextRight) | kTextVCenter | kTextSingleLine | kTextNoClip,
                textColour, std::nullopt);
            if (ShowGrid && i != 0) {
                dc.DrawLine(PixelPoint{OriginX, at}, PixelPoint{right ? plot.left : plot.right, at},
                            gridPen);
            }
        } else {
            dc.DrawLine(PixelPoint{at, OriginY}, PixelPoint{at, OriginY + TickLength}, gridPen);
            const PixelRect box{at - kLabelBox / 2, OriginY + TickLength, at + kLabelBox / 2,
                                OriginY + TickLength + labelHeight};
            dc.DrawText(LabelFont, text, box,
                        kTextCenter | kTextTop | kTextSingleLine | kTextNoClip, textColour,
                        std::nullopt);
            if (ShowGrid && i != 0) {
                dc.DrawLine(PixelPoint{at, OriginY}, PixelPoint{at, plot.top}, gridPen);
            }
        }
    }
}

void CXGraphAxis::DrawLineAndArrow(ChartDeviceContext& dc) {
    const ChartPen pen{kPenSolid, 1, dc.Ink(Colour)};
    if (IsVertical()) {
        const std::int32_t top = OriginY - Length;
        dc.DrawLine(PixelPoint{OriginX, OriginY}, PixelPoint{OriginX, top}, pen);
        DrawArrow(dc, PixelPoint{OriginX, top - ArrowSize}, PixelPoint{OriginX - ArrowSize, top},
                  PixelPoint{OriginX + ArrowSize, top});
        Rect = PixelRect{OriginX - 5, top, OriginX + 5, OriginY};
    } else {
        const std::int32_t end = PlotRect().left + Length;
        dc.DrawLine(PixelPoint{OriginX, OriginY}, PixelPoint{end, OriginY}, pen);
        DrawArrow(dc, PixelPoint{end + ArrowSize, OriginY}, PixelPoint{end, OriginY - ArrowSize},
                  PixelPoint{end, OriginY + ArrowSize});
        Rect = PixelRect{OriginX, OriginY - 5, end, OriginY + 5};
    }
}

void CXGraphAxis::DrawArrow(ChartDeviceContext& dc, PixelPoint tip, PixelPoint baseFrom,
                            PixelPoint baseTo) {
    const ChartColour ink = dc.Ink(Colour);
    if (dc.Scaling()) {
        // Printed, one-pixel lines widen with the print scale and would pile
        // up into steps; the triangle itself scales with the page instead.
        const PixelPoint triangle[] = {tip, baseFrom, baseTo};
        dc.FillPolygon(triangle, ChartBrush{kFillSolid, ink}, FillMix::Copy);
        return;
    }
    // On screen, stacked one-pixel lines from the tip, each a pixel wider on
    // both sides than the one before.
    const ChartPen pen{kPenSolid, 1, ink};
    for (std::int32_t i = 0; i < ArrowSize; ++i) {
        if (IsVertical()) {
            const std::int32_t y = tip.y + i;
            dc.DrawLine(PixelPoint{tip.x - i, y}, PixelPoint{tip.x + i, y}, pen);
        } else {
            const std::int32_t x = tip.x - i;
            dc.DrawLine(PixelPoint{x, tip.y - i}, PixelPoint{x, tip.y + i}, pen);
        }
    }
}

}  // namespace orvik
