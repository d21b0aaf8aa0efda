#include "chart/gui/xgraph_widget.h"

#include <QEvent>
#include <QGuiApplication>
#include <QMouseEvent>
#include <QPaintEvent>
#include <QPainter>
#include <QPrinter>
#include <QScreen>

namespace orvik {

XGraphWidget::XGraphWidget(QWidget* parent) : QWidget(parent) {
    // The chart covers its whole area; nothing needs erasing first.
    setAttribute(Qt::WA_OpaquePaintEvent);
    setAttribute(Qt::WA_TransparentForMouseEvents, !isEnabled());
}

XGraphWidget::~XGraphWidget() {
    measureContext_.reset();
    measurePainter_.reset();
}

double XGraphWidget::ScreenDpiX() {
    const QScreen* screen = QGuiApplication::primaryScreen();
    return screen != nullptr ? screen->logicalDotsPerInchX() : 96.0;
}

double XGraphWidget::ScreenDpiY() {
    const QScreen* screen = QGuiApplication::primaryScreen();
    return screen != nullptr ? screen->logicalDotsPerInchY() : 96.0;
}

void XGraphWidget::Invalidate() {
    stale_ = true;
    update();
}

void XGraphWidget::UpdateOverChart() {
    update();
}

bool XGraphWidget::IsWindowVisible() const {
    return isVisible();
}

DeviceContext* XGraphWidget::MeasuringContext() {
    if (!measureContext_) {
        measureImage_ = QImage(1, 1, QImage::Format_ARGB32_Premultiplied);
        measurePainter_ = std::make_unique<QPainter>(&measureImage_);
        measureContext_ = std::make_unique<PainterDeviceContext>(*measurePainter_, &cache_);
    }
    return measureContext_.get();
}

void XGraphWidget::PaintOn(QPainter& painter, QSize size) {
    PainterDeviceContext dc(painter, &cache_);
    Paint(dc, PixelRect{0, 0, size.width(), size.height()});
}

void XGraphWidget::paintEvent(QPaintEvent* event) {
    QPainter painter(this);
    if (!DoubleBuffered) {
        PaintOn(painter, size());
        if (DrawOverChart) {
            PainterDeviceContext dc(painter, &cache_);
            DrawOverChart(dc);
        }
        emit Painted();
        return;
    }
    const qreal ratio = devicePixelRatioF();
    const QSize pixels = size() * ratio;
    if (buffer_.size() != pixels) {
        buffer_ = QImage(pixels, QImage::Format_RGB32);
        buffer_.setDevicePixelRatio(ratio);
        stale_ = true;
    }
    const bool drawChart = stale_ || !DrawOverChart;
    if (drawChart) {
        QPainter offscreen(&buffer_);
        PaintOn(offscreen, size());
        stale_ = false;
    }
    // Only what was invalidated is copied to the window.
    painter.drawImage(
        event->rect(), buffer_,
        QRectF(QPointF(event->rect().topLeft()) * ratio, QSizeF(event->rect().size()) * ratio));
    if (DrawOverChart) {
        PainterDeviceContext dc(painter, &cache_);
        DrawOverChart(dc);
    }
    if (drawChart) {
        emit Painted();
    }
}

void XGraphWidget::changeEvent(QEvent* event) {
    if (event->type() == QEvent::EnabledChange) {
        setAttribute(Qt::WA_TransparentForMouseEvents, !isEnabled());
    }
    QWidget::changeEvent(event);
}

void XGraphWidget::mousePressEvent(QMouseEvent* event) {
    event->accept();
}

bool XGraphWidget::PrintTo(QPrinter& printer) {
    QPainter painter;
    if (!painter.begin(&printer)) {
        return false;
    }
    PrintTo(painter);
    return painter.end();
}

void XGraphWidget::PrintTo(QPainter& painter) {
    painter.save();
    PainterDeviceContext dc(painter, &cache_);
    CXGraph::PrintTo(dc, ScreenDpiX(), ScreenDpiY());
    painter.restore();
}

void XGraphWidget::PrintTo(QImage& image) {
    QPainter painter(&image);
    PrintTo(painter);
}

QImage XGraphWidget::Render(QSize size) {
    QImage image(size, QImage::Format_RGB32);
    QPainter painter(&image);
    PaintOn(painter, size);
    return image;
}

}  // namespace orvik
