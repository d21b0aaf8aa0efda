#include "app/gui/main_toolbar.h"

#include <QAction>
#include <QLabel>
#include <QPainter>
#include <QPainterPath>
#include <QPixmap>

#include "app/gui/criteria_selector_widget.h"

namespace orvik {
namespace {

// The freedesktop icon names the desktop's theme knows the commands by.
const char* ThemeName(ToolBarCommand command) {
    switch (command) {
        case ToolBarCommand::New:
            return "document-new";
        case ToolBarCommand::Open:
            return "document-open";
        case ToolBarCommand::Save:
            return "document-save";
        case ToolBarCommand::Print:
            return "document-print";
        case ToolBarCommand::LiveMode:
            return "media-playback-start";
        case ToolBarCommand::RecordTest:
            return "media-record";
        case ToolBarCommand::About:
        case ToolBarCommand::Count:
            break;
    }
    return "help-about";
}

const QColor kOutline(60, 60, 60);

void DrawPage(QPainter& painter) {
    QPainterPath page;
    page.moveTo(5, 2);
    page.lineTo(14, 2);
    page.lineTo(19, 7);
    page.lineTo(19, 22);
    page.lineTo(5, 22);
    page.closeSubpath();
    painter.setPen(QPen(kOutline, 1.2));
    painter.setBrush(Qt::white);
    painter.drawPath(page);
    painter.setBrush(QColor(210, 210, 210));
    painter.drawPolygon(QPolygonF({QPointF(14, 2), QPointF(14, 7), QPointF(19, 7)}));
    // A star: something new.
    painter.setPen(QPen(QColor(230, 160, 0), 1.6));
    painter.drawLine(QPointF(8, 14), QPointF(16, 14));
    painter.drawLine(QPointF(12, 10), QPointF(12, 18));
}

void DrawFolder(QPainter& painter) {
    painter.setPen(QPen(QColor(120, 85, 20), 1.2));
    painter.setBrush(QColor(215, 170, 70));
    painter.drawRect(QRectF(2, 6, 17, 14));
    painter.drawRect(QRectF(2, 4, 7, 2));
    painter.setBrush(QColor(245, 205, 105));
    painter.drawPolygon(
        QPolygonF({QPointF(5, 10), QPointF(22, 10), QPointF(19, 20), QPointF(2, 20)}));
}

void DrawDisk(QPainter& painter) {
    painter.setPen(QPen(QColor(20, 40, 90), 1.2));
    painter.setBrush(QColor(50, 90, 170));
    painter.drawRoundedRect(QRectF(3, 3, 18, 18), 2, 2);
    painter.setBrush(Qt::white);
    painter.drawRect(QRectF(6, 3, 12, 7));
    painter.setBrush(QColor(190, 190, 190));
    painter.drawRect(QRectF(7, 14, 10, 7));
    painter.setBrush(QColor(50, 90, 170));
    painter.drawRect(QRectF(13, 15, 2, 4));
}

void DrawPrinter(QPainter& painter) {
    painter.setPen(QPen(kOutline, 1.2));
    painter.setBrush(Qt::white);
    painter.drawRect(QRectF(7, 2, 10, 7));
    painter.setBrush(QColor(150, 150, 150));
    painter.drawRoundedRect(QRectF(2, 8, 20, 9), 2, 2);
    painter.setBrush(Qt::white);
    painter.drawRect(QRectF(6, 14, 12, 8));
    painter.setPen(QPen(QColor(120, 120, 120), 1));
    painter.drawLine(QPointF(8, 17), QPointF(16, 17));
    painter.drawLine(QPointF(8, 19.5), QPointF(14, 19.5));
    painter.setPen(Qt::NoPen);
    painter.setBrush(QColor(60, 200, 60));
    painter.drawEllipse(QRectF(18, 10, 2, 2));
}

// A play button: tests repeat while live mode is on.
void DrawLive(QPainter& painter) {
    painter.setPen(QPen(QColor(20, 110, 20), 1.2));
    painter.setBrush(QColor(70, 190, 70));
    painter.drawEllipse(QRectF(2, 2, 20, 20));
    painter.setPen(Qt::NoPen);
    painter.setBrush(Qt::white);
    painter.drawPolygon(QPolygonF({QPointF(9, 7), QPointF(17, 12), QPointF(9, 17)}));
}

void DrawRecord(QPainter& painter) {
    painter.setPen(QPen(QColor(120, 10, 10), 1.2));
    painter.setBrush(QColor(215, 40, 40));
    painter.drawEllipse(QRectF(3, 3, 18, 18));
    painter.setPen(Qt::NoPen);
    painter.setBrush(QColor(255, 140, 140));
    painter.drawEllipse(QRectF(7, 6, 5, 4));
}

void DrawAbout(QPainter& painter) {
    painter.setPen(QPen(QColor(20, 50, 120), 1.2));
    painter.setBrush(QColor(60, 110, 200));
    painter.drawEllipse(QRectF(2, 2, 20, 20));
    painter.setPen(Qt::NoPen);
    painter.setBrush(Qt::white);
    painter.drawEllipse(QRectF(10.5, 5.5, 3, 3));
    painter.drawRoundedRect(QRectF(10.5, 10, 3, 9), 1, 1);
}

// Draws on a 24-unit square, whatever the pixmap's size.
QPixmap DrawIcon(ToolBarCommand command, int size) {
    QPixmap pixmap(size, size);
    pixmap.fill(Qt::transparent);
    QPainter painter(&pixmap);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.scale(size / 24.0, size / 24.0);
    switch (command) {
        case ToolBarCommand::New:
            DrawPage(painter);
            break;
        case ToolBarCommand::Open:
            DrawFolder(painter);
            break;
        case ToolBarCommand::Save:
            DrawDisk(painter);
            break;
        case ToolBarCommand::Print:
            DrawPrinter(painter);
            break;
        case ToolBarCommand::LiveMode:
            DrawLive(painter);
            break;
        case ToolBarCommand::RecordTest:
            DrawRecord(painter);
            break;
        case ToolBarCommand::About:
        case ToolBarCommand::Count:
            DrawAbout(painter);
            break;
    }
    return pixmap;
}

}  // namespace

QIcon DrawnCommandIcon(ToolBarCommand command) {
    QIcon icon;
    for (int size : {16, 22, 24, 32, 48}) {
        icon.addPixmap(DrawIcon(command, size));
    }
    return icon;
}

QIcon CommandIcon(ToolBarCommand command) {
    return QIcon::fromTheme(ThemeName(command), DrawnCommandIcon(command));
}

MainToolBar::MainToolBar(CriteriaSelectorModel& selector, QWidget* parent)
    : QToolBar("Standard", parent) {
    setObjectName("toolBar");
    setToolButtonStyle(Qt::ToolButtonIconOnly);
    selector_ = new CriteriaSelectorWidget(selector, this);
}

void MainToolBar::AddCommands(const ToolBarActions& actions) {
    const auto add = [this](QAction* action, ToolBarCommand command) {
        action->setIcon(CommandIcon(command));
        addAction(action);
    };
    add(actions.New, ToolBarCommand::New);
    add(actions.Open, ToolBarCommand::Open);
    add(actions.Save, ToolBarCommand::Save);
    addSeparator();
    add(actions.Print, ToolBarCommand::Print);
    addSeparator();
    add(actions.LiveMode, ToolBarCommand::LiveMode);
    add(actions.RecordTest, ToolBarCommand::RecordTest);
    addSeparator();
    addWidget(new QLabel(" Criterion: ", this));
    addWidget(selector_);
    addSeparator();
    add(actions.About, ToolBarCommand::About);
}

}  // namespace orvik
