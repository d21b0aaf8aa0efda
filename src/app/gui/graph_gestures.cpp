#include "app/gui/graph_gestures.h"

#include <QKeyEvent>
#include <QMouseEvent>
#include <QWheelEvent>
#include <cmath>

#include "chart/cursor_readout.h"
#include "chart/device_context.h"
#include "chart/gui/xgraph_widget.h"

namespace orvik {

namespace {

// One wheel notch or one + or - zooms by this much.
constexpr double kZoomStep = 0.8;
// An arrow key moves the view by this part of the plot.
constexpr double kPanStep = 0.1;

PixelPoint ToPixel(const QPoint& point) {
    return {point.x(), point.y()};
}

PixelPoint PlotCentre(const CXGraph& chart) {
    const PixelRect& plot = chart.PlotRect();
    return {(plot.left + plot.right) / 2, (plot.top + plot.bottom) / 2};
}

}  // namespace

GraphGestures::GraphGestures(XGraphWidget& chart) : chart_(chart), view_(chart) {
    chart_.DrawOverChart = [this](DeviceContext& dc) { DrawOver(dc); };
}

void GraphGestures::SetDisplayUnits(const DisplayUnits& units) {
    units_ = units;
    ShowPositionsIn(chart_, units.Length);
    chart_.Invalidate();
}

bool GraphGestures::Press(const QMouseEvent& event) {
    if (event.button() == Qt::LeftButton && (event.modifiers() & Qt::ShiftModifier)) {
        drag_ = Drag::ZoomRectangle;
    } else if (event.button() == Qt::MiddleButton) {
        drag_ = Drag::Pan;
    } else {
        return false;
    }
    dragFrom_ = dragTo_ = event.position().toPoint();
    return true;
}

void GraphGestures::Move(const QMouseEvent& event) {
    const QPoint at = event.position().toPoint();
    if (drag_ == Drag::Pan) {
        view_.PanBy(at.x() - dragTo_.x(), at.y() - dragTo_.y());
    }
    dragTo_ = at;
    const PixelRect& plot = chart_.PlotRect();
    cursor_.reset();
    if (plot.Contains(ToPixel(at))) {
        cursor_ = at.x();
    }
    chart_.UpdateOverChart();
}

void GraphGestures::Release(const QMouseEvent& event) {
    if (drag_ == Drag::ZoomRectangle) {
        view_.ZoomToRect(ToPixel(dragFrom_), ToPixel(event.position().toPoint()));
    }
    drag_ = Drag::None;
    chart_.UpdateOverChart();
}

bool GraphGestures::DoubleClick(const QMouseEvent& event) {
    if (event.button() != Qt::LeftButton) {
        return false;
    }
    view_.Reset();
    return true;
}

void GraphGestures::Wheel(const QWheelEvent& event) {
    const double notches = event.angleDelta().y() / 120.0;
    if (notches == 0.0) {
        return;
    }
    view_.ZoomAround(ToPixel(event.position().toPoint()), std::pow(kZoomStep, notches));
}

bool GraphGestures::Key(const QKeyEvent& event) {
    const PixelRect& plot = chart_.PlotRect();
    const auto across = static_cast<std::int32_t>(plot.Width() * kPanStep);
    const auto down = static_cast<std::int32_t>(plot.Height() * kPanStep);
    switch (event.key()) {
        case Qt::Key_Plus:
        case Qt::Key_Equal:
            view_.ZoomAround(PlotCentre(chart_), kZoomStep);
            return true;
        case Qt::Key_Minus:
            view_.ZoomAround(PlotCentre(chart_), 1.0 / kZoomStep);
            return true;
        case Qt::Key_Home:
            view_.Reset();
            return true;
        // An arrow looks further that way: the plot moves the other way.
        case Qt::Key_Left:
            view_.PanBy(across, 0);
            return true;
        case Qt::Key_Right:
            view_.PanBy(-across, 0);
            return true;
        case Qt::Key_Up:
            view_.PanBy(0, down);
            return true;
        case Qt::Key_Down:
            view_.PanBy(0, -down);
            return true;
        default:
            return false;
    }
}

void GraphGestures::Leave() {
    if (cursor_) {
        cursor_.reset();
        chart_.UpdateOverChart();
    }
}

void GraphGestures::DrawOver(DeviceContext& dc) {
    if (drag_ == Drag::ZoomRectangle) {
        const PixelRect box{
            std::min(dragFrom_.x(), dragTo_.x()), std::min(dragFrom_.y(), dragTo_.y()),
            std::max(dragFrom_.x(), dragTo_.x()) + 1, std::max(dragFrom_.y(), dragTo_.y()) + 1};
        dc.DrawRect(box, ChartPen{kPenDash, 1, kBlack}, std::nullopt);
    }
    if (!cursor_) {
        return;
    }
    const auto readout = ReadCursor(chart_, *cursor_, units_);
    if (!readout) {
        return;
    }
    std::vector<PixelRect> avoid = ShownLabelRects(chart_);
    if (MoreToAvoid) {
        const auto more = MoreToAvoid();
        avoid.insert(avoid.end(), more.begin(), more.end());
    }
    DrawCursorReadout(dc, chart_, *readout, avoid);
}

}  // namespace orvik
