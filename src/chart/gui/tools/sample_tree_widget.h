#pragma once

#include <string>

#include "chart/gui/vivid_tree_widget.h"

namespace orvik::samples {

// A trace line as the test tree shows it: "SD - " or "DD - " coloured, the
// name, the average, then a coloured PASS or FAIL.
std::string TraceItemText(bool doubleEnded, const std::string& name, double average, bool passed);

// Gives `tree` the test tree's appearance and a script with two coupons of
// traces, plus two traces recorded outside the script. Selects one trace.
void FillSampleTree(VividTree& tree);

}  // namespace orvik::samples
