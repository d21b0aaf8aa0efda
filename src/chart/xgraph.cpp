#include "chart/xgraph.h"

#include <cmath>
#include <cstdio>
#include <stdexcept>

#include "chart/chart_device_context.h"

namespace orvik {

namespace {

template <class Item>
Item& Element(std::deque<Item>& items, std::int32_t i, const char* what) {
    if (i < 0 || static_cast<std::size_t>(i) >= items.size()) {
        throw std::out_of_range(what);
    }
    return items[static_cast<std::size_t>(i)];
}

bool IndexFits(std::int32_t index, std::size_t size) {
    return index >= 0 && static_cast<std::size_t>(index) <= size;
}

}  // namespace

CXGraphDataSerie* CXGraph::SetCurveData(const CurvePoint* points, std::int32_t count,
                                        std::int32_t curve, std::int32_t xAxis, std::int32_t yAxis,
                                        bool copy) {
    if (points == nullptr) {
        return nullptr;
    }
    return SetCurveSource(CurvePointSource::Of(points), count, curve, xAxis, yAxis, copy);
}

CXGraphDataSerie* CXGraph::SetCurveSource(const CurvePointSource& source, std::int32_t count,
                                          std::int32_t curve, std::int32_t xAxis,
                                          std::int32_t yAxis, bool copy) {
    if (source.Base == nullptr || count <= 0) {
        return nullptr;
    }
    if (!IndexFits(curve, curves_.size()) || !IndexFits(xAxis, xAxes_.size()) ||
        !IndexFits(yAxis, yAxes_.size())) {
        return nullptr;
    }
    if (static_cast<std::size_t>(xAxis) == xAxes_.size()) {
        xAxes_.emplace_back(kHorizontalAxis).Owner = this;
    }
    if (static_cast<std::size_t>(yAxis) == yAxes_.size()) {
        yAxes_.emplace_back(kVerticalAxis).Owner = this;
    }
    CXGraphDataSerie* serie = nullptr;
    if (static_cast<std::size_t>(curve) == curves_.size()) {
        serie = &curves_.emplace_back();
        serie->CurveIndex = curve;
        serie->Colour = kCurvePalette[static_cast<std::size_t>(curve) % 12];
        if (copy) {
            serie->CopyPoints(source, count);
        } else {
            serie->ReferencePoints(source, count);
        }
    } else {
        // An existing curve refers to the caller's array even when asked to
        // copy; it never claims to own an array it did not copy.
        serie = &curves_[static_cast<std::size_t>(curve)];
        serie->ReferencePoints(source, count);
    }
    serie->XAxisIndex = xAxis;
    serie->YAxisIndex = yAxis;
    serie->Owner = this;
    WidenAxis(xAxes_[static_cast<std::size_t>(xAxis)], *serie, true);
    WidenAxis(yAxes_[static_cast<std::size_t>(yAxis)], *serie, false);
    Invalidate();
    return serie;
}

void CXGraph::WidenAxis(CXGraphAxis& axis, const CXGraphDataSerie& curve, bool useX) {
    double low = axis.DataMin;
    double high = axis.DataMax;
    for (std::int32_t i = 0; i < curve.Count(); ++i) {
        const CurvePoint point = curve.PointAt(i);
        const double value = useX ? point.X : point.Y;
        if (std::isfinite(value)) {
            low = std::min(low, value);
            high = std::max(high, value);
        }
    }
    axis.SetDataRange(low, high);
}

CXGraphDataSerie& CXGraph::CurveAt(std::int32_t i) {
    return Element(curves_, i, "curve index");
}
CXGraphAxis& CXGraph::XAxisAt(std::int32_t i) {
    return Element(xAxes_, i, "X axis index");
}
CXGraphAxis& CXGraph::YAxisAt(std::int32_t i) {
    return Element(yAxes_, i, "Y axis index");
}
const CXGraphDataSerie& CXGraph::CurveAt(std::int32_t i) const {
    return const_cast<CXGraph*>(this)->CurveAt(i);
}
const CXGraphAxis& CXGraph::XAxisAt(std::int32_t i) const {
    return const_cast<CXGraph*>(this)->XAxisAt(i);
}
const CXGraphAxis& CXGraph::YAxisAt(std::int32_t i) const {
    return const_cast<CXGraph*>(this)->YAxisAt(i);
}

CXGraphLabel* CXGraph::AddFontLabel(const PixelRect& rect, std::int32_t fontHeight,
                                    ChartColour textColour, std::string text) {
    auto label = std::make_unique<CXGraphLabel>();
    label->Rect = rect;
    label->Text = std::move(text);
    label->Font = ChartFont{"Times New Roman", fontHeight, 400};
    label->TextColour = textColour;
    label->Framed = false;
    label->Transparent = true;
    return static_cast<CXGraphLabel*>(AddObject(std::move(label)));
}

CXGraphObject* CXGraph::AddObject(std::unique_ptr<CXGraphObject> object) {
    object->Owner = this;
    objects_.push_back(std::move(object));
    Invalidate();
    return objects_.back().get();
}

void CXGraph::Paint(DeviceContext& dc, const PixelRect& client) {
    ChartDeviceContext chartDc(dc);
    PaintAll(chartDc, client);
}

void CXGraph::PrintTo(DeviceContext& dc, double screenDpiX, double screenDpiY) {
    ChartDeviceContext chartDc(dc, screenDpiX, screenDpiY);
    const DeviceCaps caps = dc.Caps();
    const PixelRect page{0, 0, TruncateToPixel(caps.WidthPixels / chartDc.ScaleX()),
                         TruncateToPixel(caps.HeightPixels / chartDc.ScaleY())};
    PaintAll(chartDc, page);
}

void CXGraph::PaintAll(ChartDeviceContext& dc, const PixelRect& client) {
    dc.FillRect(client, dc.Paper(BackColour));
    PixelRect area{client.left + MarginLeft, client.top + MarginTop, client.right - MarginRight,
                   client.bottom - MarginBottom};
    legendEntries_.clear();
    if (ShowLegend) {
        DrawLegend(dc, area);
    }
    dc.FillRect(area, dc.Paper(GraphColour));
    PlaceAxes(dc, area);
    dc.FillRect(plotRect_, dc.Paper(PlotColour));

    for (CXGraphAxis& axis : yAxes_) {
        axis.Layout(dc);
    }
    for (CXGraphAxis& axis : xAxes_) {
        axis.Layout(dc);
    }
    for (CXGraphAxis& axis : yAxes_) {
        axis.Draw(dc);
    }
    for (CXGraphAxis& axis : xAxes_) {
        axis.Draw(dc);
    }

    dc.SetClip(plotRect_);
    for (CXGraphDataSerie& curve : curves_) {
        if (curve.Visible) {
            curve.Draw(dc);
        }
    }
    for (CXGraphDataSerie& curve : curves_) {
        if (curve.Visible && curve.ShowMarkers) {
            curve.DrawMarkers(dc);
        }
    }
    for (const auto& object : objects_) {
        if (object->Visible) {
            object->Draw(dc);
        }
    }
    dc.ClearClip();
}

void CXGraph::PlaceAxes(ChartDeviceContext& dc, const PixelRect& area) {
    int nextPlacement = kPlaceLeft;
    for (CXGraphAxis& axis : yAxes_) {
        if (axis.Placement == kPlaceAlternate) {
            axis.Placement = nextPlacement;
            nextPlacement = nextPlacement == kPlaceLeft ? kPlaceRight : kPlaceLeft;
        }
    }
    std::int32_t left = area.left;
    std::int32_t right = area.right;
    std::int32_t bottom = area.bottom;
    for (int side : {kPlaceLeft, kPlaceRight}) {
        for (CXGraphAxis& axis : yAxes_) {
            if (axis.Placement != side) {
                continue;
            }
            const std::int32_t width =
                std::max(axis.WidestLabelWidth(dc), axis.TitleExtent(dc).Width + axis.ArrowSize);
            if (axis.Visible) {
                if (side == kPlaceLeft) {
                    left += width + AxisGap;
                } else {
                    right -= width + AxisGap;
                }
            }
            axis.OriginX = side == kPlaceLeft ? left : right;
        }
    }
    for (CXGraphAxis& axis : xAxes_) {
        if (axis.Visible) {
            bottom -= axis.LabelHeight(dc) + AxisGap;
        }
        axis.OriginY = bottom;
        axis.OriginX = left;
    }
    plotRect_ = PixelRect{left + 1, area.top, right, bottom};
    for (CXGraphAxis& axis : yAxes_) {
        axis.OriginY = plotRect_.bottom;
    }
}

void CXGraph::DrawLegend(ChartDeviceContext& dc, PixelRect& area) {
    const ChartFont font{"Arial", 13, 400};
    struct Row {
        std::int32_t curve;
        std::string text;
        TextExtent extent;
    };
    std::vector<Row> rows;
    std::int32_t widest = 0;
    std::int32_t totalHeight = 0;
    for (const CXGraphDataSerie& curve : curves_) {
        if (!curve.Visible) {
            continue;
        }
        char number[16];
        std::snprintf(number, sizeof number, "%02d ", curve.CurveIndex + 1);
        Row row{curve.CurveIndex, number + curve.Label, {}};
        row.extent = dc.MeasureText(font, row.text);
        widest = std::max(widest, row.extent.Width);
        totalHeight += row.extent.Height;
        rows.push_back(std::move(row));
    }
    PixelRect box{0, area.top + 10, 0, area.top + totalHeight + 12};
    if (LegendSide == 0) {
        box.left = area.left + 10;
        box.right = box.left + widest + 16;
        area.left += widest + 36;
    } else {
        box.right = area.right - 10;
        box.left = box.right - (widest + 16);
        area.right -= widest + 36;
    }
    dc.DrawRect(box, ChartPen{kPenSolid, 1, kBlack},
                ChartBrush{kFillSolid, dc.Paper(kWindowColour)});
    box = box.Deflated(1, 1);
    std::int32_t top = box.top;
    for (const Row& row : rows) {
        const PixelRect rowRect{box.left, top, box.right, top + row.extent.Height};
        const CXGraphDataSerie& curve = curves_[static_cast<std::size_t>(row.curve)];
        dc.DrawText(font, row.text,
                    PixelRect{box.left + 12, rowRect.top, box.right, rowRect.bottom},
                    kTextLeft | kTextVCenter | kTextSingleLine | kTextNoClip, dc.Ink(kBlack),
                    dc.Paper(kWindowColour));
        const std::int32_t middle = (rowRect.top + rowRect.bottom) / 2;
        if (curve.MarkerMode != 0) {
            DrawMarker(dc, box.left + 2, middle - 4, curve.MarkerSymbol, 8, dc.Ink(curve.Colour),
                       curve.MarkerMode == 1);
        } else {
            dc.FillRect(PixelRect{box.left + 2, middle - 2, box.left + 10, middle + 2},
                        dc.Ink(curve.Colour));
        }
        legendEntries_.push_back(LegendEntry{rowRect, row.curve});
        top = rowRect.bottom;
    }
}

}  // namespace orvik
