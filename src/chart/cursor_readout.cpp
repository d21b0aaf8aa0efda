#include "chart/cursor_readout.h"

#include <algorithm>
#include <cmath>

#include "base/c_numbers.h"
#include "chart/chart_device_context.h"
#include "chart/chart_view.h"
#include "chart/device_context.h"

namespace orvik {

namespace {

const ChartFont kReadoutFont{"Arial", 13, 400};
constexpr std::int32_t kPadding = 4;       // inside the box
constexpr std::int32_t kSwatchWidth = 10;  // the curve's colour before its value
constexpr std::int32_t kGap = 6;           // between the cursor line and the box
// A curve label longer than this is cut, so that the box stays small.
constexpr std::size_t kMaxLabel = 24;

std::string Impedance(const std::optional<double>& value) {
    return value ? FormatC("%.2f Ohms", *value) : std::string("--");
}

// The highest place for the box at this left edge, moving down past every
// rectangle it would cover.
std::optional<PixelRect> Highest(TextExtent size, std::int32_t left, const PixelRect& plot,
                                 std::span<const PixelRect> avoid) {
    if (left < plot.left || left + size.Width > plot.right) {
        return std::nullopt;
    }
    PixelRect box{left, plot.top + kGap, left + size.Width, plot.top + kGap + size.Height};
    while (box.bottom <= plot.bottom) {
        std::int32_t below = box.top;
        for (const PixelRect& r : avoid) {
            if (!box.Intersected(r).IsEmpty()) {
                below = std::max(below, r.bottom + kGap);
            }
        }
        if (below == box.top) {
            return box;
        }
        box = {box.left, below, box.right, below + size.Height};
    }
    return std::nullopt;
}

}  // namespace

std::optional<double> CurveValueAt(const CXGraphDataSerie& curve, double x) {
    const std::int32_t count = curve.Count();
    if (count == 0 || !std::isfinite(x)) {
        return std::nullopt;
    }
    // The first point at or beyond x.
    std::int32_t low = 0;
    std::int32_t high = count;
    while (low < high) {
        const std::int32_t middle = low + (high - low) / 2;
        if (curve.PointAt(middle).X < x) {
            low = middle + 1;
        } else {
            high = middle;
        }
    }
    if (low == count) {
        return std::nullopt;
    }
    const CurvePoint after = curve.PointAt(low);
    if (after.X == x) {
        return std::isfinite(after.Y) ? std::optional<double>(after.Y) : std::nullopt;
    }
    if (low == 0) {
        return std::nullopt;
    }
    const CurvePoint before = curve.PointAt(low - 1);
    if (!std::isfinite(before.Y) || !std::isfinite(after.Y) || !(after.X > before.X)) {
        return std::nullopt;
    }
    const double t = (x - before.X) / (after.X - before.X);
    return before.Y + t * (after.Y - before.Y);
}

std::optional<CursorReadout> ReadCursor(const CXGraph& chart, std::int32_t column,
                                        const DisplayUnits& units) {
    const PixelRect plot = chart.PlotRect();
    if (chart.XAxisCount() == 0 || chart.YAxisCount() == 0 || column < plot.left ||
        column >= plot.right || plot.IsEmpty()) {
        return std::nullopt;
    }
    const double inches = ChartValueAt(chart, {column, 0}).X;
    CursorReadout readout{column, {}};
    const bool millimetres = units.Length == LengthUnit::Millimetres;
    readout.Lines.push_back(
        {FormatC(millimetres ? "Position: %.2f %s" : "Position: %.3f %s",
                 ToShownLength(inches, units.Length), LengthUnitSuffix(units.Length)),
         std::nullopt});
    if (const auto delay = DelayPicoseconds(inches, units)) {
        readout.Lines.push_back({FormatC("Delay: %.0f ps", *delay), std::nullopt});
    }
    std::int32_t shown = 0;
    for (std::int32_t i = 0; i < chart.CurveCount(); ++i) {
        shown += chart.CurveAt(i).Visible ? 1 : 0;
    }
    for (std::int32_t i = 0; i < chart.CurveCount(); ++i) {
        const CXGraphDataSerie& curve = chart.CurveAt(i);
        if (!curve.Visible) {
            continue;
        }
        // One curve needs no name; several are told apart by their labels.
        const std::string value = Impedance(CurveValueAt(curve, inches));
        readout.Lines.push_back(
            {shown > 1 ? curve.Label.substr(0, kMaxLabel) + ": " + value : value, curve.Colour});
    }
    return readout;
}

std::vector<PixelRect> ShownLabelRects(const CXGraph& chart) {
    std::vector<PixelRect> rects;
    for (const auto& object : chart.Objects()) {
        const auto* label = dynamic_cast<const CXGraphLabel*>(object.get());
        if (label != nullptr && label->Visible &&
            label->Text.find_first_not_of(' ') != std::string::npos) {
            rects.push_back(label->Rect);
        }
    }
    return rects;
}

std::optional<PixelRect> PlaceReadout(TextExtent size, std::int32_t column, const PixelRect& plot,
                                      std::span<const PixelRect> avoid) {
    for (std::int32_t left : {column + kGap, column - kGap - size.Width}) {
        if (auto box = Highest(size, left, plot, avoid)) {
            return box;
        }
    }
    return std::nullopt;
}

std::optional<PixelRect> DrawCursorReadout(DeviceContext& dc, const CXGraph& chart,
                                           const CursorReadout& readout,
                                           std::span<const PixelRect> avoid) {
    const PixelRect plot = chart.PlotRect();
    dc.DrawLine({readout.Column, plot.top}, {readout.Column, plot.bottom - 1},
                ChartPen{kPenSolid, 1, kBlack});
    TextExtent size;
    std::vector<TextExtent> extents;
    for (const ReadoutLine& line : readout.Lines) {
        extents.push_back(dc.MeasureText(kReadoutFont, line.Text));
        const std::int32_t swatch = line.Swatch ? kSwatchWidth + kPadding : 0;
        size.Width = std::max(size.Width, extents.back().Width + swatch);
        size.Height += extents.back().Height;
    }
    size.Width += 2 * kPadding;
    size.Height += 2 * kPadding;
    const auto box = PlaceReadout(size, readout.Column, plot, avoid);
    if (!box) {
        return std::nullopt;
    }
    dc.DrawRect(*box, ChartPen{kPenSolid, 1, kBlack}, ChartBrush{kFillSolid, kWhite});
    std::int32_t top = box->top + kPadding;
    for (std::size_t i = 0; i < readout.Lines.size(); ++i) {
        const ReadoutLine& line = readout.Lines[i];
        std::int32_t left = box->left + kPadding;
        const std::int32_t bottom = top + extents[i].Height;
        if (line.Swatch) {
            const std::int32_t middle = (top + bottom) / 2;
            dc.FillRect({left, middle - 3, left + kSwatchWidth, middle + 3}, *line.Swatch);
            left += kSwatchWidth + kPadding;
        }
        dc.DrawText(kReadoutFont, line.Text, {left, top, box->right - kPadding, bottom},
                    kTextLeft | kTextVCenter | kTextSingleLine | kTextNoClip, kBlack, std::nullopt);
        top = bottom;
    }
    return box;
}

}  // namespace orvik
