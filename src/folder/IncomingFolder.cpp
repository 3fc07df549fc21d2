#include "folder/IncomingFolder.h"

#include "util/DisplayText.h"
#include "util/ErrorText.h"
#include "util/FileNames.h"
#include "util/MessageNumbers.h"
#include "util/MessageText.h"
#include "util/PathIdentity.h"
#include "util/TreeWalk.h"

#include <QFileInfo>
#include <QHash>

#include <algorithm>
#include <cerrno>

namespace korimbo {

namespace {

using enum IntakeStep;

QString Quoted(const QString& name) {
    return QStringLiteral("「") + name + QStringLiteral("」");
}

// The folder an entry of a walk was found in, as the walk spelled it.
QString WalkParentOf(const QString& path) {
    return path.left(path.lastIndexOf(u'/'));
}

} // namespace

CIncomingFolder::CIncomingFolder(FileSystem& files, CNameFile& nameFile, Interaction& ui, MessageSource& messages,
                                 EncryptInPrompts& prompts)
    : m_files(files), m_nameFile(nameFile), m_ui(ui), m_messages(messages), m_prompts(prompts) {}

void CIncomingFolder::Begin() {
    m_overwriteAll = false;
    m_leftAsTheyAre.clear();
    m_unreadableFolders.clear();
}

int CIncomingFolder::Report(int number, const QString& tail, Icon icon) {
    return ReportMessage(m_ui, m_messages, number, tail, icon);
}

void CIncomingFolder::ReportLeftBehind() {
    if (!m_leftAsTheyAre.isEmpty())
        Report(msg::kLeftAsTheyAre, m_leftAsTheyAre.join(u'\n'), Icon::Warning);
    if (!m_unreadableFolders.isEmpty())
        Report(msg::kFoldersUnread, m_unreadableFolders.join(u'\n'), Icon::Warning);
}

IntakeStep CIncomingFolder::Take(const QString& source, const QString& destination, bool move,
                                 const QList<NameEntry>& entries, const Hooks& hooks) {
    m_hooks = hooks;
    const QString name = QFileInfo(source).fileName();
    const QString target = ChildPath(destination, name);
    // A folder dropped into itself or into a folder of its own would be walked while it grows, and one
    // whose old copy holds it (itself under another path, or a folder above it) would be deleted as its
    // own old copy. Both are judged on disk: the same folder has many paths through links and mounts.
    const ItemKind existing = KindOf(target);
    if (IsWithinResolved(destination, source) || (existing == ItemKind::Folder && IsWithinResolved(source, target))) {
        Report(msg::kCannotTakeIn, WithPath(QString(), source, PathSeparator::Line));
        return kStop;
    }
    for (const NameEntry& entry : entries) {
        const bool file = entry.kind == NameEntry::kContainer || entry.kind == NameEntry::kPlain;
        if (file && entry.displayName == name) {
            Report(msg::kFileNamedLikeFolder, Quoted(name));
            return kStop;
        }
    }
    if (existing != ItemKind::Missing) {
        if (!m_overwriteAll) {
            const OverwriteStep answer = StepForAnswer(m_prompts.AskFolderOverwrite(target, source), m_overwriteAll);
            if (answer != OverwriteStep::kReplace)
                return answer == OverwriteStep::kSkip ? kSkipped : kEnd;
        }
        if (existing == ItemKind::Folder)
            return ReplaceFolder(source, target, move);
        if (const IntakeStep step = ClearFolder(target); step != kNext)
            return step;
    }
    if (const IntakeStep made = MakeFolder(target); made != kNext)
        return made;
    if (const IntakeStep step = FillFolder(source, target); step != kNext)
        return step;
    return move ? RemoveSourceFolder(source) : kNext;
}

IntakeStep CIncomingFolder::MakeFolder(const QString& path) {
    if (const int rc = m_files.MakeFolder(path).error; rc != 0) {
        Report(msg::kFolderCreate, WithPath(ErrnoText(rc), path, PathSeparator::Line));
        return kStop;
    }
    return kNext;
}

// The new folder is filled beside the old one, which goes only once the new one is complete: a copy that
// stops or fails part-way leaves the old folder as it was. Nothing in the old folder may be in use, and
// none of its containers may be open in the decrypted workspace.
IntakeStep CIncomingFolder::ReplaceFolder(const QString& source, const QString& target, bool move) {
    if (const IntakeStep free = CheckFree(target); free != kNext)
        return free;
    QString unique;
    UniqueNameText(false, unique);
    // Beside it and shown: a run cut short by a crash leaves it where the user finds it.
    const QString fresh = target + QStringLiteral(".~") + unique;
    if (const IntakeStep made = MakeFolder(fresh); made != kNext)
        return made;
    if (const IntakeStep filled = FillFolder(source, fresh); filled != kNext) {
        // A move that took sources in already keeps their containers: they take the old folder's place.
        const bool holdsFiles =
            !FindBelow(fresh, [](const TreeEntry& e) { return e.kind != ItemKind::Folder; }).isEmpty();
        if (move && holdsFiles) {
            if (RemoveFolderTree(target) == kNext)
                static_cast<void>(m_files.Rename(fresh, target));
            return filled;
        }
        static_cast<void>(RemoveFolderTree(fresh));
        return filled;
    }
    if (const IntakeStep removed = RemoveFolderTree(target); removed != kNext)
        return removed;
    if (const int rc = m_files.Rename(fresh, target).error; rc != 0) {
        Report(msg::kFolderCreate, WithPath(ErrnoText(rc), fresh, PathSeparator::Line));
        return kStop;
    }
    return move ? RemoveSourceFolder(source) : kNext;
}

// A link in a folder's place is one item: the link goes, what it points to is never walked. Anything
// else that is not a folder stays, and the folder cannot be made.
IntakeStep CIncomingFolder::ClearFolder(const QString& target) {
    if (const int rc = KindOf(target) == ItemKind::Link ? m_files.Remove(target).error : ENOTDIR; rc != 0) {
        Report(msg::kFolderDelete, u'\n' + ErrnoText(rc) + QStringLiteral("\n\n") + target);
        return kStop;
    }
    return kNext;
}

IntakeStep CIncomingFolder::CheckFree(const QString& folder) {
    IntakeStep step = kNext;
    WalkTree(folder, [&](const TreeEntry& entry) {
        if (entry.kind == ItemKind::Folder)
            return Visit::Continue;
        int error = 0;
        if (entry.kind == ItemKind::File && !m_files.Open(entry.path, OpenMode::ReadWriteAlone, error) &&
            error == EBUSY) {
            Report(msg::kInUse, WithPath(QString(), entry.path, PathSeparator::Line));
            step = kStop;
        } else if (m_hooks.isOpenInWorkspace && m_hooks.isOpenInWorkspace(entry.path)) {
            Report(msg::kWorkingCopy, m_messages.MsgA(msg::kWorkingCopyTail) + entry.path);
            step = kStop;
        }
        return step == kNext ? Visit::Continue : Visit::Stop;
    });
    return step;
}

IntakeStep CIncomingFolder::RemoveFolderTree(const QString& folder) {
    if (const RemoveResult removed = RemoveTree(m_files, folder); !removed.Ok()) {
        Report(msg::kFolderDelete, u'\n' + ErrnoText(removed.error) + QStringLiteral("\n\n") + removed.path);
        return kStop;
    }
    return kNext;
}

// The content of a source folder into its new target: files become containers, subfolders are made and
// filled in turn. The target is new, so there is nothing to overwrite and no dialog.
IntakeStep CIncomingFolder::FillFolder(const QString& source, const QString& target) {
    if (m_nameFile.OwningRoot(target).isEmpty()) {
        Report(msg::kNoRootInFolder, WithPath(QString(), target, PathSeparator::Line));
        return kStop;
    }
    QHash<QString, QString> targets{{source, target}}; // source folder -> its new folder
    IntakeStep step = kNext;
    // By the bytes of the names: one that is not UTF-8 (from a Windows ZIP) is taken in like any other.
    const WalkResult walked = WalkTree(source, [&](const TreeEntry& entry) {
        m_ui.Pump();
        if (m_hooks.stopped()) {
            step = kEnd;
            return Visit::Stop;
        }
        const QString into = targets.value(WalkParentOf(entry.path));
        if (entry.kind == ItemKind::Folder) {
            // One that cannot be read is not made: it is named at the end.
            QStringList inside;
            if (!EntriesOf(entry.path, inside)) {
                m_unreadableFolders.append(entry.path);
                return Visit::Prune;
            }
            const QString sub = ChildPath(into, ShownName(QFileInfo(entry.path).fileName()));
            targets.insert(entry.path, sub);
            step = MakeFolder(sub);
        } else if (entry.kind == ItemKind::File) {
            step = m_hooks.takeFile(entry.path, into);
        } else {
            // A link, a pipe, a socket or a device is not opened: it stays where it is, and is named at the end.
            m_leftAsTheyAre.append(entry.path);
        }
        return step == kStop || step == kEnd ? Visit::Stop : Visit::Continue;
    });
    m_unreadableFolders.append(walked.unreadable);
    if (const IntakeStep settled = m_hooks.settle ? m_hooks.settle() : kNext; settled != kNext)
        return settled;
    return step == kStop || step == kEnd ? step : kNext;
}

IntakeStep CIncomingFolder::RemoveSourceFolder(const QString& source) {
    // Its files are gone by now; what is left are the folders, and whatever could not be taken in. A
    // folder holding what was left behind stays without a word more: that was named already.
    const auto holdsLeftItem = [this](const QString& folder) {
        const auto below = [&](const QString& left) { return IsWithinPath(left, folder); };
        return std::any_of(m_leftAsTheyAre.cbegin(), m_leftAsTheyAre.cend(), below) ||
               std::any_of(m_unreadableFolders.cbegin(), m_unreadableFolders.cend(), below);
    };
    const auto removeOne = [&](const QString& folder) {
        if (holdsLeftItem(folder) || m_files.RemoveFolder(folder).Ok())
            return true;
        Report(msg::kSourceFolderHead, folder + m_messages.MsgA(msg::kSourceFolderTail));
        return false;
    };
    bool removed = true;
    WalkTree(
        source,
        [&](const TreeEntry& entry) {
            if (entry.kind != ItemKind::Folder)
                return Visit::Continue;
            removed = removeOne(entry.path);
            return removed ? Visit::Continue : Visit::Stop;
        },
        WalkOrder::FoldersLast);
    return removed && removeOne(source) ? kNext : kStop;
}

} // namespace korimbo
