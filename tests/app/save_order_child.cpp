// The program's recording flow with a recovery journal, for the test that
// traces its system calls: a saved collection, two Record Tests, a Save and
// one Record Test after it. Before and after each operation it writes a mark
// ("MARK record", "MARK recorded", "MARK save", "MARK saved") to standard
// output, so that the trace shows where each operation begins and returns.
//
//   save_order_child FOLDER
#include <unistd.h>

#include <iostream>
#include <string>

#include "journal/recovery_journal.h"
#include "station_fakes.h"

namespace {

void Mark(const std::string& what) {
    const std::string line = "MARK " + what + "\n";
    static_cast<void>(::write(STDOUT_FILENO, line.data(), line.size()));
}

int Run(const std::string& folder) {
    orvik::testing::StationRig rig;
    rig.library.AddCriterion().Name = "SE 50";
    rig.selector.FillInListOrder(rig.library);
    rig.selector.SelectIndex(0);
    const std::string collection = folder + "/lot.tdr";
    if (!rig.document.SaveAs(collection)) {
        std::cerr << "save_order_child: cannot save " << collection << '\n';
        return 1;
    }
    orvik::RecoveryJournal journal(folder + "/recovery", rig.document);
    const auto record = [&] {
        Mark("record");
        rig.station.RunTest(rig.document);
        rig.station.RecordTest(rig.document);
        Mark("recorded");
    };
    record();
    record();
    Mark("save");
    if (!rig.document.SaveAs(collection)) {
        return 1;
    }
    Mark("saved");
    record();
    return rig.document.Items().size() == 3 ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::cerr << "usage: save_order_child FOLDER\n";
        return 2;
    }
    return Run(argv[1]);
}
