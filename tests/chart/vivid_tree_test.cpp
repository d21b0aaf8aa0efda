#include <QHelpEvent>
#include <QMouseEvent>
#include <QTest>
#include <QToolTip>

#include <gtest/gtest.h>

#include "chart/coloured_text.h"
#include "chart/gui/tools/sample_tree_widget.h"
#include "chart/gui/vivid_tree_widget.h"
#include "qt_test_application.h"

namespace orvik {
namespace {

using testing::Near;

int CountNear(const QImage& image, const QRect& rect, QRgb colour, int tolerance) {
    int count = 0;
    const QRect inside = rect.intersected(image.rect());
    for (int y = inside.top(); y <= inside.bottom(); ++y) {
        for (int x = inside.left(); x <= inside.right(); ++x) {
            if (Near(image.pixel(x, y), colour, tolerance)) {
                ++count;
            }
        }
    }
    return count;
}

// The sample tree: a script with two coupons of three traces each (the
// second trace of the first coupon selected), and two traces at the root.
class TreeRendering : public testing::WidgetTest {
  protected:
    void SetUp() override {
        samples::FillSampleTree(tree);
        tree.resize(300, 330);
        tree.show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&tree));
        tree.activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(&tree));
        tree.setFocus();
        QApplication::processEvents();
        ASSERT_TRUE(tree.hasFocus());
        script = tree.topLevelItem(0);
        coupon = script->child(0);
    }

    QImage Shot() {
        return tree.viewport()->grab().toImage().convertToFormat(QImage::Format_RGB32);
    }
    // Where the item's text starts, as the tree lays it out.
    int TextLeft(QTreeWidgetItem* item) { return tree.visualItemRect(item).left() + 2; }
    QRect Row(QTreeWidgetItem* item) { return tree.visualItemRect(item); }
    int Bottom() { return tree.viewport()->height() - 3; }

    VividTree tree;
    QTreeWidgetItem* script = nullptr;
    QTreeWidgetItem* coupon = nullptr;
};

TEST_F(TreeRendering, PlainBackgroundAndSelectionFillOnlyWithFocus) {
    QTreeWidgetItem* selected = coupon->child(1);
    ASSERT_TRUE(selected->isSelected());
    QImage image = Shot();
    EXPECT_EQ(image.pixel(5, Bottom()) & 0xFFFFFF, qRgb(180, 180, 170) & 0xFFFFFF);
    const QPoint padding(TextLeft(selected) + 1, Row(selected).center().y());
    EXPECT_EQ(image.pixel(padding) & 0xFFFFFF, qRgb(64, 64, 64) & 0xFFFFFF);
    // The selected text is drawn over the fill; its coloured parts keep their colour.
    EXPECT_GT(CountNear(image, Row(selected), qRgb(0, 190, 15), 8), 5);

    tree.clearFocus();
    QApplication::processEvents();
    image = Shot();
    EXPECT_NE(image.pixel(padding) & 0xFFFFFF, qRgb(64, 64, 64) & 0xFFFFFF);
}

TEST_F(TreeRendering, ItemTextChangesColourAtEachCode) {
    const QImage image = Shot();
    QTreeWidgetItem* passed = coupon->child(0);  // "SD - " blue, then black, then green PASS
    EXPECT_GT(CountNear(image, Row(passed), qRgb(25, 5, 180), 8), 5);
    EXPECT_GT(CountNear(image, Row(passed), qRgb(0, 190, 15), 8), 5);
    EXPECT_EQ(CountNear(image, Row(passed), qRgb(255, 0, 55), 8), 0);
    QTreeWidgetItem* failed = script->child(1)->child(2);
    EXPECT_GT(CountNear(image, Row(failed), qRgb(255, 0, 55), 8), 5);
    EXPECT_EQ(CountNear(image, Row(failed), qRgb(0, 190, 15), 8), 0);
    // Black text before the first code, in the tree's text colour.
    EXPECT_GT(CountNear(image, Row(script), qRgb(0, 0, 0), 8), 5);
    EXPECT_EQ(VividTree::PlainItemText(coupon->child(1)), "DD - CP-1041-B,  99.84   PASS");
}

// On the dark selection fill, black and dark blue text would vanish: the
// selected row draws them lighter, and keeps colours that already read well.
TEST_F(TreeRendering, SelectedRowTextReadsOnTheSelectionFill) {
    const QRgb fill = qRgb(64, 64, 64);
    auto textPart = [&](QTreeWidgetItem* item) {
        QRect row = Row(item);
        row.setLeft(TextLeft(item));
        return row;
    };
    tree.setCurrentItem(coupon);  // "S/N CP-1041", one black segment
    QApplication::processEvents();
    QImage image = Shot();
    ASSERT_EQ(image.pixel(TextLeft(coupon) + 1, Row(coupon).center().y()) & 0xFFFFFF,
              fill & 0xFFFFFF);
    EXPECT_EQ(CountNear(image, textPart(coupon), qRgb(0, 0, 0), 24), 0);
    const ChartColour lifted = ReadableOn(kBlack, RgbColour(64, 64, 64));
    EXPECT_GT(
        CountNear(image, textPart(coupon), qRgb(RedOf(lifted), GreenOf(lifted), BlueOf(lifted)), 8),
        5);

    QTreeWidgetItem* singleEnded = coupon->child(0);  // "SD - " and its name in dark blue
    tree.setCurrentItem(singleEnded);
    QApplication::processEvents();
    image = Shot();
    EXPECT_EQ(CountNear(image, textPart(singleEnded), qRgb(25, 5, 180), 8), 0);
    const ChartColour blue = ReadableOn(RgbColour(25, 5, 180), RgbColour(64, 64, 64));
    EXPECT_GT(
        CountNear(image, textPart(singleEnded), qRgb(RedOf(blue), GreenOf(blue), BlueOf(blue)), 8),
        5);
    EXPECT_GT(CountNear(image, textPart(singleEnded), qRgb(0, 190, 15), 8), 5)
        << "PASS keeps its green";
}

// Yellow "DD", green PASS and red FAIL read on the grey-green rows by an
// outline: no pixel of those colours touches the background itself. In the
// high-contrast colours they are darkened instead and need none.
TEST_F(TreeRendering, WeakColoursAreOutlinedOnThePlainRows) {
    tree.setCurrentItem(nullptr);
    tree.clearFocus();
    const QRgb background = qRgb(180, 180, 170);
    tree.SetTreeBackgroundColour(0xaab4b4);
    auto touching = [&](const QImage& image, int& letters) {
        int count = 0;
        letters = 0;
        for (int y = 1; y + 1 < image.height(); ++y) {
            for (int x = 1; x + 1 < image.width(); ++x) {
                const QRgb pixel = image.pixel(x, y) & 0xFFFFFF;
                if (pixel != (qRgb(240, 240, 40) & 0xFFFFFF) &&
                    pixel != (qRgb(0, 190, 15) & 0xFFFFFF) &&
                    pixel != (qRgb(255, 0, 55) & 0xFFFFFF)) {
                    continue;
                }
                ++letters;
                for (int dy = -1; dy <= 1; ++dy) {
                    for (int dx = -1; dx <= 1; ++dx) {
                        count += (image.pixel(x + dx, y + dy) & 0xFFFFFF) == (background & 0xFFFFFF)
                                     ? 1
                                     : 0;
                    }
                }
            }
        }
        return count;
    };
    QApplication::processEvents();
    int letters = 0;
    EXPECT_EQ(touching(Shot(), letters), 0);
    EXPECT_GT(letters, 30);
    tree.SetTreeBackgroundColour(0xffffff);
    tree.SetHighContrast(true);
    QApplication::processEvents();
    const QImage lifted = Shot();
    touching(lifted, letters);
    EXPECT_EQ(letters, 0) << "lifted off their usual colours";
    EXPECT_EQ(lifted.pixel(tree.viewport()->width() - 3, Row(script).center().y()) & 0xFFFFFF,
              0xFFFFFFu)
        << "no band behind a parent row: its texts were lifted for white";
}

// A name cut off by the narrow pane shows in full as the row's tool tip;
// rows that fit have none.
TEST_F(TreeRendering, CutOffNamesShowInFullAsToolTips) {
    tree.resize(250, 330);
    QTreeWidgetItem* longRow = new QTreeWidgetItem(script);
    longRow->setText(0, VividTree::ToItemText(
                            ColourText("A very long trace name that the pane cannot show", 0)));
    QTreeWidgetItem* shortRow = tree.topLevelItem(1);
    QApplication::processEvents();
    EXPECT_EQ(tree.CutOffText(longRow).toStdString(),
              "A very long trace name that the pane cannot show");
    EXPECT_TRUE(tree.CutOffText(shortRow).isEmpty());
    EXPECT_TRUE(tree.CutOffText(nullptr).isEmpty());

    const QPoint at = Row(longRow).center();
    QHelpEvent help(QEvent::ToolTip, at, tree.viewport()->mapToGlobal(at));
    QApplication::sendEvent(tree.viewport(), &help);
    EXPECT_TRUE(QToolTip::isVisible());
    EXPECT_EQ(QToolTip::text().toStdString(), "A very long trace name that the pane cannot show");
    QToolTip::hideText();
}

TEST_F(TreeRendering, ParentRowsGetABandLeafRowsDoNot) {
    // 2 x 0xE0D5D5 - 0xFFFFFF, borrowing across the bytes.
    EXPECT_EQ(VividTree::ParentBandColour(0xFFFFFF, 0xE0D5D5), 0xC1ABABu);
    EXPECT_EQ(VividTree::ParentBandColour(0x000000, 0xFFFFFF), 0xFFFFFEu);
    const QImage image = Shot();
    const int y = Row(script).center().y();
    EXPECT_TRUE(Near(image.pixel(0, y), qRgb(0xAB, 0xAB, 0xC1), 3));
    EXPECT_TRUE(Near(image.pixel(tree.viewport()->width() - 1, y), qRgb(0xD5, 0xD5, 0xE0), 3));
    QTreeWidgetItem* leaf = coupon->child(0);
    EXPECT_EQ(image.pixel(0, Row(leaf).center().y()) & 0xFFFFFF, qRgb(180, 180, 170) & 0xFFFFFF);
    // The selected leaf's band runs from its text to the right edge.
    QTreeWidgetItem* selected = coupon->child(1);
    const int right = tree.viewport()->width() - 1;
    EXPECT_TRUE(Near(image.pixel(right, Row(selected).center().y()), qRgb(0xD5, 0xD5, 0xE0), 3));
    EXPECT_EQ(image.pixel(TextLeft(selected) - 20, Row(selected).center().y()) & 0xFFFFFF,
              qRgb(180, 180, 170) & 0xFFFFFF);
}

TEST_F(TreeRendering, ExpandPicturesFollowTheStateAndBlendWithTheBand) {
    const auto pictureOrigin = [&](QTreeWidgetItem* item) {
        const QRect row = Row(item);
        return QPoint(TextLeft(item) - 2 - 16, row.top() + (row.height() - 16) / 2);
    };
    QImage image = Shot();
    QPoint origin = pictureOrigin(script);
    // Expanded: a minus; the vertical stroke of the plus is absent.
    EXPECT_LT(qRed(image.pixel(origin + QPoint(8, 8))), 40);
    EXPECT_GT(qRed(image.pixel(origin + QPoint(8, 6))), 100);
    // The picture's white corner lets the band show through.
    EXPECT_TRUE(Near(image.pixel(origin), image.pixel(origin - QPoint(1, 0)), 3));

    script->setExpanded(false);
    QApplication::processEvents();
    image = Shot();
    origin = pictureOrigin(script);
    EXPECT_LT(qRed(image.pixel(origin + QPoint(8, 6))), 40);

    // Leaves get the leaf icon instead.
    script->setExpanded(true);
    QApplication::processEvents();
    image = Shot();
    QTreeWidgetItem* leaf = coupon->child(0);
    const QRect icon(TextLeft(leaf) - 18, Row(leaf).top(), 16, Row(leaf).height());
    EXPECT_GT(CountNear(image, icon, qRgb(20, 60, 170), 40), 3);
}

TEST_F(TreeRendering, GradientAndBitmapBackgrounds) {
    tree.SetBackgroundMode(VividTree::kGradientBackground);
    QImage image = Shot();
    const int right = tree.viewport()->width() - 1;
    // Direction 1 hands the painter 0: left to right.
    EXPECT_TRUE(Near(image.pixel(0, Bottom()), qRgb(255, 255, 255), 2));
    EXPECT_TRUE(Near(image.pixel(right, Bottom()), qRgb(0xD5, 0xD5, 0xE0), 2));
    tree.SetGradientDirection(0);
    image = Shot();
    // Top to bottom: constant along a row below the items, graded down the client.
    const int height = tree.viewport()->height();
    const int y = Bottom() - 40;
    EXPECT_EQ(image.pixel(0, y), image.pixel(right, y));
    const int expectedRed = 255 + (0xD5 - 255) * y / (height - 1);
    EXPECT_NEAR(qRed(image.pixel(0, y)), expectedRed, 2);
    EXPECT_TRUE(Near(image.pixel(right, height - 1), qRgb(0xD5, 0xD5, 0xE0), 2));

    QImage bitmap(7, 5, QImage::Format_RGB32);
    bitmap.fill(qRgb(0, 0, 255));
    bitmap.setPixel(0, 0, qRgb(255, 0, 0));
    tree.SetBackgroundMode(VividTree::kBitmapBackground);
    tree.SetBackgroundBitmap(bitmap);
    tree.SetTileBitmap(true);
    image = Shot();
    const int tileRow = (Bottom() / 5) * 5;
    EXPECT_EQ(image.pixel(21, tileRow) & 0xFFFFFF, qRgb(255, 0, 0) & 0xFFFFFF);
    EXPECT_EQ(image.pixel(22, tileRow) & 0xFFFFFF, qRgb(0, 0, 255) & 0xFFFFFF);
    tree.SetTileBitmap(false);
    image = Shot();
    EXPECT_EQ(image.pixel(21, tileRow) & 0xFFFFFF, qRgb(0, 0, 255) & 0xFFFFFF);

    // Without a bitmap the plain colour stands in.
    tree.SetBackgroundBitmap(QImage());
    image = Shot();
    EXPECT_EQ(image.pixel(5, Bottom()) & 0xFFFFFF, qRgb(180, 180, 170) & 0xFFFFFF);
}

class ClickRecorder : public QWidget {
  public:
    void mousePressEvent(QMouseEvent* event) override {
        ++presses;
        where = event->position().toPoint();
        button = event->button();
    }
    int presses = 0;
    QPoint where;
    Qt::MouseButton button = Qt::NoButton;
};

TEST(TreeInput, RightPressGoesToTheParentAndLeavesTheSelection) {
    testing::TestApplication();
    ClickRecorder view;
    view.resize(300, 300);
    auto* tree = new VividTree(&view);
    tree->setGeometry(10, 20, 250, 250);
    samples::FillSampleTree(*tree);
    view.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&view));
    QTreeWidgetItem* selected = tree->currentItem();
    ASSERT_NE(selected, nullptr);

    QTreeWidgetItem* other = tree->topLevelItem(1);
    const QPoint onOther = tree->visualItemRect(other).center();
    QTest::mousePress(tree->viewport(), Qt::RightButton, {}, onOther);
    EXPECT_EQ(view.presses, 1);
    EXPECT_EQ(view.button, Qt::RightButton);
    EXPECT_EQ(view.where, tree->viewport()->mapTo(&view, onOther));
    EXPECT_EQ(tree->currentItem(), selected);
    QTest::mouseRelease(tree->viewport(), Qt::RightButton, {}, onOther);

    QTest::mouseClick(tree->viewport(), Qt::LeftButton, {}, onOther);
    EXPECT_EQ(view.presses, 1);
    EXPECT_EQ(tree->currentItem(), other);
}

}  // namespace
}  // namespace orvik
