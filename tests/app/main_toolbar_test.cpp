// The toolbar of the main window; the QApplication comes from the
// environment that main_frame_test.cpp registers for this program.
#include "app/gui/main_toolbar.h"

#include <gtest/gtest.h>
#include <QAction>
#include <QTest>
#include <QToolButton>
#include <QWidgetAction>

#include "app/gui/criteria_selector_widget.h"
#include "app/gui/main_frame.h"
#include "station_fakes.h"

namespace orvik {
namespace {

class Toolbar : public ::testing::Test {
  protected:
    MainToolBar& Bar() { return *frame.findChild<MainToolBar*>("toolBar"); }
    // The toolbar's buttons, without separators and embedded widgets.
    QList<QAction*> Buttons() {
        QList<QAction*> buttons;
        for (QAction* action : Bar().actions()) {
            if (!action->isSeparator() && qobject_cast<QWidgetAction*>(action) == nullptr) {
                buttons.append(action);
            }
        }
        return buttons;
    }

    testing::FakeInstrument instrument;
    VirtualClock clock;
    CMainFrame frame{StartOptions{}, instrument, clock};
};

TEST_F(Toolbar, HoldsTheCommandsWithIconsTooltipsAndPrompts) {
    struct Button {
        const char* text;
        const char* toolTip;
        const char* statusTip;
    };
    const Button expected[] = {
        {"&New", "New", "Create a new document"},
        {"&Open", "Open", "Open an existing document"},
        {"&Save", "Save", "Save the active document"},
        {"&Print...", "Print", "Print the graph of the active document"},
        {"&LiveMode", "Run Test", "Run a single test"},
        {"&Record Test", "Record Test", "Record the last test in the data tree"},
        {"&About MV300...", "About", "Display program information, version number and copyright"},
    };
    const QList<QAction*> buttons = Buttons();
    ASSERT_EQ(buttons.size(), static_cast<qsizetype>(std::size(expected)));
    for (std::size_t i = 0; i < std::size(expected); ++i) {
        const QAction& action = *buttons[static_cast<qsizetype>(i)];
        EXPECT_EQ(action.text(), expected[i].text);
        EXPECT_EQ(action.toolTip(), expected[i].toolTip);
        EXPECT_EQ(action.statusTip(), expected[i].statusTip);
        EXPECT_FALSE(action.icon().isNull()) << expected[i].toolTip;
    }
    EXPECT_TRUE(buttons[4]->isCheckable());
    EXPECT_FALSE(buttons[5]->isCheckable());
}

TEST_F(Toolbar, TheSelectorStandsBetweenRecordTestAndAbout) {
    const QList<QAction*> actions = Bar().actions();
    qsizetype selector = -1;
    for (qsizetype i = 0; i < actions.size(); ++i) {
        const auto* embedded = qobject_cast<QWidgetAction*>(actions[i]);
        if (embedded != nullptr && embedded->defaultWidget() == frame.SelectorWidget()) {
            selector = i;
        }
    }
    const QList<QAction*> buttons = Buttons();
    ASSERT_EQ(buttons.size(), 7);
    EXPECT_GT(selector, actions.indexOf(buttons[5]));
    EXPECT_LT(selector, actions.indexOf(buttons[6]));
}

TEST_F(Toolbar, TheLiveModeButtonTogglesLiveMode) {
    frame.ProcessCommandLine({});
    frame.show();
    auto* button = qobject_cast<QToolButton*>(Bar().widgetForAction(Buttons()[4]));
    ASSERT_NE(button, nullptr);
    QTest::mouseClick(button, Qt::LeftButton);
    EXPECT_TRUE(frame.Station().LiveMode());
    EXPECT_TRUE(button->isChecked());
    QTest::mouseClick(button, Qt::LeftButton);
    EXPECT_FALSE(frame.Station().LiveMode());
    EXPECT_FALSE(button->isChecked());
}

TEST(ToolbarIcons, DrawnIconsAreVisibleAndDistinct) {
    std::vector<QImage> images;
    for (int c = 0; c < static_cast<int>(ToolBarCommand::Count); ++c) {
        const QImage image =
            DrawnCommandIcon(static_cast<ToolBarCommand>(c)).pixmap(24, 24).toImage();
        ASSERT_EQ(image.size(), QSize(24, 24));
        int opaque = 0;
        for (int y = 0; y < image.height(); ++y) {
            for (int x = 0; x < image.width(); ++x) {
                opaque += qAlpha(image.pixel(x, y)) > 128 ? 1 : 0;
            }
        }
        EXPECT_GT(opaque, 24 * 24 / 5) << "icon " << c;
        for (const QImage& earlier : images) {
            EXPECT_NE(image, earlier) << "icon " << c;
        }
        images.push_back(image);
    }
}

TEST(ToolbarIcons, ADesktopWithoutTheIconsGetsTheDrawnOnes) {
    const QString theme = QIcon::themeName();
    const QStringList paths = QIcon::themeSearchPaths();
    QIcon::setThemeSearchPaths({});
    QIcon::setThemeName("orvik-no-such-theme");
    for (int c = 0; c < static_cast<int>(ToolBarCommand::Count); ++c) {
        const auto command = static_cast<ToolBarCommand>(c);
        EXPECT_EQ(CommandIcon(command).pixmap(24, 24).toImage(),
                  DrawnCommandIcon(command).pixmap(24, 24).toImage())
            << "icon " << c;
    }
    QIcon::setThemeSearchPaths(paths);
    QIcon::setThemeName(theme);
}

}  // namespace
}  // namespace orvik
