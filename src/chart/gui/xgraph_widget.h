#pragma once

#include <QImage>
#include <QWidget>

#include <functional>
#include <memory>

#include "chart/xgraph.h"

class QPainter;
class QPrinter;

#include "chart/gui/painter_context_widget.h"

namespace orvik {

// The chart window: a widget that is a CXGraph and paints it, through an
// off-screen image when double buffered. While disabled it takes no mouse
// input at all, so clicks reach the widget beneath it (its parent).
class XGraphWidget : public QWidget, public CXGraph {
    Q_OBJECT

  public:
    explicit XGraphWidget(QWidget* parent = nullptr);
    ~XGraphWidget() override;

    using CXGraph::PrintTo;
    // A whole page on the printer: the chart begins and ends it itself.
    bool PrintTo(QPrinter& printer);
    // Into a painter that is already open on a printer page or an image; the
    // caller owns the page.
    void PrintTo(QPainter& painter);
    // Into an image, scaled from the screen to the image's resolution and in
    // black and white when the image has one bit per pixel.
    void PrintTo(QImage& image);

    // The chart as the window shows it, at a given size.
    QImage Render(QSize size);

    void Invalidate() override;
    bool IsWindowVisible() const override;
    DeviceContext* MeasuringContext() override;

    // Something drawn over the chart on screen only, such as a cursor. While
    // set, the window keeps its picture of the chart from paint to paint and
    // draws it again only after Invalidate() or a resize, so that redrawing
    // what lies over it (UpdateOverChart) costs a copy, not a new chart.
    // Everything that changes the chart must then call Invalidate().
    std::function<void(DeviceContext& dc)> DrawOverChart;
    void UpdateOverChart();

    // The resolution the chart is laid out in: the primary screen's.
    static double ScreenDpiX();
    static double ScreenDpiY();

  signals:
    // Each paint lays the chart out again; PlotRect() is current from here on.
    void Painted();

  protected:
    void paintEvent(QPaintEvent* event) override;
    void changeEvent(QEvent* event) override;
    // An enabled chart keeps its clicks; it has nothing to do with them.
    void mousePressEvent(QMouseEvent* event) override;

  private:
    void PaintOn(QPainter& painter, QSize size);

    PainterCache cache_;
    QImage buffer_;
    bool stale_ = true;
    QImage measureImage_;
    std::unique_ptr<QPainter> measurePainter_;
    std::unique_ptr<PainterDeviceContext> measureContext_;
};

}  // namespace orvik
