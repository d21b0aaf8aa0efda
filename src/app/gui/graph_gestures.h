#pragma once

#include <QPoint>
#include <functional>
#include <optional>
#include <vector>

#include "base/display_units.h"
#include "chart/chart_view.h"

class QKeyEvent;
class QMouseEvent;
class QWheelEvent;

namespace orvik {

class DeviceContext;
class XGraphWidget;

// What the trace graph does with the mouse and keys besides running and
// recording tests: the cursor readout, zoom (wheel, Shift-drag rectangle,
// + and -), pan (middle-button drag, arrow keys) and reset (double click,
// Home). The cursor is drawn over the chart's kept picture, so that moving
// it never lays the chart out again.
class GraphGestures {
  public:
    explicit GraphGestures(XGraphWidget& chart);

    // Each returns whether the event was one of these gestures; a left or
    // right press that is not stays the view's Run Test or Record Test.
    bool Press(const QMouseEvent& event);
    void Move(const QMouseEvent& event);
    void Release(const QMouseEvent& event);
    bool DoubleClick(const QMouseEvent& event);
    void Wheel(const QWheelEvent& event);
    bool Key(const QKeyEvent& event);
    // The pointer left the view: no cursor.
    void Leave();

    // Positions in the operator's unit, and the delay when a velocity is set.
    void SetDisplayUnits(const DisplayUnits& units);
    const DisplayUnits& Units() const { return units_; }
    // More places the readout must not cover (the script prompt).
    std::function<std::vector<PixelRect>()> MoreToAvoid;

    ChartView& View() { return view_; }
    std::optional<std::int32_t> CursorColumn() const { return cursor_; }

  private:
    enum class Drag { None, ZoomRectangle, Pan };

    void DrawOver(DeviceContext& dc);

    XGraphWidget& chart_;
    ChartView view_;
    DisplayUnits units_;
    std::optional<std::int32_t> cursor_;
    Drag drag_ = Drag::None;
    QPoint dragFrom_;
    QPoint dragTo_;
};

}  // namespace orvik
