#include "workspace/WorkspaceCommands.h"

#include "state/WorkAreas.h"
#include "util/BusySection.h"
#include "util/MessageNumbers.h"
#include "util/MessageText.h"
#include "util/TreeWalk.h"
#include "workspace/DecryptedFileModel.h"

#include <QFileInfo>

namespace korimbo {

CWorkspaceCommands::CWorkspaceCommands(CWorkingCopies& copies, CLoginManager& login,
                                       const FolderRegistry& registry, SettingsRecord& settings, FileSystem& files,
                                       Interaction& ui, MessageSource& messages)
    : m_copies(copies), m_login(login), m_registry(registry), m_settings(settings),
      m_files(files), m_ui(ui), m_messages(messages) {}

OpResult CWorkspaceCommands::Fail(int number, const QString& tail, Icon icon) {
    ReportMessage(m_ui, m_messages, number, tail, icon);
    return OpResult::kFailed;
}

void CWorkspaceCommands::Refresh() const {
    if (refreshContents)
        refreshContents();
    if (refreshDecryptedList)
        refreshDecryptedList();
}

// A file named like an editor's leftover is still a copy when its folder has a container of that name.
CDecryptedFileModel::ContainerTest CWorkspaceCommands::HasContainer() const {
    return [this](const QString& file) {
        QString proposed;
        return !m_copies.ContainerOf(file, proposed, true).isEmpty();
    };
}

bool CWorkspaceCommands::RefuseErasingInUse(const QStringList& copies, bool quiet) {
    for (const QString& copy : copies) {
        if (!m_copies.IsInUse(copy))
            continue;
        if (!quiet)
            ReportMessage(m_ui, m_messages, msg::kEraseInUse, WithPath(QString(), copy, PathSeparator::Paragraph),
                          Icon::Warning);
        return true;
    }
    return false;
}

bool CWorkspaceCommands::ReadOnly(const QString& folder) const {
    const int slot = m_registry.SlotOf(folder);
    return slot >= 0 && m_registry.ReadOnlyText(slot) == QStringLiteral("1");
}

bool CWorkspaceCommands::ShowNotice(int message, int checkLabel) {
    if (m_settings.returnAngoMsgFlg != 1 || !notice)
        return true;
    bool stopShowing = true;
    if (!notice(message, checkLabel, stopShowing))
        return false;
    if (stopShowing)
        m_settings.returnAngoMsgFlg = 0;
    return true;
}

OpResult CWorkspaceCommands::WriteBackSelected(const QString& folder, const QStringList& copies) {
    if (ReadOnly(folder))
        return Fail(msg::kReadOnlyFolder, QString(), Icon::Warning);
    if (!ShowNotice(msg::kWriteBackSelectedNotice, msg::kWriteBackSelectedNoticeCheck))
        return OpResult::kDeclined;

    const BusySection section(busy);
    OpResult result = OpResult::kDone;
    // Nothing is written while any of them is still open: a half-done selection is harder to follow.
    for (const QString& copy : copies) {
        if (m_copies.IsInUse(copy)) {
            result = OpResult::kFailed;
            m_ui.Message(QFileInfo(copy).fileName() + m_messages.MsgA(msg::kCopyOpenElsewhere), Icon::Warning,
                         Buttons::Ok, 0, msg::kCopyOpenElsewhere);
            break;
        }
    }
    for (qsizetype i = 0; result == OpResult::kDone && i < copies.size(); ++i) {
        if (!QFileInfo::exists(copies.at(i)))
            continue;
        if (m_copies.WriteBackOne(copies.at(i)) != OpResult::kDone)
            result = OpResult::kFailed;
    }
    Refresh();
    return result;
}

OpResult CWorkspaceCommands::WriteBackAll(const QString& folder, bool fromCommand) {
    const BusySection section(busy);
    return WriteBackAllInside(folder, fromCommand, false);
}

OpResult CWorkspaceCommands::WriteBackAllInside(const QString& folder, bool fromCommand, bool quiet) {
    if (ReadOnly(folder)) {
        const OpResult result = EraseArea(folder, quiet);
        Refresh();
        return result;
    }
    const QString area = m_login.WorkAreaOf(folder, WorkAreas::kEditing);
    if (area.isEmpty() || !QFileInfo(area).isDir())
        return OpResult::kDone;
    if (fromCommand && !ShowNotice(msg::kWriteBackAllNotice, msg::kWriteBackAllNoticeCheck))
        return OpResult::kDeclined;

    QStringList copies;
    CDecryptedFileModel::CollectCopies(area, copies, HasContainer());
    // A copy still shown by its program stays: written back and wiped now, the program's next save would
    // bring the plaintext back with nothing to watch it.
    for (const QString& copy : copies) {
        if (m_copies.IsInUse(copy)) {
            return Fail(msg::kWriteBackAllOpenElsewhere, WithPath(QString(), copy, PathSeparator::Paragraph),
                        Icon::Warning);
        }
    }
    OpResult result = OpResult::kDone;
    for (const QString& copy : copies) {
        if (QFileInfo::exists(copy) && m_copies.WriteBackOne(copy) != OpResult::kDone) {
            result = OpResult::kFailed;
            break;
        }
    }
    if (result == OpResult::kDone) {
        QStringList remaining;
        CDecryptedFileModel::CollectCopies(area, remaining, HasContainer());
        if (!remaining.isEmpty()) {
            result = Fail(msg::kFilesRemain, QString(), Icon::Warning);
        } else {
            // Deepest first; one that still holds something (an editor's lock file) simply stays.
            WalkTree(
                area,
                [this](const TreeEntry& entry) {
                    if (entry.kind == ItemKind::Folder)
                        static_cast<void>(m_files.RemoveFolder(entry.path));
                    return Visit::Continue;
                },
                WalkOrder::FoldersLast);
        }
    }
    Refresh();
    return result;
}

OpResult CWorkspaceCommands::EraseArea(const QString& folder, bool quiet) {
    const QString area = m_login.WorkAreaOf(folder, WorkAreas::kEditing);
    if (area.isEmpty() || !QFileInfo(area).isDir())
        return OpResult::kDone;
    // A copy a program still shows is not wiped under it.
    QStringList copies;
    CDecryptedFileModel::CollectCopies(area, copies, HasContainer());
    if (RefuseErasingInUse(copies, quiet))
        return OpResult::kFailed;
    // The area itself stays: the folder's work areas are made once, at login.
    QStringList entries;
    static_cast<void>(EntriesOf(area, entries));
    for (const QString& entry : entries) {
        QString error;
        if (m_copies.EraseCopy(entry, error) != 0) {
            if (!quiet) {
                m_ui.Message(WithPath(m_messages.MsgA(msg::kAreaNotErased) + error, area, PathSeparator::Paragraph),
                             Icon::Error, Buttons::Ok, 0, msg::kAreaNotErased);
            }
            return OpResult::kFailed;
        }
    }
    return OpResult::kDone;
}

OpResult CWorkspaceCommands::EraseSelected(const QStringList& copies, const QStringList& containers) {
    if (m_ui.Message(m_messages.MsgA(msg::kEraseCopiesQuestion), Icon::Question, Buttons::YesNo, 0,
                     msg::kEraseCopiesQuestion) != kAnswerYes)
        return OpResult::kDeclined;
    const BusySection section(busy);
    if (RefuseErasingInUse(copies, false))
        return OpResult::kFailed;
    // Each container goes back to the read-only state it has whenever no copy of it is being edited.
    for (const QString& container : containers) {
        if (!container.isEmpty() && m_files.Exists(container))
            static_cast<void>(m_files.SetReadOnly(container));
    }
    OpResult result = OpResult::kDone;
    for (const QString& copy : copies) {
        QString error;
        if (m_copies.EraseCopy(copy, error) != 0) {
            m_ui.Message(m_messages.MsgA(msg::kEraseCopyFailed) + error + QStringLiteral("\n\n") + copy, Icon::Error,
                         Buttons::Ok, 0, msg::kEraseCopyFailed);
            result = OpResult::kFailed;
            break;
        }
    }
    Refresh();
    return result;
}

QStringList CWorkspaceCommands::FoldersWithCopies() const {
    QStringList folders;
    for (const auto& [slot, folder] : m_registry.RegisteredFolders()) {
        const QString area = m_login.WorkAreaOf(folder, WorkAreas::kEditing);
        QStringList copies;
        if (!area.isEmpty() && QFileInfo(area).isDir() && CDecryptedFileModel::CollectCopies(area, copies, HasContainer()) &&
            !copies.isEmpty())
            folders.append(folder);
    }
    return folders;
}

OpResult CWorkspaceCommands::ConfirmExit(ReturnDialogResult* chosen) {
    if (isBusy && isBusy())
        return Fail(msg::kExitWhileBusy, QString(), Icon::Information);
    const QStringList folders = FoldersWithCopies();
    if (folders.isEmpty())
        return OpResult::kDone;
    ReturnDialogRequest request;
    request.caption = QStringLiteral("終了確認");
    request.text = m_messages.MsgA(msg::kExitText);
    request.folders = folders;
    request.checkLabel = m_messages.MsgA(msg::kExitCheck);
    const ReturnDialogResult answer = returnDialog ? returnDialog(request) : ReturnDialogResult{};
    if (chosen)
        *chosen = answer;
    if (!answer.accepted)
        return OpResult::kDeclined;

    bool failed = false;
    {
        const BusySection section(busy);
        // A folder that is not logged in has no key to write with: its copies wait for the next run.
        for (const QString& folder : folders) {
            if (!m_login.IsLoggedIn(folder))
                continue;
            const OpResult rc = ReadOnly(folder) ? EraseArea(folder, true) : WriteBackAllInside(folder, false, true);
            if (rc != OpResult::kDone)
                failed = true;
        }
    }
    if (failed && m_ui.Message(m_messages.MsgA(msg::kExitAnyway), Icon::Question, Buttons::YesNo, kAnswerNo,
                               msg::kExitAnyway) != kAnswerYes)
        return OpResult::kDeclined;
    return OpResult::kDone;
}

void CWorkspaceCommands::AttachTo(CLoginManager& login) {
    login.confirmLogout = [this](const QString& folder) {
        ReturnDialogRequest request;
        request.caption = QStringLiteral("ログアウト確認");
        request.text = m_messages.MsgA(msg::kLogoutText);
        request.folders = QStringList{folder};
        request.checkLabel = m_messages.MsgA(msg::kLogoutCheck);
        const ReturnDialogResult answer = returnDialog ? returnDialog(request) : ReturnDialogResult{};
        return answer.accepted;
    };
    // Logout runs this inside its own busy section.
    login.writeBackAll = [this](const QString& folder) { return WriteBackAllInside(folder, false, false); };
    login.eraseInUse = [this](const QStringList& copies) { return RefuseErasingInUse(copies, false); };
}

} // namespace korimbo
