#pragma once

#include <cstddef>
#include <functional>
#include <span>
#include <string>
#include <vector>

#include "base/measurement_mode.h"

namespace orvik {

class COrvikDoc;
class CollectionItem;

// What one acquisition gives Run Test: the 750 impedance values from the
// mode's end of cable. When the instrument could not be used the operator
// has been told and live mode must stop (StopLiveMode); when the record came
// without some of its samples nobody has been told yet (Incomplete). Either
// way the values are no measurement: nothing to show or to record.
struct MeasuredProfile {
    std::span<const double> Impedance;
    bool StopLiveMode = false;
    bool Incomplete = false;

    bool Failed() const { return StopLiveMode || Incomplete; }
};

// The instrument as the operating flow sees it.
class ProfileInstrument {
  public:
    virtual ~ProfileInstrument() = default;
    virtual MeasuredProfile MeasureProfile(MeasurementMode mode) = 0;
};

// What the operating flow tells the operator in passing, without a question:
// the main window shows it in its status bar.
struct StationNotice {
    enum class Kind {
        Recorded,       // a trace was filed: Name and Passed say which and how it judged
        RecordIgnored,  // Record Test had no new measurement to file
        ScriptStopped,  // the running script ended
    };
    Kind What = Kind::Recorded;
    std::string Name;
    bool Passed = false;
};

// The main window as the operating flow sees it.
class StationHost {
  public:
    virtual ~StationHost() = default;
    // The collection of the active window, or none.
    virtual COrvikDoc* ActiveDocument() = 0;
    // Queues "apply the selected criterion" behind the events already waiting.
    virtual void PostApplySelectedCriterion() = 0;
    // Whether `document` is still open: a measurement that ends after its
    // collection was closed has nowhere to go.
    virtual bool IsOpen(const COrvikDoc& document) {
        (void)document;
        return true;
    }
    // Tells the operator what just happened; a host without a status bar ignores it.
    virtual void Notify(const StationNotice& notice) { (void)notice; }
    // Every open collection, the active one among them.
    virtual std::vector<COrvikDoc*> OpenDocuments() {
        COrvikDoc* active = ActiveDocument();
        return active != nullptr ? std::vector<COrvikDoc*>{active} : std::vector<COrvikDoc*>{};
    }
    // A modal window (a dialog, a message box, a file chooser) is open: the
    // operator is busy with it, and the trigger inputs must not act meanwhile.
    virtual bool ModalWindowOpen() { return false; }
};

// Hears every trace that Record Test files, once the collection holds it
// with the script and coupon items filed with it, and its recovery journal
// has it on disk: the results database takes it from here.
class FiledTraceListener {
  public:
    virtual ~FiledTraceListener() = default;
    virtual void TraceFiled(const COrvikDoc& document, const CollectionItem& trace) = 0;
};

// Where instrument work runs. The program runs it on a worker thread, so that
// the window never waits for the instrument's pauses, and calls `done` back
// on the window thread; tests and the command-line tool run it in place.
class InstrumentWork {
  public:
    virtual ~InstrumentWork() = default;
    virtual void Run(std::function<void()> work, std::function<void()> done) = 0;
};

class InPlaceInstrumentWork : public InstrumentWork {
  public:
    void Run(std::function<void()> work, std::function<void()> done) override {
        work();
        done();
    }
};

}  // namespace orvik
