#pragma once

// The main window on a fake instrument, with two criteria ("SE 50" and
// "Diff 100") in its library and one empty collection open.
#include <gtest/gtest.h>
#include <QAction>
#include <QTreeWidget>

#include "app/gui/browse_view.h"
#include "app/gui/child_frame.h"
#include "app/gui/criteria_selector_widget.h"
#include "app/gui/graph_view.h"
#include "app/gui/main_frame.h"
#include "base/clock.h"
#include "chart/gui/vivid_tree_widget.h"
#include "qt_environment.h"
#include "station_fakes.h"
#include "test_files.h"

namespace orvik {
namespace {

[[maybe_unused]] auto* const environment =
    ::testing::AddGlobalTestEnvironment(new testing::QtEnvironment);

class MainWindow : public ::testing::Test {
  protected:
    MainWindow() {
        CriteriaLibrary library;
        library.AddCriterion().Name = "SE 50";
        Criterion& diff = library.AddCriterion();
        diff.Name = "Diff 100";
        diff.TargetImpedance = 100;
        diff.RecomputeLimits();
        diff.DoubleEnded = 1;
        EXPECT_TRUE(library.Save(criteriaPath).Ok());
        frame.LoadCriteriaLibrary(criteriaPath);
        frame.ProcessCommandLine({});
    }

    // The selector lists the file's order: "SE 50" first.
    void Choose(int index) { emit frame.SelectorWidget()->activated(index); }

    // The command by its text as read, without its access-key marker.
    QAction* Command(const QString& text) {
        for (QAction* action : frame.findChildren<QAction*>()) {
            if (QString(action->text()).remove('&') == text) {
                return action;
            }
        }
        return nullptr;
    }

    CChildFrame& Child() { return *frame.ActiveChild(); }
    QTreeWidget& Tree() { return *Child().Browse().Tree(); }

    testing::TemporaryFolder folder;
    std::string criteriaPath = folder.File("criteria.dat");
    testing::FakeInstrument instrument;
    VirtualClock clock;
    CMainFrame frame{StartOptions{}, instrument, clock};
};

}  // namespace
}  // namespace orvik
