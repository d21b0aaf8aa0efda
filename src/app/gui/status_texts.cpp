#include "app/gui/status_texts.h"

#include <QFileInfo>

#include "base/gui/prompt_dialogs.h"

namespace orvik {

QString NoticeText(const StationNotice& notice) {
    switch (notice.What) {
        case StationNotice::Kind::Recorded:
            return QString("Recorded %1 (%2)")
                .arg(ToQt(notice.Name), notice.Passed ? "PASS" : "FAIL");
        case StationNotice::Kind::RecordIgnored:
            return "Record ignored: no new measurement";
        case StationNotice::Kind::ScriptStopped:
            return "Script stopped";
    }
    return {};
}

QString ScriptProgressText(const ScriptProgress& progress) {
    return QString("Coupon %1 %2 test %3 of %4")
        .arg(ToQt(progress.Coupon), QString(QChar(0x2014)))
        .arg(progress.Test)
        .arg(progress.Tests);
}

QString SavedText(const QString& path) {
    return "Saved " + QFileInfo(path).fileName();
}

}  // namespace orvik
