#pragma once

#include <QString>

class QWidget;

namespace orvik {

class COrvikDoc;
class OperatorPrompts;
struct ReportPreferences;

// The save dialog of the Text Report command: .txt by default, a question
// before an existing file is replaced. Empty when cancelled.
QString AskTextReportPath(QWidget* parent);

// Writes the report of `document` to `path`; when that fails the operator is
// told which file and why. True when written.
bool WriteTextReportFile(const QString& path, const COrvikDoc& document,
                         const ReportPreferences& preferences, OperatorPrompts& prompts);

}  // namespace orvik
