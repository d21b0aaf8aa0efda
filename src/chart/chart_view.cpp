#include "chart/chart_view.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>

namespace orvik {

namespace {

bool HasAxes(const CXGraph& chart) {
    return chart.XAxisCount() > 0 && chart.YAxisCount() > 0;
}

bool HasData(const CXGraphAxis& axis) {
    return axis.DataMin < axis.DataMax && std::isfinite(axis.DataMin) &&
           std::isfinite(axis.DataMax);
}

AxisWindow Requested(const CXGraphAxis& axis) {
    return axis.Zoom ? *axis.Zoom : AxisWindow{axis.DataMin, axis.DataMax};
}

// Keeps a requested part inside the data range and no narrower than the
// deepest zoom; the whole range (or more) is no zoom at all.
void Request(CXGraphAxis& axis, AxisWindow window) {
    if (!HasData(axis) || !(window.From < window.To) || !std::isfinite(window.From) ||
        !std::isfinite(window.To)) {
        return;
    }
    const double full = axis.DataMax - axis.DataMin;
    double span = window.To - window.From;
    if (span >= full) {
        axis.Zoom.reset();
        return;
    }
    const double narrowest = full / kMaxZoom;
    if (span < narrowest) {
        const double middle = window.From + span / 2;
        span = narrowest;
        window = {middle - span / 2, middle + span / 2};
    }
    if (window.From < axis.DataMin) {
        window = {axis.DataMin, axis.DataMin + span};
    } else if (window.To > axis.DataMax) {
        window = {axis.DataMax - span, axis.DataMax};
    }
    axis.Zoom = window;
}

// The value at the centre of a pixel along one axis.
double ValueAt(const CXGraphAxis& axis, std::int32_t pixel) {
    const AxisMapping mapping = axis.Mapping();
    if (!(mapping.Scale > 0.0)) {
        return mapping.Min;
    }
    const double offset =
        mapping.Vertical ? mapping.Origin - pixel - 0.5 : pixel + 0.5 - mapping.Origin;
    return mapping.Min + offset / mapping.Scale;
}

// Pixels per data unit along one axis, 0 before a layout.
double Scale(const CXGraphAxis& axis) {
    return axis.Mapping().Scale;
}

}  // namespace

CurvePoint ChartValueAt(const CXGraph& chart, PixelPoint pixel) {
    if (!HasAxes(chart)) {
        return {};
    }
    return {ValueAt(chart.XAxisAt(0), pixel.x), ValueAt(chart.YAxisAt(0), pixel.y)};
}

CurvePoint ChartView::PixelToValue(PixelPoint pixel) const {
    return ChartValueAt(chart_, pixel);
}

PixelPoint ChartView::ValueToPixel(CurvePoint value) const {
    if (!HasAxes(chart_)) {
        return {};
    }
    return {chart_.XAxisAt(0).Mapping().Map(value.X), chart_.YAxisAt(0).Mapping().Map(value.Y)};
}

void ChartView::ZoomAround(PixelPoint pixel, double factor) {
    if (!HasAxes(chart_) || !(factor > 0.0) || !std::isfinite(factor)) {
        return;
    }
    const CurvePoint at = PixelToValue(pixel);
    const auto around = [factor](CXGraphAxis& axis, double value) {
        const AxisWindow now = Requested(axis);
        value = std::clamp(value, now.From, now.To);
        Request(axis, {value - (value - now.From) * factor, value + (now.To - value) * factor});
    };
    around(chart_.XAxisAt(0), at.X);
    around(chart_.YAxisAt(0), at.Y);
    chart_.Invalidate();
}

bool ChartView::ZoomToRect(PixelPoint corner, PixelPoint opposite) {
    if (!HasAxes(chart_) || std::abs(corner.x - opposite.x) < kMinZoomDrag ||
        std::abs(corner.y - opposite.y) < kMinZoomDrag) {
        return false;
    }
    const CurvePoint a = PixelToValue(corner);
    const CurvePoint b = PixelToValue(opposite);
    Request(chart_.XAxisAt(0), {std::min(a.X, b.X), std::max(a.X, b.X)});
    Request(chart_.YAxisAt(0), {std::min(a.Y, b.Y), std::max(a.Y, b.Y)});
    chart_.Invalidate();
    return true;
}

void ChartView::PanBy(std::int32_t dx, std::int32_t dy) {
    if (!HasAxes(chart_)) {
        return;
    }
    const auto shift = [](CXGraphAxis& axis, double by) {
        const double scale = Scale(axis);
        if (!axis.Zoom || !(scale > 0.0)) {
            return;
        }
        const AxisWindow now = *axis.Zoom;
        Request(axis, {now.From + by / scale, now.To + by / scale});
    };
    // Dragged right, the plot shows smaller positions; dragged down, larger
    // impedances.
    shift(chart_.XAxisAt(0), -dx);
    shift(chart_.YAxisAt(0), dy);
    chart_.Invalidate();
}

void ChartView::Reset() {
    if (!HasAxes(chart_)) {
        return;
    }
    chart_.XAxisAt(0).Zoom.reset();
    chart_.YAxisAt(0).Zoom.reset();
    chart_.Invalidate();
}

bool ChartView::IsZoomed() const {
    return HasAxes(chart_) && (chart_.XAxisAt(0).Zoom || chart_.YAxisAt(0).Zoom);
}

void ShowPositionsIn(CXGraph& chart, LengthUnit unit) {
    if (chart.XAxisCount() == 0) {
        return;
    }
    CXGraphAxis& x = chart.XAxisAt(0);
    x.ShownPerUnit = ToShownLength(1.0, unit);
    x.Title = LengthUnitTitle(unit);
    chart.Invalidate();
}

}  // namespace orvik
