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
#include "station_fakes.h"
#include "test_files.h"

namespace orvik {
namespace {

class Station : public ::testing::Test, protected testing::StationRig {
  protected:
    Station() {
        Criterion& se = library.AddCriterion();
        se.Name = "SE 50";
        Criterion& diff = library.AddCriterion();
        diff.Name = "Diff 100";
        diff.TargetImpedance = 100;
        diff.RecomputeLimits();
        diff.DoubleEnded = 1;
        selector.FillInListOrder(library);
    }

    const TraceRecord& RecordAt(std::size_t index) {
        return dynamic_cast<const TraceRecord&>(*document.Items().at(index));
    }
};

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

// A library script with two tests, A on "SE 50" and B on "Diff 100".
class ScriptedStation : public Station {
  protected:
    ScriptedStation() {
        script = &library.AddScript();
        script->Prefix = "LOT7-";
        script->AddElement().CriterionId = library.Criteria[0]->Id;
        script->Elements.back().Postfix = "A";
        script->AddElement().CriterionId = library.Criteria[1]->Id;
        script->Elements.back().Postfix = "B";
    }
    void MeasureAndRecord() {
        station.RunTest(document);
        station.RecordTest(document);
    }
    Script* script;
};

TEST_F(ScriptedStation, NamesTracesFromPrefixSerialAndPostfix) {
    prompts.serials = {std::string("12"), std::string("13")};
    ASSERT_TRUE(station.Scripts().Start(document, *script));
    EXPECT_FALSE(selector.Enabled());
    EXPECT_EQ(selector.SelectedCriterion(), library.Criteria[0].get());
    EXPECT_EQ(host.posted, 1) << "the first criterion is applied through the queue";
    MeasureAndRecord();
    EXPECT_EQ(selector.SelectedCriterion(), library.Criteria[1].get());
    EXPECT_EQ(document.TraceTemplate.Criteria.Name, "Diff 100") << "applied at once";
    MeasureAndRecord();
    MeasureAndRecord();
    ASSERT_EQ(document.Items().size(), 3u);
    EXPECT_EQ(RecordAt(0).Name, "LOT7-12A");
    EXPECT_EQ(RecordAt(1).Name, "LOT7-12B");
    EXPECT_EQ(RecordAt(1).ElementPosition, 2);
    EXPECT_EQ(RecordAt(1).Tag, 2);
    EXPECT_EQ(RecordAt(2).Name, "LOT7-13A");
    EXPECT_EQ(document.NextSampleNumber, 1) << "scripted records leave the sample counter";
}

TEST_F(ScriptedStation, AutomaticSerialsCountUp) {
    script->PromptForSerial = 0;
    station.Scripts().Start(document, *script);
    EXPECT_EQ(script->CurrentSerial, "100");
    MeasureAndRecord();
    MeasureAndRecord();
    EXPECT_EQ(script->CurrentSerial, "101");
    EXPECT_EQ(script->SerialCounter, 102);
    EXPECT_EQ(prompts.serialPrompts, 0);
}

TEST_F(ScriptedStation, CancellingTheSerialStopsTheRun) {
    prompts.serials = {std::string("1"), std::nullopt};
    station.Scripts().Start(document, *script);
    MeasureAndRecord();
    MeasureAndRecord();
    EXPECT_EQ(document.ActiveScript, nullptr);
    EXPECT_TRUE(selector.Enabled());
    EXPECT_EQ(document.Items().size(), 2u);

    prompts.serials = {std::nullopt};
    EXPECT_FALSE(station.Scripts().Start(document, *script));
    EXPECT_EQ(document.ActiveScript, nullptr);
    EXPECT_TRUE(selector.Enabled());
}

TEST_F(ScriptedStation, UnknownCriterionKeepsTheSelection) {
    script->Elements.back().CriterionId = 99;
    station.Scripts().Start(document, *script);
    MeasureAndRecord();
    EXPECT_EQ(selector.SelectedCriterion(), library.Criteria[0].get());
    MeasureAndRecord();
    EXPECT_EQ(RecordAt(1).Name, "LOT7-B");
    EXPECT_EQ(RecordAt(1).ElementPosition, 2);
}

TEST_F(ScriptedStation, GuardAsksAndStopsOnlyOnYes) {
    station.Scripts().Start(document, *script);
    prompts.yesNoAnswers = {false, true};
    EXPECT_FALSE(station.ScriptGuard());
    EXPECT_EQ(document.ActiveScript, script);
    EXPECT_EQ(prompts.questions.at(0).caption, "Stop running script?");
    EXPECT_TRUE(station.ScriptGuard());
    EXPECT_EQ(document.ActiveScript, nullptr);
    EXPECT_TRUE(selector.Enabled());
    EXPECT_TRUE(station.ScriptGuard()) << "no script, no question";
    EXPECT_EQ(prompts.questions.size(), 2u);
}

// A batch of known size ends with its last coupon: no serial is asked or
// counted for a coupon that will not be tested.
TEST_F(ScriptedStation, StopAtCouponEndEndsTheRunWithoutANextSerial) {
    script->PromptForSerial = 0;
    script->SerialCounter = 100;
    ASSERT_TRUE(station.Scripts().Start(document, *script));
    MeasureAndRecord();
    station.Scripts().StopAtCouponEnd();
    EXPECT_EQ(document.ActiveScript, script) << "only the end of the coupon stops the run";
    MeasureAndRecord();
    EXPECT_EQ(document.ActiveScript, nullptr);
    EXPECT_TRUE(selector.Enabled());
    EXPECT_EQ(script->SerialCounter, 101);

    // The request ends with the run: a later run goes on past its coupon.
    ASSERT_TRUE(station.Scripts().Start(document, *script));
    station.Scripts().StopAtCouponEnd();
    station.Scripts().Stop(document);
    ASSERT_TRUE(station.Scripts().Start(document, *script));
    MeasureAndRecord();
    MeasureAndRecord();
    EXPECT_EQ(document.ActiveScript, script);
    EXPECT_EQ(script->SerialCounter, 104);
}

TEST_F(ScriptedStation, ScriptWithoutTestsDoesNotStart) {
    Script& empty = library.AddScript();
    EXPECT_FALSE(station.Scripts().Start(document, empty));
    EXPECT_EQ(document.ActiveScript, nullptr);
    EXPECT_EQ(prompts.messages.size(), 1u);
}

// The Scripted Tests command: the dialog with live mode off, the library saved
// however the dialog closed, the chosen script run over its coupons, and the
// command again stopping it without a question.
TEST_F(ScriptedStation, ScriptedTestsCommandStartsThroughTheDialogAndStops) {
    testing::TemporaryFolder folder;
    const std::string path = folder.File("criteria.dat");
    script->PromptForSerial = 0;
    station.SetLiveMode(true);
    const auto outcome = station.ScriptedTests(
        [&]() -> Script* {
            EXPECT_FALSE(station.LiveMode());
            EXPECT_EQ(clock.NowMs(), 200) << "the instrument settles before the dialog";
            script->Description = "Lot impedance";
            return script;
        },
        path);
    EXPECT_EQ(outcome, ScriptedTestsOutcome::Started);
    EXPECT_FALSE(station.LiveMode()) << "starting a run does not restart live mode";
    EXPECT_EQ(document.ActiveScript, script);
    EXPECT_FALSE(selector.Enabled());
    EXPECT_EQ(host.posted, 1);
    CriteriaLibrary saved;
    ASSERT_TRUE(saved.Load(path).Ok());
    ASSERT_EQ(saved.Scripts.size(), 1u);
    EXPECT_EQ(saved.Scripts[0]->Description, "Lot impedance");
    EXPECT_EQ(saved.Scripts[0]->SerialCounter, 100) << "saved before the first serial is taken";

    for (int record = 0; record < 5; ++record) {
        MeasureAndRecord();
    }
    EXPECT_EQ(RecordAt(4).Name, "LOT7-102A");
    EXPECT_EQ(script->SerialCounter, 103);

    EXPECT_EQ(station.ScriptedTests([]() -> Script* { return nullptr; }, path),
              ScriptedTestsOutcome::Stopped);
    EXPECT_EQ(document.ActiveScript, nullptr);
    EXPECT_TRUE(selector.Enabled());
    EXPECT_TRUE(prompts.questions.empty());
}

TEST_F(ScriptedStation, ScriptedTestsSavesAfterCloseAndRefusesAnEmptyScript) {
    testing::TemporaryFolder folder;
    const std::string path = folder.File("criteria.dat");
    EXPECT_EQ(station.ScriptedTests(
                  [&]() -> Script* {
                      script->Customer = "Acme";
                      return nullptr;  // Close
                  },
                  path),
              ScriptedTestsOutcome::NotStarted);
    CriteriaLibrary saved;
    ASSERT_TRUE(saved.Load(path).Ok());
    EXPECT_EQ(saved.Scripts.at(0)->Customer, "Acme");

    Script& empty = library.AddScript();
    EXPECT_EQ(station.ScriptedTests([&] { return &empty; }, path),
              ScriptedTestsOutcome::NotStarted);
    ASSERT_EQ(prompts.messages.size(), 1u);
    EXPECT_NE(prompts.messages[0].text.find("has no tests"), std::string::npos);
    EXPECT_EQ(document.ActiveScript, nullptr);
    EXPECT_TRUE(selector.Enabled());

    host.active = nullptr;
    bool shown = false;
    EXPECT_EQ(station.ScriptedTests(
                  [&]() -> Script* {
                      shown = true;
                      return script;
                  },
                  path),
              ScriptedTestsOutcome::NoCollection);
    EXPECT_FALSE(shown);
}

TEST_F(ScriptedStation, TreeFilesARunUnderScriptAndCoupons) {
    TestTree tree(document);
    struct TreeView : DocumentObserver {
        TestTree* tree;
        void OnDocumentUpdate(COrvikDoc&, DocumentObserver*,
                              const DocumentChange& change) override {
            if (change.What == DocumentChange::Kind::TraceRecorded) {
                tree->InsertRecord(*change.Recorded);
            }
        }
    } view;
    view.tree = &tree;
    document.AddObserver(&view);
    prompts.serials = {std::string("12"), std::string("13")};
    station.Scripts().Start(document, *script);
    for (int i = 0; i < 3; ++i) {
        MeasureAndRecord();
    }
    station.Scripts().Stop(document);
    MeasureAndRecord();
    document.RemoveObserver(&view);

    // Script snapshot, coupon 12, A, B, coupon 13, A, then the free trace.
    const auto& items = document.Items();
    ASSERT_EQ(items.size(), 7u);
    EXPECT_EQ(items[0]->TypeCode, kScriptType);
    EXPECT_EQ(dynamic_cast<CouponMarker&>(*items[1]).Serial, "12");
    EXPECT_EQ(dynamic_cast<CouponMarker&>(*items[4]).Serial, "13");
    EXPECT_EQ(dynamic_cast<TraceRecord&>(*items[6]).Name, "Sample #: 1");

    ASSERT_EQ(tree.Roots().size(), 2u);
    const TestTreeNode& scriptNode = *tree.Roots()[0];
    ASSERT_EQ(scriptNode.Children.size(), 2u);
    EXPECT_EQ(scriptNode.Children[0]->Children.size(), 2u);
    EXPECT_EQ(scriptNode.Children[1]->Children.size(), 1u);
    EXPECT_EQ(PlainText(scriptNode.Children[1]->Text), "LOT7-13");

    // A rebuild from the items gives the same grouping.
    tree.Rebuild();
    ASSERT_EQ(tree.Roots().size(), 2u);
    EXPECT_EQ(tree.Roots()[0]->Children.size(), 2u);
    EXPECT_EQ(tree.NodeCount(), 7u);
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
