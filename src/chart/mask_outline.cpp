#include "chart/mask_outline.h"

#include "chart/coloured_text.h"
#include "chart/xgraph_data_serie.h"

namespace orvik {
namespace {

// A curve drawn among the chart's free objects rather than its curves.
class MaskEdge : public CXGraphDataSerie {};

std::vector<MaskEdge*> EdgesOf(const CXGraph& chart) {
    std::vector<MaskEdge*> edges;
    for (const auto& object : chart.Objects()) {
        if (auto* edge = dynamic_cast<MaskEdge*>(object.get())) {
            edges.push_back(edge);
        }
    }
    return edges;
}

}  // namespace

void ShowMaskOutline(CXGraph& chart, const std::vector<CurvePoint>& lower,
                     const std::vector<CurvePoint>& upper, bool highContrast) {
    std::vector<MaskEdge*> edges = EdgesOf(chart);
    while (edges.size() < 2) {
        edges.push_back(static_cast<MaskEdge*>(chart.AddObject(std::make_unique<MaskEdge>())));
    }
    const ChartColour colour = highContrast
                                   ? ReadableOn(kMaskOutlineColour, kWhite, kComfortableContrast)
                                   : kMaskOutlineColour;
    const std::vector<CurvePoint>* points[] = {&lower, &upper};
    for (std::size_t i = 0; i < 2; ++i) {
        MaskEdge& edge = *edges[i];
        edge.CopyPoints(CurvePointSource::Of(points[i]->data()),
                        static_cast<std::int32_t>(points[i]->size()));
        edge.Visible = points[i]->size() >= 2;
        edge.Colour = colour;
        edge.LineStyle = kPenDash;
        edge.LineWidth = 2;
        edge.Label = "Reference mask";
    }
    chart.Invalidate();
}

std::vector<const CXGraphDataSerie*> MaskOutlineEdges(const CXGraph& chart) {
    std::vector<const CXGraphDataSerie*> edges;
    for (MaskEdge* edge : EdgesOf(chart)) {
        edges.push_back(edge);
    }
    return edges;
}

}  // namespace orvik
