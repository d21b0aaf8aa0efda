// The Scripted Tests command of the main window.
#include "app/gui/child_frame.h"
#include "app/gui/main_frame.h"
#include "collection/orvik_doc.h"
#include "criteria/gui/scripts_dialog.h"

namespace orvik {

bool CMainFrame::ScriptRunsInAnyCollection(const Script& script) const {
    for (CChildFrame* child : Children()) {
        if (child->Document().ActiveScript == &script) {
            return true;
        }
    }
    return false;
}

void CMainFrame::OnScriptedTests() {
    station_.ScriptedTests(
        [this]() -> Script* {
            UpdateCommandStates();  // live mode is off while the dialog is open
            ScriptsDialog dialog(library_, prompts_, this);
            // Another collection may be running one of these scripts: its run
            // holds the script and its tests, which must then stay.
            dialog.SetRunningCheck(
                [this](const Script& script) { return ScriptRunsInAnyCollection(script); });
            ShowScriptsDialog(dialog);
            return dialog.ChosenScript();
        },
        libraryPath_);
    UpdateCommandStates();
}

}  // namespace orvik
