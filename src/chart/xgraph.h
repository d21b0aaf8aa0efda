#pragma once

#include <cstdint>
#include <deque>
#include <memory>
#include <string>
#include <vector>

#include "chart/xgraph_axis.h"
#include "chart/xgraph_data_serie.h"
#include "chart/xgraph_label.h"

namespace orvik {

class DeviceContext;
class ChartDeviceContext;

// One row of the legend: where it was drawn and which curve it shows.
struct LegendEntry {
    PixelRect Rect;
    std::int32_t Curve = 0;
};

// The colours new curves take, by curve count modulo 12.
inline constexpr ChartColour kCurvePalette[12] = {
    0x000080, 0x0000FF, 0x008080, 0x00FFFF, 0x008000, 0x00FF00,
    0x808000, 0xFFFF00, 0x800000, 0xFF0000, 0x800080, 0xFF00FF,
};

// A chart: curves plotted against X and Y axes with automatic 1-2-5 ticks,
// bands, a legend and free labels. It paints itself into any device context;
// the window that shows it (or a printer) supplies one.
//
// Curves and axes live as long as the chart and keep their addresses when
// more are added.
class CXGraph {
  public:
    CXGraph() = default;
    virtual ~CXGraph() = default;
    CXGraph(const CXGraph&) = delete;
    CXGraph& operator=(const CXGraph&) = delete;

    // Gives curve `curve` its points, plotted against X axis `xAxis` and Y axis
    // `yAxis`. An index equal to the number of curves (or axes) appends a new
    // one; a higher or negative index is refused. A new curve copies the
    // points when `copy` is set and otherwise refers to them; an existing
    // curve always refers to the caller's points. The axes' data ranges widen
    // to take in the points. Returns null, changing nothing, when there are no
    // points or an index is out of range.
    CXGraphDataSerie* SetCurveData(const CurvePoint* points, std::int32_t count, std::int32_t curve,
                                   std::int32_t xAxis, std::int32_t yAxis, bool copy);
    // The same for samples of any layout, given the members holding x and y.
    template <class Sample>
    CXGraphDataSerie* SetCurveData(const Sample* samples, std::int32_t count, double Sample::*x,
                                   double Sample::*y, std::int32_t curve, std::int32_t xAxis,
                                   std::int32_t yAxis, bool copy) {
        if (samples == nullptr) {
            return nullptr;
        }
        return SetCurveSource(CurvePointSource::Of(samples, x, y), count, curve, xAxis, yAxis,
                              copy);
    }
    CXGraphDataSerie* SetCurveSource(const CurvePointSource& source, std::int32_t count,
                                     std::int32_t curve, std::int32_t xAxis, std::int32_t yAxis,
                                     bool copy);

    // Element i of each array; an index out of range throws std::out_of_range.
    CXGraphDataSerie& CurveAt(std::int32_t i);
    CXGraphAxis& XAxisAt(std::int32_t i);
    CXGraphAxis& YAxisAt(std::int32_t i);
    const CXGraphDataSerie& CurveAt(std::int32_t i) const;
    const CXGraphAxis& XAxisAt(std::int32_t i) const;
    const CXGraphAxis& YAxisAt(std::int32_t i) const;
    std::int32_t CurveCount() const { return static_cast<std::int32_t>(curves_.size()); }
    std::int32_t XAxisCount() const { return static_cast<std::int32_t>(xAxes_.size()); }
    std::int32_t YAxisCount() const { return static_cast<std::int32_t>(yAxes_.size()); }

    // A transparent, frameless label in "Times New Roman" of the given height.
    CXGraphLabel* AddFontLabel(const PixelRect& rect, std::int32_t fontHeight,
                               ChartColour textColour, std::string text);
    // Appends any object; the chart owns it and draws it after the curves.
    CXGraphObject* AddObject(std::unique_ptr<CXGraphObject> object);
    const std::vector<std::unique_ptr<CXGraphObject>>& Objects() const { return objects_; }

    // Paints the whole chart into a window's client rectangle.
    void Paint(DeviceContext& dc, const PixelRect& client);
    // Paints the whole chart onto a printer page (or an image): the chart is
    // laid out in screen pixels and scaled to the device's resolution, in
    // black and white on a monochrome device.
    void PrintTo(DeviceContext& dc, double screenDpiX = 96.0, double screenDpiY = 96.0);

    const PixelRect& PlotRect() const { return plotRect_; }
    const std::vector<LegendEntry>& LegendEntries() const { return legendEntries_; }

    // The window behind the chart: repaint it, is it shown, and a context to
    // measure text with while it is not painting. Without a window the chart
    // only paints when asked.
    virtual void Invalidate() {}
    virtual bool IsWindowVisible() const { return false; }
    virtual DeviceContext* MeasuringContext() { return nullptr; }

    ChartColour BackColour = kWhite;
    ChartColour GraphColour = kWhite;
    ChartColour PlotColour = 0xF0F0F0;
    bool DoubleBuffered = true;
    bool ShowLegend = true;
    std::int32_t LegendSide = 1;  // 0 left of the graph area, 1 right
    std::int32_t MarginLeft = 5;
    std::int32_t MarginTop = 5;
    std::int32_t MarginRight = 5;
    std::int32_t MarginBottom = 5;
    std::int32_t AxisGap = 5;

    static constexpr ChartColour kWindowColour = kWhite;

  private:
    void PaintAll(ChartDeviceContext& dc, const PixelRect& client);
    void DrawLegend(ChartDeviceContext& dc, PixelRect& area);
    void PlaceAxes(ChartDeviceContext& dc, const PixelRect& area);
    void WidenAxis(CXGraphAxis& axis, const CXGraphDataSerie& curve, bool useX);

    std::deque<CXGraphDataSerie> curves_;
    std::deque<CXGraphAxis> xAxes_;
    std::deque<CXGraphAxis> yAxes_;
    std::vector<std::unique_ptr<CXGraphObject>> objects_;
    std::vector<LegendEntry> legendEntries_;
    PixelRect plotRect_;
};

}  // namespace orvik
