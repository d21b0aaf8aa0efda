#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "chart/xgraph_object.h"

namespace orvik {

class CXGraphAxis;

// Where a curve's points live: any array whose elements hold an x and a y
// double, read in place. A chart can so plot a caller's samples without
// copying them.
struct CurvePointSource {
    const unsigned char* Base = nullptr;
    std::size_t Stride = sizeof(CurvePoint);
    std::size_t XOffset = 0;
    std::size_t YOffset = sizeof(double);

    static CurvePointSource Of(const CurvePoint* points) {
        return {reinterpret_cast<const unsigned char*>(points), sizeof(CurvePoint), 0,
                sizeof(double)};
    }
    // Samples of any layout, given the members that hold x and y.
    template <class Sample>
    static CurvePointSource Of(const Sample* samples, double Sample::*x, double Sample::*y) {
        if (samples == nullptr) {
            return {};
        }
        const auto* base = reinterpret_cast<const unsigned char*>(samples);
        return {
            base, sizeof(Sample),
            static_cast<std::size_t>(reinterpret_cast<const unsigned char*>(&(samples->*x)) - base),
            static_cast<std::size_t>(reinterpret_cast<const unsigned char*>(&(samples->*y)) -
                                     base)};
    }

    CurvePoint At(std::int32_t i) const {
        CurvePoint point;
        const unsigned char* element = Base + static_cast<std::size_t>(i) * Stride;
        std::memcpy(&point.X, element + XOffset, sizeof(double));
        std::memcpy(&point.Y, element + YOffset, sizeof(double));
        return point;
    }
};

// Draw styles of a curve.
inline constexpr int kDrawLines = 0;
inline constexpr int kDrawDots = 1;

// Fill partner meaning "fill down to the plot bottom".
inline constexpr std::int16_t kFillToBottom = -1;

// One curve: its points, the axes it is plotted against and how it is drawn.
class CXGraphDataSerie : public CXGraphObject {
  public:
    CXGraphDataSerie() = default;
    // A copy gets its own array only when the original owns its points;
    // otherwise both refer to the same caller's array.
    CXGraphDataSerie(const CXGraphDataSerie& other);
    CXGraphDataSerie& operator=(const CXGraphDataSerie& other);

    // Refers to the caller's points, which must outlive their use here.
    void ReferencePoints(const CurvePointSource& source, std::int32_t count);
    // Copies the points; the curve owns the copy.
    void CopyPoints(const CurvePointSource& source, std::int32_t count);

    std::int32_t Count() const { return count_; }
    CurvePoint PointAt(std::int32_t i) const { return source_.At(i); }
    const void* PointsAddress() const { return source_.Base; }
    bool OwnsPoints() const { return !owned_.empty(); }

    // Painted in two passes: all curves first, then the markers of all curves.
    void Draw(ChartDeviceContext& dc) override;
    void DrawMarkers(ChartDeviceContext& dc);

    // The pixel points a line through the curve visits: the first point of
    // each run of points that fall on one pixel column. Points that are not
    // finite numbers are left out.
    std::vector<PixelPoint> DrawnPixels(const CXGraphAxis& xAxis, const CXGraphAxis& yAxis) const;
    // Markers go on every MarkerStride()-th point from the first.
    std::int32_t MarkerStride() const;

    std::int32_t XAxisIndex = 0;
    std::int32_t YAxisIndex = 0;
    std::int32_t CurveIndex = 0;
    std::int32_t LineWidth = 1;  // also the radius of dots
    std::int32_t FillStyle = kFillSolid;
    std::int32_t MarkerMode = 0;  // 0 numbered square, 1 the marker symbol, else numbered by symbol
    std::int32_t MarkerSymbol = 0;  // square, circle, cross, diamond, triangles left/up/right/down
    std::int32_t MarkerSize = 10;
    std::int32_t LineStyle = kPenSolid;
    bool ShowMarkers = false;
    bool Filled = false;
    bool FillTransparent = true;
    ChartColour FillColour = kWhite;
    std::string Label = " ";
    std::int32_t DrawStyle = kDrawLines;
    std::int16_t FillPartner = 1;  // kFillToBottom, or the curve the fill closes against

  private:
    bool ResolveAxes(const CXGraphAxis*& xAxis, const CXGraphAxis*& yAxis) const;
    void DrawFill(ChartDeviceContext& dc, std::vector<PixelPoint> polygon);

    CurvePointSource source_;
    std::int32_t count_ = 0;
    std::vector<CurvePoint> owned_;
};

}  // namespace orvik
