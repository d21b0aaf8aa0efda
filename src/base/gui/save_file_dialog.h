#pragma once

#include <QString>
#include <QStringList>

class QWidget;

namespace orvik {

// The save dialog of every command that writes a file: a name typed without
// an extension gets `suffix` (without its dot) inside the dialog, so that the
// dialog's question before replacing an existing file is asked about the name
// that will really be written ("lot7" for an existing lot7.pdf). `proposed`
// is the name shown first. Empty when cancelled.
QString AskSaveFileName(QWidget* parent, const QString& caption, const QString& proposed,
                        const QStringList& filters, const QString& suffix);

}  // namespace orvik
