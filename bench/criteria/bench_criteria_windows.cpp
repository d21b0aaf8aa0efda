// Opening the criteria windows on a large library, as the operator waits for
// them: the dialog built, its list filled and sorted, and shown once painted.
// Target: the Criteria Manager on 2,000 criteria under 200 ms.
#include <benchmark/benchmark.h>

#include <QApplication>

#include "app/station_fakes.h"
#include "criteria/gui/criteria_dialogs.h"
#include "criteria/gui/scripts_dialog.h"

namespace {

using namespace orvik;

// Names that arrive out of alphabetical order, as an operator's do.
void FillLibrary(CriteriaLibrary& library, int count) {
    for (int i = 0; i < count; ++i) {
        library.AddCriterion().Name = "Coupon " + std::to_string((i * 7919) % count) + " ohm";
    }
    Script& script = library.AddScript();
    for (int i = 0; i < 4; ++i) {
        script.AddElement().CriterionId = i;
    }
}

template <class Dialog>
void OpenDialog(benchmark::State& state) {
    CriteriaLibrary library;
    FillLibrary(library, static_cast<int>(state.range(0)));
    testing::ScriptedPrompts prompts;
    for (auto _ : state) {
        Dialog dialog(library, prompts);
        dialog.show();
        QApplication::processEvents();
    }
}

void BM_OpenCriteriaManager(benchmark::State& state) {
    OpenDialog<CriteriaManagerDialog>(state);
}
BENCHMARK(BM_OpenCriteriaManager)->Arg(2000)->Unit(benchmark::kMillisecond)->UseRealTime();

// The scripts dialog sorts the same criteria into its drop-down.
void BM_OpenScriptsDialog(benchmark::State& state) {
    OpenDialog<ScriptsDialog>(state);
}
BENCHMARK(BM_OpenScriptsDialog)->Arg(2000)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace
