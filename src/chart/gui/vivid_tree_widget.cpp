#include "chart/gui/vivid_tree_widget.h"

#include <QCoreApplication>
#include <QHelpEvent>
#include <QLinearGradient>
#include <QMouseEvent>
#include <QPaintEvent>
#include <QPainter>
#include <QScrollBar>
#include <QStyledItemDelegate>
#include <QToolTip>

#include <algorithm>
#include <cmath>

#include "chart/coloured_text.h"
#include "chart/gui/painter_context_widget.h"

namespace orvik {

namespace {

QColor ToQColor(ChartColour colour) {
    return PainterDeviceContext::ToQColor(colour);
}

ChartColour FromQColor(const QColor& colour) {
    return RgbColour(colour.red(), colour.green(), colour.blue());
}

// Pictures sit this far left of the item text, and the leaf icon this far.
constexpr int kPictureGap = 2;
constexpr int kLeafIconOffset = 18;
// Room between the text rectangle's edges and the text.
constexpr int kTextPadding = 3;

// Rows tall enough for the 16-pixel pictures and a pixel either side.
constexpr int kMinimumRowHeight = 18;

class RowHeightDelegate : public QStyledItemDelegate {
  public:
    using QStyledItemDelegate::QStyledItemDelegate;
    QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override {
        QSize size = QStyledItemDelegate::sizeHint(option, index);
        size.setHeight(std::max(size.height(), kMinimumRowHeight));
        return size;
    }
};

}  // namespace

VividTree::VividTree(QWidget* parent) : QTreeWidget(parent) {
    setColumnCount(1);
    setHeaderHidden(true);
    setIndentation(20);
    setRootIsDecorated(true);
    setUniformRowHeights(true);
    setItemDelegate(new RowHeightDelegate(this));
    viewport()->setAttribute(Qt::WA_OpaquePaintEvent);
    collapsedPicture_ = ExpandPicture(false);
    expandedPicture_ = ExpandPicture(true);
}

void VividTree::SetBackgroundMode(int mode) {
    backgroundMode_ = mode;
    viewport()->update();
}

void VividTree::SetBackgroundColours(ChartColour start, ChartColour end) {
    backgroundStart_ = start;
    backgroundEnd_ = end;
    viewport()->update();
}

void VividTree::SetTreeBackgroundColour(ChartColour colour) {
    QPalette palette = this->palette();
    palette.setColor(QPalette::Base, ToQColor(colour));
    setPalette(palette);
    viewport()->update();
}

void VividTree::SetTreeTextColour(ChartColour colour) {
    QPalette palette = this->palette();
    palette.setColor(QPalette::Text, ToQColor(colour));
    setPalette(palette);
    viewport()->update();
}

QString VividTree::ToItemText(std::string_view bytes) {
    return PainterDeviceContext::ToQString(bytes);
}

std::string VividTree::FromItemText(const QString& text) {
    const QByteArray bytes = text.toLatin1();
    return std::string(bytes.constData(), static_cast<std::size_t>(bytes.size()));
}

std::string VividTree::PlainItemText(const QTreeWidgetItem* item) {
    return item == nullptr ? std::string() : PlainText(FromItemText(item->text(0)));
}

ChartColour VividTree::ParentBandColour(ChartColour start, ChartColour end) {
    // Reaches as far beyond the end colour as the start lies before it.
    return (2u * end - start) & 0xFFFFFFu;
}

void VividTree::PaintGradient(QPainter& painter, const QRect& rect, ChartColour start,
                              ChartColour end, int direction) {
    if (rect.isEmpty()) {
        return;
    }
    QLinearGradient gradient(rect.topLeft(), direction == 0 ? rect.topRight() : rect.bottomLeft());
    gradient.setColorAt(0.0, ToQColor(start));
    gradient.setColorAt(1.0, ToQColor(end));
    painter.fillRect(rect, gradient);
}

QPixmap VividTree::ExpandPicture(bool expanded) {
    // White parts vanish when the picture is combined with the background.
    QPixmap picture(16, 16);
    picture.fill(Qt::white);
    QPainter painter(&picture);
    painter.setPen(QColor(64, 64, 64));
    painter.setBrush(QColor(232, 232, 232));
    painter.drawRect(3, 3, 10, 10);
    painter.setPen(QPen(QColor(24, 24, 24), 1));
    painter.drawLine(5, 8, 11, 8);
    if (!expanded) {
        painter.drawLine(8, 5, 8, 11);
    }
    return picture;
}

QPixmap VividTree::TraceLeafIcon() {
    QPixmap icon(16, 16);
    icon.fill(Qt::transparent);
    QPainter painter(&icon);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(QPen(QColor(90, 90, 90), 1));
    painter.drawLine(QPointF(1.5, 13.5), QPointF(14.5, 13.5));
    painter.setPen(QPen(QColor(20, 60, 170), 1.6));
    const QPointF step[] = {{1.5, 11}, {4, 11}, {5.5, 4}, {7.5, 8}, {10.5, 8}, {12, 6}, {14.5, 6}};
    painter.drawPolyline(step, 7);
    return icon;
}

bool VividTree::IsParentOrTopLevel(const QTreeWidgetItem* item) const {
    return item->parent() == nullptr || item->childCount() > 0;
}

QString VividTree::CutOffText(QTreeWidgetItem* item) const {
    if (item == nullptr) {
        return QString();
    }
    const QString plain = ToItemText(PlainItemText(item));
    const int left = visualItemRect(item).left() + kPictureGap + kTextPadding;
    if (left + fontMetrics().horizontalAdvance(plain) <= viewport()->width()) {
        return QString();
    }
    return plain;
}

bool VividTree::viewportEvent(QEvent* event) {
    if (event->type() != QEvent::ToolTip) {
        return QTreeWidget::viewportEvent(event);
    }
    auto* help = static_cast<QHelpEvent*>(event);
    const QString full = CutOffText(itemAt(help->pos()));
    if (full.isEmpty()) {
        QToolTip::hideText();
        event->ignore();
    } else {
        QToolTip::showText(help->globalPos(), full, viewport());
    }
    return true;
}

QRect VividTree::TextRect(QTreeWidgetItem* item) const {
    const QRect row = visualItemRect(item);
    const int width = fontMetrics().horizontalAdvance(ToItemText(PlainItemText(item)));
    const int left = row.left() + kPictureGap;
    const int right = std::min(left + width + 2 * kTextPadding, viewport()->width());
    return QRect(QPoint(left, row.top()), QPoint(right - 1, row.bottom()));
}

void VividTree::paintEvent(QPaintEvent* event) {
    QWidget* area = viewport();
    const QRect client = area->rect();
    if (client.isEmpty()) {
        return;
    }
    if (buffer_.size() != client.size()) {
        buffer_ = QImage(client.size(), QImage::Format_RGB32);
    }
    // Text in the buffer must measure as it does on the window.
    buffer_.setDotsPerMeterX(static_cast<int>(std::lround(area->logicalDpiX() / 0.0254)));
    buffer_.setDotsPerMeterY(static_cast<int>(std::lround(area->logicalDpiY() / 0.0254)));
    {
        QPainter painter(&buffer_);
        painter.setFont(font());
        PaintBackground(painter, client);
        for (QTreeWidgetItem* item = itemAt(0, 0); item != nullptr; item = itemBelow(item)) {
            if (visualItemRect(item).top() > client.bottom()) {
                break;
            }
            PaintItem(painter, item, client);
        }
    }
    QPainter window(area);
    window.drawImage(event->rect(), buffer_, event->rect());
}

void VividTree::PaintBackground(QPainter& painter, const QRect& client) {
    if (backgroundMode_ == kBitmapBackground && !bitmap_.isNull()) {
        if (!tileBitmap_) {
            painter.drawImage(client, bitmap_);
            return;
        }
        // The tiles scroll with the items.
        int offset = verticalScrollBar()->value();
        if (verticalScrollMode() == ScrollPerItem && topLevelItemCount() > 0) {
            offset *= std::max(1, visualItemRect(topLevelItem(0)).height());
        }
        const int height = bitmap_.height();
        const int width = bitmap_.width();
        for (int y = -(offset % height); y < client.height(); y += height) {
            for (int x = 0; x < client.width(); x += width) {
                painter.drawImage(x, y, bitmap_);
            }
        }
        return;
    }
    if (backgroundMode_ == kGradientBackground) {
        PaintGradient(painter, client, backgroundStart_, backgroundEnd_,
                      gradientDirection_ == 0 ? 1 : 0);
        return;
    }
    painter.fillRect(client, palette().color(QPalette::Base));
}

void VividTree::PaintItem(QPainter& painter, QTreeWidgetItem* item, const QRect& client) {
    const QRect row = visualItemRect(item);
    const QRect text = TextRect(item);
    const bool selected = item->isSelected() && hasFocus();
    const bool parentOrTop = IsParentOrTopLevel(item);

    // In the high-contrast colours parent rows keep the plain background, on
    // which their texts were made to read.
    if (selected || (parentOrTop && !highContrast_)) {
        const int left = parentOrTop ? client.left() : text.left();
        const ChartColour start =
            selected ? highlightColour_ : ParentBandColour(backgroundStart_, backgroundEnd_);
        PaintGradient(painter, QRect(QPoint(left, row.top()), QPoint(client.right(), row.bottom())),
                      start, backgroundEnd_, 0);
    }
    if (selected) {
        painter.fillRect(text, ToQColor(selectionColour_));
    }
    if (parentOrTop) {
        const QPixmap& picture = item->isExpanded() ? expandedPicture_ : collapsedPicture_;
        painter.setCompositionMode(QPainter::RasterOp_SourceAndDestination);
        painter.drawPixmap(text.left() - kPictureGap - picture.width(),
                           row.top() + (row.height() - picture.height()) / 2, picture);
        painter.setCompositionMode(QPainter::CompositionMode_SourceOver);
    } else if (!leafIcon_.isNull()) {
        painter.drawPixmap(text.left() - kLeafIconOffset,
                           row.top() + (row.height() - leafIcon_.height()) / 2, leafIcon_);
    }
    const ChartColour initial =
        selected ? selectedTextColour_ : FromQColor(palette().color(QPalette::Text));
    PaintColouredText(painter, item->text(0), text.adjusted(0, 1, 0, -1), initial, selected);
}

ChartColour VividTree::TextBackground() const {
    return backgroundMode_ == kPlainBackground ? FromQColor(palette().color(QPalette::Base))
                                               : backgroundEnd_;
}

void VividTree::PaintColouredText(QPainter& painter, const QString& text, const QRect& box,
                                  ChartColour initial, bool onSelection) {
    const std::string bytes = FromItemText(text);
    const QFontMetrics metrics = painter.fontMetrics();
    const int limit = viewport()->width();
    int x = box.left() + kTextPadding;
    for (const ColouredPiece& piece : SplitColouredText(bytes)) {
        if (x >= limit) {
            break;
        }
        const QString run = ToItemText(piece.Text);
        const ChartColour colour = piece.Colour.value_or(initial);
        // The codes' colours were chosen for the background; on the
        // selection fill a dark one would vanish.
        const TextInk ink = onSelection ? TextInk{ReadableOn(colour, selectionColour_), {}}
                                        : InkOn(colour, TextBackground(), highContrast_);
        const QRect place(x, box.top(), limit - x, box.height());
        const int flags = Qt::AlignLeft | Qt::AlignVCenter | Qt::TextSingleLine;
        if (ink.Outline) {
            painter.setPen(ToQColor(*ink.Outline));
            for (const QPoint offset : {QPoint(-1, -1), QPoint(0, -1), QPoint(1, -1), QPoint(-1, 0),
                                        QPoint(1, 0), QPoint(-1, 1), QPoint(0, 1), QPoint(1, 1)}) {
                painter.drawText(place.translated(offset), flags, run);
            }
        }
        painter.setPen(ToQColor(ink.Text));
        painter.drawText(place, flags, run);
        x = std::min(x + metrics.horizontalAdvance(run), limit);
    }
}

void VividTree::mousePressEvent(QMouseEvent* event) {
    if (event->button() != Qt::RightButton) {
        QTreeWidget::mousePressEvent(event);
        return;
    }
    QWidget* parent = parentWidget();
    if (parent == nullptr) {
        event->ignore();
        return;
    }
    const QPointF at = viewport()->mapTo(parent, event->position().toPoint());
    QMouseEvent forwarded(QEvent::MouseButtonPress, at, event->globalPosition(), event->button(),
                          event->buttons(), event->modifiers());
    QCoreApplication::sendEvent(parent, &forwarded);
    event->accept();
}

void VividTree::scrollContentsBy(int dx, int dy) {
    QTreeWidget::scrollContentsBy(dx, dy);
    // The background does not move with the items; repaint everything.
    viewport()->update();
}

void VividTree::focusInEvent(QFocusEvent* event) {
    QTreeWidget::focusInEvent(event);
    viewport()->update();  // the selection shows only with the focus
}

void VividTree::focusOutEvent(QFocusEvent* event) {
    QTreeWidget::focusOutEvent(event);
    viewport()->update();
}

}  // namespace orvik
