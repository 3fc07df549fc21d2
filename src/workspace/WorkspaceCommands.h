#pragma once

#include "platform/Launcher.h"
#include "state/FolderRegistry.h"
#include "state/SettingsFile.h"
#include "util/Interaction.h"
#include "util/MessageSource.h"
#include "util/OpResult.h"
#include "workspace/DecryptedFileModel.h"
#include "workspace/LoginManager.h"
#include "workspace/WorkingCopies.h"

#include <QString>
#include <QStringList>

#include <functional>

namespace korimbo {

// What the confirmation dialog of exit and logout (CD25ReturnMsg) shows, and what the user chose.
struct ReturnDialogRequest {
    QString caption;
    QString text;
    QStringList folders;
    QString checkLabel;
};
struct ReturnDialogResult {
    bool accepted = false;
    bool checked = false;
};

// The commands of the decrypted-file list and the working-copy steps of exit and logout: writing copies
// back (selected ones, or all of a folder), erasing them without writing back. Headless: the window
// shows the dialogs through the hooks and the messages through Interaction.
class CWorkspaceCommands {
public:
    CWorkspaceCommands(CWorkingCopies& copies, CLoginManager& login,
                       const FolderRegistry& registry, SettingsRecord& settings, FileSystem& files, Interaction& ui,
                       MessageSource& messages);

    // Hooks of the window.
    std::function<void(bool)> busy;              // around each command
    std::function<bool()> isBusy;                // another command is running
    std::function<void()> refreshContents;       // the contents list shows a changed directory
    std::function<void()> refreshDecryptedList;  // the decrypted-file list is to be rebuilt
    // The notice dialog (CD13Msg1, question icon, "はい"/"いいえ", a check box that starts ticked):
    // false for "いいえ"; `stopShowing` is the box at "はい". Without the hook the notice is passed.
    std::function<bool(int message, int checkLabel, bool& stopShowing)> notice;
    // CD25ReturnMsg. Without the hook the dialog counts as cancelled.
    std::function<ReturnDialogResult(const ReturnDialogRequest&)> returnDialog;

    // Writes the copies back into `folder` (the folder selected in the tree). Declined when the user
    // says no to the notice.
    OpResult WriteBackSelected(const QString& folder, const QStringList& copies);
    // Writes every copy of the folder's editing area back; a read-only folder's area is erased instead.
    // `fromCommand` shows the notice first.
    OpResult WriteBackAll(const QString& folder, bool fromCommand);
    // Erases the copies without writing back; their containers (empty: none) are made read-only again.
    OpResult EraseSelected(const QStringList& copies, const QStringList& containers);

    // The registered folders whose editing area holds working copies, in registry order.
    QStringList FoldersWithCopies() const;
    // The exit steps before the shutdown: done to shut down; declined or failed keeps the window open.
    OpResult ConfirmExit(ReturnDialogResult* chosen = nullptr);
    // Lets logout ask "ログアウト確認" and write the folder's copies back.
    void AttachTo(CLoginManager& login);

private:
    OpResult WriteBackAllInside(const QString& folder, bool fromCommand, bool quiet);
    OpResult EraseArea(const QString& folder, bool quiet);
    // A703 with the first of `copies` that a program still has (not shown when `quiet`); false when none has.
    bool RefuseErasingInUse(const QStringList& copies, bool quiet);
    CDecryptedFileModel::ContainerTest HasContainer() const;
    bool ReadOnly(const QString& folder) const;
    bool ShowNotice(int message, int checkLabel);
    OpResult Fail(int number, const QString& tail, Icon icon);
    void Refresh() const;

    CWorkingCopies& m_copies;
    CLoginManager& m_login;
    const FolderRegistry& m_registry;
    SettingsRecord& m_settings;
    FileSystem& m_files;
    Interaction& m_ui;
    MessageSource& m_messages;
};

} // namespace korimbo
