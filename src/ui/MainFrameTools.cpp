// The main window's tools: registering a folder chosen in a folder dialog, the check of a folder for plain
// files, and the hint window.
#include "folder/NameFile.h"
#include "folder/PlainFileCheck.h"
#include "folder/StoredHint.h"
#include "ui/D16HintDisp.h"
#include "ui/DialogHook.h"
#include "ui/MainFrame.h"

#include <QDir>
#include <QFileDialog>

namespace korimbo {

void CMainFrame::BindToolCommands() {
    m_table.Bind(cmd::RegisterFolder, [this] { return !m_abortable; }, [this](int) { RegisterChosenFolder(); });
    m_table.Bind(
        cmd::PlainFileCheck, [this] { return !m_abortable && !m_currentFolder.isEmpty(); },
        [this](int) { CheckPlainFiles(); });
    m_table.Bind(cmd::HintWindow, [this] { return !m_abortable; }, [this](int) { ShowHintWindow(); });
}

// The same registration as a folder dropped on the tree, with its two messages around it.
void CMainFrame::RegisterChosenFolder() {
    QFileDialog dialog(this, QStringLiteral("暗号フォルダーの登録"), QDir::homePath());
    dialog.setObjectName(QStringLiteral("暗号フォルダーの登録"));
    dialog.setFileMode(QFileDialog::Directory);
    dialog.setOption(QFileDialog::ShowDirsOnly, true);
    dialog.setOption(QFileDialog::DontUseNativeDialog, true);
    dialog.setLabelText(QFileDialog::Accept, QStringLiteral("登録"));
    dialog.setLabelText(QFileDialog::Reject, QStringLiteral("キャンセル"));
    if (DialogHook::Exec(dialog) != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return;
    static_cast<void>(RegisterAndLogin(dialog.selectedFiles().first(), true));
}

// The whole encrypted folder of the shown directory, not only the directory itself.
void CMainFrame::CheckPlainFiles() {
    const QString folder = m_nameFile->OwningRoot(m_currentFolder);
    if (folder.isEmpty())
        return;
    CPlainFileCheck check(Services());
    // The stop button lives as long as the walk, not the question before it or the report after it.
    check.busy = [this](bool on) {
        Busy(on);
        SetAbortable(on);
    };
    static_cast<void>(check.Run(folder));
    ClearStatusText();
}

void CMainFrame::ShowHintWindow() {
    CCryptEngine& engine = *m_app.State().engine;
    MessageSource& messages = *m_app.State().catalogue;
    CD16HintDisp window(
        [&engine, &messages](const QString& path) {
            return StoredHintLine(messages, path, ReadStoredHint(engine, path));
        },
        this);
    DialogHook::Exec(window);
}

} // namespace korimbo
