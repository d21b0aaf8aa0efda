#pragma once

#include <QImage>
#include <QPixmap>
#include <QTreeWidget>

#include <string>
#include <string_view>

#include "chart/chart_types.h"

namespace orvik {

// A tree that paints itself: a background (picture, gradient or plain
// colour), its own selection, expand pictures left of parent items, a leaf
// icon left of the others, and item texts that change colour part-way by the
// 0x01 colour codes of coloured_text.h. Item texts hold single-byte text, one
// character per byte (see ToItemText).
//
// Rows whose text the pane cuts off show the whole text as a tool tip. On
// the selected row every colour of the text is drawn readable on the
// selection fill (see ReadableOn); elsewhere as InkOn says for the background.
//
// A right button press is not handled here: it goes on to the parent widget
// as a press at the same place.
class VividTree : public QTreeWidget {
    Q_OBJECT

  public:
    enum BackgroundMode { kBitmapBackground = 0, kGradientBackground = 1, kPlainBackground = 2 };

    explicit VividTree(QWidget* parent = nullptr);

    void SetBackgroundMode(int mode);
    int GetBackgroundMode() const { return backgroundMode_; }
    void SetBackgroundBitmap(const QImage& bitmap) {
        bitmap_ = bitmap;
        viewport()->update();
    }
    void SetTileBitmap(bool tile) {
        tileBitmap_ = tile;
        viewport()->update();
    }
    // The two colours of the background gradient; the end colour also ends
    // every highlight band.
    void SetBackgroundColours(ChartColour start, ChartColour end);
    void SetGradientDirection(int direction) {
        gradientDirection_ = direction;
        viewport()->update();
    }
    void SetHighlightColour(ChartColour colour) {
        highlightColour_ = colour;
        viewport()->update();
    }
    void SetSelectionColour(ChartColour colour) {
        selectionColour_ = colour;
        viewport()->update();
    }
    // In the high-contrast colours every text colour is darkened or lightened
    // until it reads comfortably; otherwise a colour that does not reach 3:1
    // on the background keeps its hue and gets a thin outline.
    void SetHighContrast(bool on) {
        highContrast_ = on;
        viewport()->update();
    }
    void SetSelectedTextColour(ChartColour colour) {
        selectedTextColour_ = colour;
        viewport()->update();
    }
    // The plain background (mode 2) and the normal text colour.
    void SetTreeBackgroundColour(ChartColour colour);
    void SetTreeTextColour(ChartColour colour);
    void SetLeafIcon(const QPixmap& icon) {
        leafIcon_ = icon;
        viewport()->update();
    }
    const QPixmap& LeafIcon() const { return leafIcon_; }

    ChartColour BackgroundStartColour() const { return backgroundStart_; }
    ChartColour BackgroundEndColour() const { return backgroundEnd_; }

    // Single-byte text (with colour codes) as an item text and back.
    static QString ToItemText(std::string_view bytes);
    static std::string FromItemText(const QString& text);
    // An item's text without colour codes.
    static std::string PlainItemText(const QTreeWidgetItem* item);

    // Fills `rect` from `start` to `end`: left to right when `direction` is 0,
    // top to bottom otherwise.
    static void PaintGradient(QPainter& painter, const QRect& rect, ChartColour start,
                              ChartColour end, int direction);
    // Where an unselected parent's band starts: twice the background end
    // colour less the start colour, computed on the whole 32-bit values.
    static ChartColour ParentBandColour(ChartColour start, ChartColour end);
    // The pictures the tree draws: collapsed and expanded parents, and a
    // small trace symbol that callers may use as the leaf icon.
    static QPixmap ExpandPicture(bool expanded);
    static QPixmap TraceLeafIcon();

    // The item's whole text without colour codes when the pane cuts it off
    // at its right edge, else empty; it is the row's tool tip.
    QString CutOffText(QTreeWidgetItem* item) const;

  protected:
    void paintEvent(QPaintEvent* event) override;
    bool viewportEvent(QEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void scrollContentsBy(int dx, int dy) override;
    void focusInEvent(QFocusEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;

  private:
    void PaintBackground(QPainter& painter, const QRect& client);
    void PaintItem(QPainter& painter, QTreeWidgetItem* item, const QRect& client);
    QRect TextRect(QTreeWidgetItem* item) const;
    bool IsParentOrTopLevel(const QTreeWidgetItem* item) const;
    // The colour behind an unselected row's text.
    ChartColour TextBackground() const;
    // On the selection fill every colour is drawn readable there.
    void PaintColouredText(QPainter& painter, const QString& text, const QRect& box,
                           ChartColour initial, bool onSelection);

    ChartColour backgroundStart_ = 0xFFFFFF;
    ChartColour backgroundEnd_ = 0xE0D5D5;
    ChartColour highlightColour_ = 0xFFA080;
    int gradientDirection_ = 1;
    int backgroundMode_ = kGradientBackground;
    QImage bitmap_;
    bool tileBitmap_ = false;
    ChartColour selectionColour_ = 0x808080;
    ChartColour selectedTextColour_ = 0x000000;
    bool highContrast_ = false;
    QPixmap leafIcon_;
    QPixmap collapsedPicture_;
    QPixmap expandedPicture_;
    QImage buffer_;
};

}  // namespace orvik
