#include "instrument/gui/init_progress_dialog.h"

#include <QApplication>
#include <QLabel>
#include <QPainter>
#include <QPainterPath>
#include <QProgressBar>
#include <QVBoxLayout>

#include <limits>

namespace orvik {
namespace {

// The window's picture: a reflected step as the instrument sees it.
QPixmap StepPicture(const QSize& size) {
    QPixmap picture(size);
    picture.fill(QColor(120, 120, 120));
    QPainter painter(&picture);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(QPen(QColor(100, 255, 100), 3));
    QPainterPath path;
    const double w = size.width();
    const double h = size.height();
    path.moveTo(0.05 * w, 0.8 * h);
    path.lineTo(0.25 * w, 0.8 * h);
    path.cubicTo(0.28 * w, 0.8 * h, 0.28 * w, 0.45 * h, 0.32 * w, 0.45 * h);
    path.lineTo(0.55 * w, 0.45 * h);
    path.cubicTo(0.58 * w, 0.45 * h, 0.58 * w, 0.3 * h, 0.62 * w, 0.3 * h);
    path.lineTo(0.95 * w, 0.3 * h);
    painter.drawPath(path);
    painter.setPen(Qt::white);
    QFont font = painter.font();
    font.setPointSize(14);
    font.setBold(true);
    painter.setFont(font);
    painter.drawText(QRectF(0, 0.02 * h, w, 0.2 * h), Qt::AlignCenter, "MV300");
    return picture;
}

}  // namespace

InitProgressDialog::InitProgressDialog(QWidget* parent) : QDialog(parent) {
    setWindowTitle("Initializing TDR");
    setModal(false);
    auto* layout = new QVBoxLayout(this);
    auto* picture = new QLabel(this);
    picture->setPixmap(StepPicture(QSize(320, 160)));
    layout->addWidget(picture);
    bar_ = new QProgressBar(this);
    bar_->setRange(0, 100);
    bar_->setValue(0);
    layout->addWidget(bar_);
}

void InitProgressDialog::Repaint() {
    repaint();
}

void InitProgressDialog::Show() {
    show();
    // Let the window appear before the loading holds the thread.
    QApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
    Repaint();
}

void InitProgressDialog::SetRange(std::int64_t minimum, std::int64_t maximum) {
    const std::int64_t span = maximum > minimum ? maximum - minimum : 1;
    scale_ = span / std::numeric_limits<int>::max() + 1;
    bar_->setRange(static_cast<int>(minimum / scale_), static_cast<int>(maximum / scale_));
    Repaint();
}

void InitProgressDialog::SetPosition(std::int64_t position) {
    bar_->setValue(static_cast<int>(position / scale_));
    Repaint();
}

void InitProgressDialog::Close() {
    close();
}

int InitProgressDialog::Position() const {
    return bar_->value();
}

int InitProgressDialog::Maximum() const {
    return bar_->maximum();
}

}  // namespace orvik
