#pragma once

#include <QString>
#include <string>

class QWidget;

namespace orvik {

class COrvikDoc;
class TraceRecord;

// Asks where to save `csv` (a .csv file by default) and writes it whole or not
// at all; a failure is shown under `title`. False when nothing was written.
bool SaveCsvWithDialog(QWidget* parent, const QString& title, const std::string& csv,
                       const QString& proposed = {});

// File > Export CSV...: the collection's traces, one row each, proposed as the
// collection's name with .csv.
bool ExportCollectionCsv(QWidget* parent, const COrvikDoc& document);
// File > Export Trace CSV...: the samples of one trace, proposed under the
// trace's name in the folder of the collection at `documentPath`.
bool ExportTraceCsv(QWidget* parent, const TraceRecord& trace,
                    const std::string& documentPath = {});

}  // namespace orvik
