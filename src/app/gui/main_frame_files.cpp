// The main window's care for the collection files it shares with other
// programs: a collection opened twice, and a file saved over by someone else
// since this window opened or saved it.
#include <QMessageBox>
#include <QPushButton>
#include <filesystem>

#include "app/gui/child_frame.h"
#include "app/gui/main_frame.h"
#include "base/file_stamp.h"
#include "base/gui/prompt_dialogs.h"
#include "collection/orvik_doc.h"

namespace orvik {

CChildFrame* CMainFrame::WindowWithFile(const std::string& path) const {
    const std::optional<FileStamp> file = StampOf(path);
    for (CChildFrame* child : Children()) {
        const std::string& open = child->Document().Path();
        if (open.empty()) {
            continue;
        }
        if (open == path) {
            return child;
        }
        // The same file under another name: a link, or another way there.
        const std::optional<FileStamp> other = file ? StampOf(open) : std::nullopt;
        if (other && other->Device == file->Device && other->Inode == file->Inode) {
            return child;
        }
    }
    return nullptr;
}

bool CMainFrame::ConfirmOpenOfHeldFile(const std::string& path) {
    const QString name = PathToQt(std::filesystem::path(path).filename().string());
    QString where;
    if (WindowWithFile(path) != nullptr) {
        where = "in another window of this program";
    } else if (FileIsHeld(path)) {
        where = "in another Orvik or orvik-cli";
    } else {
        return true;
    }
    log_->Warning("app", path + " is already open " + FromQt(where));
    const auto answer = QMessageBox::question(
        this, "Orvik",
        QString("%1 is already open %2.\nChanges saved in one are not shown in the other.\nOpen "
                "it here as well?")
            .arg(name, where),
        QMessageBox::Yes | QMessageBox::No, QMessageBox::No);
    return answer == QMessageBox::Yes;
}

CMainFrame::SaveOverChange CMainFrame::AskSaveOverChange(const COrvikDoc& document) {
    QMessageBox box(QMessageBox::Warning, "Orvik",
                    QString("%1 was changed by another program since you opened it.")
                        .arg(PathToQt(document.Title())),
                    QMessageBox::NoButton, this);
    QPushButton* anyway = box.addButton("Save anyway", QMessageBox::DestructiveRole);
    QPushButton* saveAs =
        box.addButton(QString("Save As%1").arg(QChar(0x2026)), QMessageBox::AcceptRole);
    QPushButton* cancel = box.addButton(QMessageBox::Cancel);
    box.setDefaultButton(saveAs);
    box.setEscapeButton(cancel);
    box.exec();
    log_->Warning("app", document.Path() + " was changed on disk since it was opened or saved");
    if (box.clickedButton() == anyway) {
        return SaveOverChange::SaveAnyway;
    }
    return box.clickedButton() == saveAs ? SaveOverChange::SaveAs : SaveOverChange::Cancel;
}

}  // namespace orvik
