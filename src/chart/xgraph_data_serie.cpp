#include "chart/xgraph_data_serie.h"

#include <cmath>

#include "chart/chart_device_context.h"
#include "chart/xgraph.h"

namespace orvik {

CXGraphDataSerie::CXGraphDataSerie(const CXGraphDataSerie& other) {
    *this = other;
}

CXGraphDataSerie& CXGraphDataSerie::operator=(const CXGraphDataSerie& other) {
    if (this == &other) {
        return *this;
    }
    CXGraphObject::operator=(other);
    XAxisIndex = other.XAxisIndex;
    YAxisIndex = other.YAxisIndex;
    CurveIndex = other.CurveIndex;
    LineWidth = other.LineWidth;
    FillStyle = other.FillStyle;
    MarkerMode = other.MarkerMode;
    MarkerSymbol = other.MarkerSymbol;
    MarkerSize = other.MarkerSize;
    LineStyle = other.LineStyle;
    ShowMarkers = other.ShowMarkers;
    Filled = other.Filled;
    FillTransparent = other.FillTransparent;
    FillColour = other.FillColour;
    Label = other.Label;
    DrawStyle = other.DrawStyle;
    FillPartner = other.FillPartner;
    if (other.OwnsPoints()) {
        CopyPoints(other.source_, other.count_);
    } else {
        ReferencePoints(other.source_, other.count_);
    }
    return *this;
}

void CXGraphDataSerie::ReferencePoints(const CurvePointSource& source, std::int32_t count) {
    owned_.clear();
    owned_.shrink_to_fit();
    source_ = source;
    count_ = source.Base == nullptr ? 0 : std::max(count, 0);
}

void CXGraphDataSerie::CopyPoints(const CurvePointSource& source, std::int32_t count) {
    std::vector<CurvePoint> copy;
    if (source.Base != nullptr && count > 0) {
        copy.reserve(static_cast<std::size_t>(count));
        for (std::int32_t i = 0; i < count; ++i) {
            copy.push_back(source.At(i));
        }
    }
    owned_ = std::move(copy);
    source_ = owned_.empty() ? CurvePointSource{} : CurvePointSource::Of(owned_.data());
    count_ = static_cast<std::int32_t>(owned_.size());
}

bool CXGraphDataSerie::ResolveAxes(const CXGraphAxis*& xAxis, const CXGraphAxis*& yAxis) const {
    if (Owner == nullptr || XAxisIndex < 0 || YAxisIndex < 0 || XAxisIndex >= Owner->XAxisCount() ||
        YAxisIndex >= Owner->YAxisCount()) {
        return false;
    }
    xAxis = &Owner->XAxisAt(XAxisIndex);
    yAxis = &Owner->YAxisAt(YAxisIndex);
    return true;
}

std::vector<PixelPoint> CXGraphDataSerie::DrawnPixels(const CXGraphAxis& xAxis,
                                                      const CXGraphAxis& yAxis) const {
    const AxisMapping toX = xAxis.Mapping();
    const AxisMapping toY = yAxis.Mapping();
    std::vector<PixelPoint> pixels;
    bool havePrevious = false;
    std::int32_t previousX = 0;
    for (std::int32_t i = 0; i < count_; ++i) {
        const CurvePoint point = source_.At(i);
        if (!std::isfinite(point.X) || !std::isfinite(point.Y)) {
            continue;
        }
        const std::int32_t x = toX.Map(point.X);
        // Points denser than the pixel columns add nothing but time: only the
        // first point of each column is drawn.
        if (havePrevious && x == previousX) {
            continue;
        }
        pixels.push_back(PixelPoint{x, toY.Map(point.Y)});
        previousX = x;
        havePrevious = true;
    }
    return pixels;
}

void CXGraphDataSerie::Draw(ChartDeviceContext& dc) {
    const CXGraphAxis* xAxis = nullptr;
    const CXGraphAxis* yAxis = nullptr;
    if (count_ <= 0 || !ResolveAxes(xAxis, yAxis)) {
        return;
    }
    const ChartColour colour = dc.Ink(Colour);
    const ChartPen pen{LineStyle, LineWidth, colour};
    std::vector<PixelPoint> pixels = DrawnPixels(*xAxis, *yAxis);
    if (DrawStyle == kDrawLines) {
        if (pixels.size() >= 2) {
            dc.DrawPolyline(pixels, pen);
        }
    } else if (DrawStyle == kDrawDots) {
        const std::int32_t r = LineWidth;
        for (const PixelPoint& p : pixels) {
            dc.DrawEllipse(PixelRect{p.x - r, p.y - r, p.x + r + 1, p.y + r + 1}, pen,
                           ChartBrush{kFillSolid, colour});
        }
    }
    if (Filled && !pixels.empty()) {
        DrawFill(dc, std::move(pixels));
    }
}

void CXGraphDataSerie::DrawFill(ChartDeviceContext& dc, std::vector<PixelPoint> polygon) {
    const CXGraph& chart = *Owner;
    const bool partnerExists = FillPartner >= 0 && FillPartner < chart.CurveCount();
    if (partnerExists) {
        const CXGraphDataSerie& partner = chart.CurveAt(FillPartner);
        const CXGraphAxis* xAxis = nullptr;
        const CXGraphAxis* yAxis = nullptr;
        if (partner.ResolveAxes(xAxis, yAxis)) {
            const std::vector<PixelPoint> other = partner.DrawnPixels(*xAxis, *yAxis);
            polygon.insert(polygon.end(), other.rbegin(), other.rend());
        }
    } else {
        // Closed down to the plot bottom; also when the partner named does not
        // exist, so that a lone filled curve still fills.
        const std::int32_t bottom = chart.PlotRect().bottom;
        const PixelPoint first = polygon.front();
        const PixelPoint last = polygon.back();
        polygon.push_back(PixelPoint{last.x, bottom});
        polygon.push_back(PixelPoint{first.x, bottom});
    }
    const ChartBrush brush{FillStyle >= 0 && FillStyle <= kFillSolid ? FillStyle : kFillSolid,
                           dc.Ink(FillColour)};
    dc.FillPolygon(polygon, brush, FillTransparent ? FillMix::NotXor : FillMix::Copy);
}

std::int32_t CXGraphDataSerie::MarkerStride() const {
    const std::int32_t plotWidth = Owner != nullptr ? Owner->PlotRect().Width() : 0;
    const std::int32_t perWidth = MarkerSize > 0 ? (plotWidth / MarkerSize) / 4 : 0;
    if (perWidth <= 0) {
        return 2;
    }
    const std::int32_t stride = count_ / perWidth;
    return stride <= 0 ? 2 : stride;
}

void CXGraphDataSerie::DrawMarkers(ChartDeviceContext& dc) {
    const CXGraphAxis* xAxis = nullptr;
    const CXGraphAxis* yAxis = nullptr;
    if (count_ <= 0 || !ResolveAxes(xAxis, yAxis)) {
        return;
    }
    const AxisMapping toX = xAxis->Mapping();
    const AxisMapping toY = yAxis->Mapping();
    const std::int32_t stride = MarkerStride();
    const std::int32_t symbol = MarkerMode != 0 ? MarkerSymbol : CurveIndex;
    for (std::int64_t i = 0; i < count_; i += stride) {
        const CurvePoint point = source_.At(static_cast<std::int32_t>(i));
        if (!std::isfinite(point.X) || !std::isfinite(point.Y)) {
            continue;
        }
        DrawMarker(dc, toX.Map(point.X) - MarkerSize / 2, toY.Map(point.Y) - MarkerSize / 2, symbol,
                   MarkerSize, dc.Ink(Colour), MarkerMode == 1);
    }
}

}  // namespace orvik
