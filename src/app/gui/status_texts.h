#pragma once

#include <QString>

#include "app/script_run.h"
#include "base/station_ports.h"

namespace orvik {

// The status bar's account of what just happened, e.g. "Recorded L4711-004A (PASS)".
QString NoticeText(const StationNotice& notice);

// The status bar's pane for a running script: "Coupon L4711-004 — test 2 of 2".
QString ScriptProgressText(const ScriptProgress& progress);

// After a save: "Saved LOT4711.tdr" (the file's name, not its folder).
QString SavedText(const QString& path);

}  // namespace orvik
