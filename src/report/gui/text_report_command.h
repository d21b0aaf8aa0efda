#pragma once

#include <QString>

class QWidget;

namespace orvik {

class COrvikDoc;
class OperatorPrompts;
struct ReportPreferences;

// The save dialog of the Text Report command: .txt by default, a question
// before an existing file is replaced. Empty when cancelled.
// `proposed` is the file it starts with.
QString AskTextReportPath(QWidget* parent, const QString& proposed = {});

// Writes the report of `document` to `path`; when that fails the operator is
// told which file and why. True when written.
bool WriteTextReportFile(const QString& path, const COrvikDoc& document,
                         const ReportPreferences& preferences, OperatorPrompts& prompts);

}  // namespace orvik
