#include "app/test_station.h"

#include <gtest/gtest.h>

#include <functional>
#include <utility>
#include <vector>

#include "base/clock.h"
#include "chart/coloured_text.h"
#include "collection/test_tree.h"
#include "criteria/criteria_library.h"
#include "script/script.h"
#include "station_fixture.h"

namespace orvik {
namespace {

using testing::Station;

TEST_F(Station, RunTestNeedsASelectedCriterion) {
    station.SetLiveMode(true);
    station.RunTest(document);
    EXPECT_FALSE(station.LiveMode());
    ASSERT_EQ(prompts.messages.size(), 1u);
    EXPECT_EQ(prompts.messages[0].text, "No criteria has been selected");
    EXPECT_EQ(prompts.messages[0].caption, "Invalid Criteria");
    EXPECT_EQ(instrument.acquisitions, 0);
}

TEST_F(Station, RunTestFillsTheCurrentTraceInTheCriterionsMode) {
    selector.SelectIndex(1);
    instrument.level = 101.0;
    document.CurrentKind = CurrentTraceKind::Recorded;
    station.RunTest(document);
    EXPECT_TRUE(instrument.differential);
    EXPECT_EQ(document.TraceTemplate.SampleCount(), 750);
    EXPECT_EQ(document.TraceTemplate.Criteria.Name, "Diff 100");
    EXPECT_DOUBLE_EQ(document.TraceTemplate.Average, 101.0);
    EXPECT_TRUE(document.TraceTemplate.Passed);
    EXPECT_TRUE(document.CanRecord()) << "a new measurement may be recorded again";
    EXPECT_FALSE(station.InstrumentBusy());
}

// After a failed acquisition the previous trace (or the zeros of a record cut
// off by a USB error) must not be filed as a new measurement.
TEST_F(Station, FailedAcquisitionLeavesNothingToShowOrRecord) {
    selector.SelectIndex(0);
    station.RunTest(document);
    station.RecordTest(document);
    station.RunTest(document);  // a good measurement, not yet recorded
    station.SetLiveMode(true);
    instrument.failing = true;
    station.LiveModeTick();
    EXPECT_EQ(instrument.acquisitions, 3);
    EXPECT_FALSE(station.LiveMode());
    EXPECT_EQ(document.CurrentKind, CurrentTraceKind::FailedTest);
    EXPECT_EQ(document.TraceTemplate.SampleCount(), 250) << "a blank trace, not the old one";
    station.RecordTest(document);
    EXPECT_EQ(document.Items().size(), 1u);
    EXPECT_TRUE(prompts.messages.empty()) << "the instrument side has told the operator";

    instrument.failing = false;
    station.RunTest(document);
    station.RecordTest(document);
    EXPECT_EQ(document.Items().size(), 2u) << "a successful Run Test makes it recordable";
}

TEST_F(Station, IncompleteRecordIsAFailedTestAndIsTold) {
    selector.SelectIndex(0);
    station.SetLiveMode(true);
    instrument.incomplete = true;
    station.LiveModeTick();
    EXPECT_FALSE(station.LiveMode());
    EXPECT_EQ(document.CurrentKind, CurrentTraceKind::FailedTest);
    ASSERT_EQ(prompts.messages.size(), 1u);
    EXPECT_EQ(prompts.messages[0].text, kIncompleteRecordText);
    station.RecordTest(document);
    EXPECT_TRUE(document.Items().empty());
}

TEST_F(Station, RecordTestBeforeAnyMeasurementDoesNothing) {
    selector.SelectIndex(0);
    station.ApplySelectedCriterion();
    station.RecordTest(document);
    EXPECT_TRUE(document.Items().empty());
    EXPECT_EQ(document.NextSampleNumber, 1);
    EXPECT_FALSE(document.IsModified());
}

// Selecting a stored trace shows it; the shown copy must not be filed again
// under a new name.
TEST_F(Station, SelectedStoredTraceIsNotRecordable) {
    selector.SelectIndex(0);
    station.RunTest(document);
    station.RecordTest(document);
    instrument.level = 60.0;
    station.RunTest(document);
    station.TreeSelectionChanged(document, document.Items()[0].get(), false, nullptr);
    EXPECT_EQ(document.CurrentKind, CurrentTraceKind::StoredTrace);
    station.RecordTest(document);
    EXPECT_EQ(document.Items().size(), 1u);
    station.RunTest(document);
    station.RecordTest(document);
    ASSERT_EQ(document.Items().size(), 2u);
    EXPECT_DOUBLE_EQ(RecordAt(1).Average, 60.0);
    EXPECT_EQ(RecordAt(1).Name, "Sample #: 2");
}

// Trigger inputs are polled while the Trace Name prompt is open: neither a
// second record nor a new measurement may slip in under the open prompt.
TEST_F(Station, TriggersDuringTheTraceNamePromptAreIgnored) {
    selector.SelectIndex(0);
    station.TogglePromptForTraceName();
    station.RunTest(document);
    int nestedPrompts = 0;
    prompts.duringTraceName = [&] {
        if (++nestedPrompts > 1) {
            return;  // a nested prompt: the fault this test is about
        }
        station.TriggerRecordTest();
        station.TriggerRunTest();
        station.LiveModeTick();
    };
    station.RecordTest(document);
    EXPECT_EQ(nestedPrompts, 1);
    EXPECT_EQ(prompts.proposedNames.size(), 1u);
    EXPECT_EQ(document.Items().size(), 1u);
    EXPECT_EQ(instrument.acquisitions, 1);
    EXPECT_FALSE(station.Recording());
    prompts.duringTraceName = nullptr;
    station.RecordTest(document);
    EXPECT_EQ(document.Items().size(), 1u) << "one record per Run Test";
}

// Instrument work that waits until the test lets it finish, as a worker
// thread's would.
struct DeferredWork : InstrumentWork {
    void Run(std::function<void()> work, std::function<void()> done) override {
        pending.emplace_back(std::move(work), std::move(done));
    }
    void FinishAll() {
        auto now = std::move(pending);
        pending.clear();
        for (auto& [work, done] : now) {
            work();
            done();
        }
    }
    std::vector<std::pair<std::function<void()>, std::function<void()>>> pending;
};

// With the instrument on a worker, a measurement may land while the Trace
// Name prompt files the previous one: that newer measurement stays
// recordable, and the one under the prompt is filed once.
TEST_F(Station, MeasurementLandingUnderThePromptStaysRecordable) {
    DeferredWork work;
    station.SetInstrumentWork(work);
    selector.SelectIndex(0);
    station.RunTest(document);
    work.FinishAll();
    instrument.level = 60.0;
    station.RunTest(document);  // under way
    ASSERT_TRUE(station.InstrumentBusy());
    station.TogglePromptForTraceName();
    prompts.duringTraceName = [&] { work.FinishAll(); };
    station.RecordTest(document);
    prompts.duringTraceName = nullptr;
    ASSERT_EQ(document.Items().size(), 1u);
    EXPECT_DOUBLE_EQ(RecordAt(0).Average, 50.0) << "the trace shown when Record Test began";
    EXPECT_TRUE(document.CanRecord());
    station.RecordTest(document);
    ASSERT_EQ(document.Items().size(), 2u);
    EXPECT_DOUBLE_EQ(RecordAt(1).Average, 60.0);
    station.RecordTest(document);
    EXPECT_EQ(document.Items().size(), 2u);
}

// The collection's window closed while the worker measured: the measurement
// has nowhere to go and leaves the collection as it was.
TEST_F(Station, MeasurementEndingAfterItsCollectionClosedTouchesNothing) {
    DeferredWork work;
    station.SetInstrumentWork(work);
    selector.SelectIndex(0);
    const std::int32_t samples = document.TraceTemplate.SampleCount();
    ASSERT_NE(samples, 750);
    station.RunTest(document);
    host.closed = &document;
    work.FinishAll();
    EXPECT_EQ(instrument.acquisitions, 1);
    EXPECT_FALSE(station.InstrumentBusy());
    EXPECT_EQ(document.TraceTemplate.SampleCount(), samples);
    EXPECT_EQ(document.CurrentKind, CurrentTraceKind::NoMeasurement);
}

// Two windows: a measurement is recorded only in the window it was taken in,
// and only once.
TEST_F(Station, EachWindowRecordsItsOwnMeasurementOnce) {
    selector.SelectIndex(0);
    COrvikDoc other;
    station.RunTest(document);
    station.RecordTest(document);
    station.RunTest(other);
    station.RecordTest(document);
    EXPECT_EQ(document.Items().size(), 1u);
    station.RecordTest(other);
    station.RecordTest(other);
    EXPECT_EQ(other.Items().size(), 1u);
}

TEST_F(Station, LiveModeTicksOnlyWhenOnAndIdle) {
    selector.SelectIndex(0);
    station.LiveModeTick();
    EXPECT_EQ(instrument.acquisitions, 0);
    station.ToggleLiveMode();
    station.SetInstrumentBusy(true);
    station.LiveModeTick();
    EXPECT_EQ(instrument.acquisitions, 0);
    station.SetInstrumentBusy(false);
    station.LiveModeTick();
    station.LiveModeTick();
    EXPECT_EQ(instrument.acquisitions, 2);
    host.active = nullptr;
    station.LiveModeTick();
    EXPECT_EQ(instrument.acquisitions, 2);
}

TEST_F(Station, TwoRecordsWithoutARunTestRecordOne) {
    selector.SelectIndex(0);
    station.RunTest(document);
    station.RecordTest(document);
    station.RecordTest(document);
    ASSERT_EQ(document.Items().size(), 1u);
    EXPECT_EQ(RecordAt(0).Name, "Sample #: 1");
    EXPECT_EQ(RecordAt(0).Tag, 0);
    EXPECT_EQ(document.NextSampleNumber, 2);
    EXPECT_TRUE(document.IsModified());
}

TEST_F(Station, UpdatesSayWhatChangedAndNameTheRecordedTrace) {
    struct Changes : DocumentObserver {
        void OnDocumentUpdate(COrvikDoc&, DocumentObserver*,
                              const DocumentChange& change) override {
            seen.push_back(change);
        }
        std::vector<DocumentChange> seen;
    } view;
    document.AddObserver(&view);
    selector.SelectIndex(0);
    station.RunTest(document);
    station.RecordTest(document);
    document.RemoveObserver(&view);
    ASSERT_EQ(view.seen.size(), 2u);
    EXPECT_EQ(view.seen[0].What, DocumentChange::Kind::CurrentTrace);
    EXPECT_EQ(view.seen[1].What, DocumentChange::Kind::TraceRecorded);
    ASSERT_EQ(document.Items().size(), 1u);
    EXPECT_EQ(view.seen[1].Recorded, document.Items().front().get());
}

TEST_F(Station, CancelledTraceNameStillConsumesTheNumber) {
    selector.SelectIndex(0);
    station.TogglePromptForTraceName();
    prompts.traceNames = {std::string("first"), std::nullopt, std::string("Sample #: 3")};
    for (int i = 0; i < 3; ++i) {
        station.RunTest(document);
        station.RecordTest(document);
    }
    EXPECT_EQ(prompts.proposedNames,
              (std::vector<std::string>{"Sample #: 1", "Sample #: 2", "Sample #: 3"}));
    ASSERT_EQ(document.Items().size(), 2u);
    EXPECT_EQ(RecordAt(0).Name, "first");
    EXPECT_EQ(RecordAt(1).Name, "Sample #: 3");
}

TEST_F(Station, RecordWithLiveModeOnLeavesItOn) {
    selector.SelectIndex(0);
    station.SetLiveMode(true);
    station.RunTest(document);
    station.TogglePromptForTraceName();
    bool liveDuringPrompt = true;
    struct Observer : DocumentObserver {
        TestStation* station;
        bool* live;
        void OnDocumentUpdate(COrvikDoc&, DocumentObserver*, const DocumentChange&) override {
            *live = station->LiveMode();
        }
    } observer;
    observer.station = &station;
    observer.live = &liveDuringPrompt;
    document.AddObserver(&observer);
    station.RecordTest(document);
    document.RemoveObserver(&observer);
    EXPECT_FALSE(liveDuringPrompt) << "live mode pauses while the record is filed";
    EXPECT_TRUE(station.LiveMode());
    EXPECT_EQ(document.Items().size(), 1u);
}

TEST_F(Station, ApplyingTheSelectionRejudgesTheCurrentTrace) {
    selector.SelectIndex(0);
    instrument.level = 100.0;
    station.RunTest(document);
    EXPECT_FALSE(document.TraceTemplate.Passed);
    selector.SelectIndex(1);
    station.ApplySelectedCriterion();
    EXPECT_TRUE(document.TraceTemplate.Passed);
    EXPECT_EQ(document.TraceTemplate.Criteria.Name, "Diff 100");
    selector.SelectIndex(-1);
    station.ApplySelectedCriterion();
    EXPECT_EQ(document.TraceTemplate.Criteria, Criterion());

    host.active = nullptr;
    station.ApplySelectedCriterion();
    ASSERT_EQ(prompts.messages.size(), 1u);
    EXPECT_EQ(prompts.messages[0].text, "No document active");
    EXPECT_EQ(prompts.messages[0].caption, "");
}

TEST_F(Station, StoppingLiveModeWaitsOnlyWhenItWasOn) {
    station.StopLiveMode();
    EXPECT_EQ(clock.NowMs(), 0);
    station.SetLiveMode(true);
    station.StopLiveMode();
    EXPECT_FALSE(station.LiveMode());
    EXPECT_EQ(clock.NowMs(), 200);
}

TEST_F(Station, PromptForTraceNameTogglesTheLibraryFlag) {
    EXPECT_FALSE(station.PromptForTraceName());
    station.TogglePromptForTraceName();
    EXPECT_EQ(library.PromptForTraceName, 1);
    station.TogglePromptForTraceName();
    EXPECT_EQ(library.PromptForTraceName, 0);
}

TEST_F(Station, FirstTreeSelectionStopsLiveModeAndShowsTheTrace) {
    selector.SelectIndex(0);
    station.RunTest(document);
    station.RecordTest(document);
    instrument.level = 70;
    station.RunTest(document);
    station.SetLiveMode(true);
    station.TreeSelectionChanged(document, document.Items()[0].get(), true, nullptr);
    EXPECT_TRUE(station.LiveMode());
    station.TreeSelectionChanged(document, document.Items()[0].get(), false, nullptr);
    EXPECT_FALSE(station.LiveMode());
    EXPECT_DOUBLE_EQ(document.TraceTemplate.Average, 50.0);
    EXPECT_EQ(document.TraceTemplate.Name, "Sample #: 1");
}

}  // namespace
}  // namespace orvik

namespace orvik {
namespace {

// A collection with one stored trace and one measurement shown, and the tree
// that groups it, as the test tree's window sees it.
class StationWithTree : public ::testing::Test, protected testing::StationRig {
  protected:
    StationWithTree() {
        library.AddCriterion().Name = "SE 50";
        selector.FillInListOrder(library);
        selector.SelectIndex(0);
        view.tree = &tree;
        document.AddObserver(&view);
        station.RunTest(document);
        station.RecordTest(document);
        document.SetModified(false);
    }
    ~StationWithTree() override { document.RemoveObserver(&view); }

    struct View : DocumentObserver {
        void OnDocumentUpdate(COrvikDoc&, DocumentObserver*,
                              const DocumentChange& change) override {
            if (change.What == DocumentChange::Kind::TraceRecorded) {
                tree->InsertRecord(*change.Recorded);
            }
            ++refreshes;
        }
        TestTree* tree = nullptr;
        int refreshes = 0;
    };
    TestTree tree{document};
    View view;
};

TEST_F(StationWithTree, DeletingTheShownTraceBlanksTheGraphAndMarksTheCollection) {
    station.TreeSelectionChanged(document, document.Items()[0].get(), false, nullptr);
    EXPECT_DOUBLE_EQ(document.TraceTemplate.Average, 50.0);
    const int before = view.refreshes;
    station.DeleteTreeNode(document, tree, tree.Roots()[0].get());
    EXPECT_TRUE(document.Items().empty());
    EXPECT_TRUE(document.IsModified()) << "closing must ask before the deletion is lost";
    EXPECT_GT(view.refreshes, before) << "the views must stop showing the deleted trace";
    EXPECT_EQ(document.CurrentKind, CurrentTraceKind::NoMeasurement);
    EXPECT_EQ(document.TraceTemplate.SampleCount(), 250);
    EXPECT_EQ(document.ShownItem(), nullptr);
}

TEST_F(StationWithTree, DeletingAnotherTraceKeepsTheMeasurementShown) {
    instrument.level = 60.0;
    station.RunTest(document);
    station.DeleteTreeNode(document, tree, tree.Roots()[0].get());
    EXPECT_TRUE(document.IsModified());
    EXPECT_EQ(document.CurrentKind, CurrentTraceKind::Measurement);
    EXPECT_DOUBLE_EQ(document.TraceTemplate.Average, 60.0);
}

// The trace shown before the latest measurement is no longer what the graph
// shows: deleting it must not throw the unfiled measurement away.
TEST_F(StationWithTree, DeletingATraceShownBeforeTheLatestMeasurementKeepsTheMeasurement) {
    station.TreeSelectionChanged(document, document.Items()[0].get(), false, nullptr);
    instrument.level = 60.0;
    station.RunTest(document);
    station.DeleteTreeNode(document, tree, tree.Roots()[0].get());
    EXPECT_TRUE(document.CanRecord());
    EXPECT_DOUBLE_EQ(document.TraceTemplate.Average, 60.0);
}

TEST_F(StationWithTree, DeletingTheRunningScriptStopsTheRunAndRefreshes) {
    Script& script =
        dynamic_cast<Script&>(document.InsertBefore(nullptr, std::make_unique<Script>()));
    script.AddElement().CriterionId = library.Criteria[0]->Id;
    tree.Rebuild();
    TestTreeNode* node = tree.Roots().back().get();
    ASSERT_EQ(tree.ScriptToResume(node), &script);
    ASSERT_TRUE(station.Scripts().Resume(document, script));
    EXPECT_FALSE(selector.Enabled());
    const int before = view.refreshes;
    station.DeleteTreeNode(document, tree, node);
    EXPECT_EQ(document.ActiveScript, nullptr);
    EXPECT_TRUE(selector.Enabled());
    EXPECT_GT(view.refreshes, before) << "the script prompt must go at once";
}

// A script resumed from the tree is stopped by the Scripted Tests command.
TEST_F(StationWithTree, ScriptedTestsStopsAResumedScript) {
    EXPECT_FALSE(station.StopRunningScript()) << "nothing runs";
    Script& script = dynamic_cast<Script&>(document.AppendItem(std::make_unique<Script>()));
    script.AddElement().CriterionId = library.Criteria[0]->Id;
    ASSERT_TRUE(station.Scripts().Resume(document, script));
    EXPECT_TRUE(station.StopRunningScript());
    EXPECT_EQ(document.ActiveScript, nullptr);
    EXPECT_TRUE(selector.Enabled());
    host.active = nullptr;
    EXPECT_FALSE(station.StopRunningScript());
}

}  // namespace
}  // namespace orvik
