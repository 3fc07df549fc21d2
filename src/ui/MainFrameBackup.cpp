// The main window's part in backing up a folder: the commands, the destination chooser and the busy run.
#include "folder/FolderBackup.h"
#include "ui/DialogHook.h"
#include "ui/MainFrame.h"
#include "ui/TreeV.h"
#include "util/MessageNumbers.h"
#include "workspace/LoginManager.h"

#include <QFileDialog>
#include <QStandardPaths>

namespace korimbo {

void CMainFrame::BindBackupCommands() {
    // Copying containers needs no key, but every copy is verified with the folder's key before it counts:
    // the folder must be logged in.
    m_table.Bind(
        cmd::Backup,
        [this] {
            return !m_abortable && m_login && m_tree->KindUnderMouseOrCurrent() != CTreeV::ItemKind::None &&
                   m_login->IsLoggedIn(SelectedTopFolder());
        },
        [this](int) { static_cast<void>(BackupFolder(SelectedTopFolder())); });
    m_table.BindPopup(cmd::Backup, [this](int) {
        static_cast<void>(BackupFolder(CTreeV::TopFolderOf(m_tree->FindTop(m_treePopupPath))));
    });
    m_table.Bind(
        cmd::ImportBackup, [] { return true; }, [this](int) { ShowImportBackupNotice(); });
}

QString CMainFrame::ChooseBackupDestination() {
    const QString title = QStringLiteral("バックアップ先の選択");
    QFileDialog dialog(this, title, QStandardPaths::writableLocation(QStandardPaths::HomeLocation));
    dialog.setObjectName(title);
    dialog.setFileMode(QFileDialog::Directory);
    dialog.setOption(QFileDialog::ShowDirsOnly, true);
    // Our own dialog: it answers like the rest of the program's windows, keyboard included.
    dialog.setOption(QFileDialog::DontUseNativeDialog, true);
    const QString prompt = m_app.State().catalogue->m_GetMsgA(msg::kBackupDestination);
    dialog.setLabelText(QFileDialog::FileName, prompt);
    dialog.setAccessibleDescription(prompt);
    dialog.setLabelText(QFileDialog::Accept, QStringLiteral("OK"));
    dialog.setLabelText(QFileDialog::Reject, QStringLiteral("キャンセル"));
    if (DialogHook::Exec(dialog) != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return QString();
    return dialog.selectedFiles().first();
}

OpResult CMainFrame::BackupFolder(const QString& folder) {
    if (folder.isEmpty() || !m_login || !m_login->IsLoggedIn(folder))
        return OpResult::kDeclined;
    const QString destination = ChooseBackupDestination();
    if (destination.isEmpty())
        return OpResult::kDeclined;
    AppState& state = m_app.State();
    CFolderBackup backup(*state.engine, m_app.Svc().files, m_ui, *state.catalogue);
    backup.busy = [this](bool on) {
        Busy(on);
        SetAbortable(on);
    };
    const OpResult rc = backup.Run(folder, destination);
    ClearStatusText();
    return rc;
}

void CMainFrame::ShowImportBackupNotice() {
    MessageSource& messages = *m_app.State().catalogue;
    m_ui.Message(messages.MsgA(msg::kImportBackupUnavailable) + messages.MsgA(msg::kImportBackupHow), Icon::Information,
                 Buttons::Ok, 0, msg::kImportBackupUnavailable);
}

} // namespace korimbo
