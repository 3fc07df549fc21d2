#include "folder/FolderOperations.h"

#include "state/WorkAreas.h"
#include "util/BusySection.h"
#include "util/DisplayText.h"
#include "util/ErrorText.h"
#include "util/FileNames.h"
#include "util/MessageNumbers.h"
#include "util/MessageText.h"
#include "util/OpenFiles.h"
#include "util/PathIdentity.h"

#include <QDateTime>
#include <QDir>
#include <QFileInfo>

#include <cerrno>
#include <functional>
#include <vector>

namespace korimbo {

namespace {

constexpr int kRenameTries = 10;
constexpr int kRenamePauseMs = 80;

QString Extension(const QString& name) {
    const int dot = int(name.lastIndexOf(u'.'));
    return dot > 0 ? name.mid(dot + 1) : QString();
}

} // namespace

CFolderOperations::CFolderOperations(const FolderServices& s, EncryptInPrompts& prompts, Trash* trash,
                                     CUndoHistory& history)
    : m_services(s), m_engine(s.engine), m_nameFile(s.nameFile), m_access(s.access), m_settings(s.settings),
      m_files(s.files), m_ui(s.ui), m_messages(s.messages), m_prompts(prompts), m_trash(trash), m_history(history),
      m_items(s) {}

CItemTransfer CFolderOperations::Transfer() {
    return CItemTransfer(m_services, m_items, m_prompts, m_trash, m_history, workRoot);
}

bool CFolderOperations::IsValidName(const QString& name) {
    static const QString kForbidden = QStringLiteral("*?\"|<>\\/:");
    for (const QChar c : name)
        if (kForbidden.contains(c))
            return false;
    return !name.isEmpty();
}

// ---- clipboard and paste ----

OpResult CFolderOperations::Take(InsideClipboard& clipboard, const QStringList& items, bool cut,
                                 const QString& shownFolder) {
    if (items.isEmpty())
        return OpResult::kFailed;
    if (cut && m_items.ReadOnlyFolder(shownFolder))
        return m_items.Fail(msg::kReadOnlyFolder, QString(), Icon::Warning);
    clipboard.items.clear();
    for (const QString& item : items)
        clipboard.items.append(CleanPath(item));
    clipboard.mode = cut ? InsideClipboard::kCut : InsideClipboard::kCopy;
    clipboard.sourceFolder = CleanPath(shownFolder);
    return OpResult::kDone;
}

OpResult CFolderOperations::Paste(InsideClipboard& clipboard, const QString& destination) {
    m_items.ClearChanged();
    const QString target = CleanPath(destination);
    if (m_items.ReadOnlyFolder(target))
        return m_items.Fail(msg::kReadOnlyFolder, QString(), Icon::Warning);
    if (clipboard.Count() == 0)
        return OpResult::kFailed;
    for (const QString& item : std::as_const(clipboard.items)) {
        if (!ItemExists(item))
            return m_items.Fail(msg::kItemGone, WithPath(QString(), item, PathSeparator::Paragraph), Icon::Warning);
    }
    const bool cut = clipboard.mode == InsideClipboard::kCut;
    for (const QString& item : std::as_const(clipboard.items)) {
        QString open;
        if (IsFolderItem(item) && m_items.HoldsOpenFile(item, &open))
            return m_items.Fail(msg::kPasteOpenBelow, WithPath(QString(), open, PathSeparator::Paragraph),
                                Icon::Warning);
        // A moved container would leave its working copy nowhere to be written back to.
        if (cut && !IsFolderItem(item) && m_items.IsOpen(item))
            return m_items.Fail(msg::kPasteOpen, m_items.ShownName(item), Icon::Warning);
    }
    const QStringList items = clipboard.items;
    const bool duplicate = !cut && SameResolved(target, clipboard.sourceFolder);
    // The places are checked before anything moves: a refused paste leaves the clipboard as it was.
    CItemTransfer transfer = Transfer();
    if (!duplicate) {
        for (const QString& item : items)
            if (transfer.RelationRefused(item, target, cut))
                return OpResult::kFailed;
    }
    const BusySection section(busy);
    const OpResult rc = duplicate ? transfer.Duplicate(items, target) : transfer.Run(items, target, cut);
    // The cut items are no longer where the clipboard says they are.
    if (cut)
        clipboard.Clear();
    return rc;
}

OpResult CFolderOperations::Drop(const QStringList& items, const QString& destination, bool move) {
    m_items.ClearChanged();
    const QString target = CleanPath(destination);
    if (m_items.ReadOnlyFolder(target))
        return m_items.Fail(msg::kReadOnlyFolder, QString(), Icon::Warning);
    if (items.isEmpty())
        return OpResult::kFailed;
    m_items.EntriesOf(target); // the destination's name file is brought up to date first
    for (const QString& raw : items) {
        const QString item = CleanPath(raw);
        if (!ItemExists(item))
            return m_items.Fail(msg::kItemGone, WithPath(QString(), item, PathSeparator::Paragraph), Icon::Warning);
        if (move && m_items.ReadOnlyFolder(item))
            return m_items.Fail(msg::kReadOnlyFolder, QString(), Icon::Warning);
        QString open;
        if (IsFolderItem(item) ? m_items.HoldsOpenFile(item, &open) || m_items.HoldsFileInUse(item, &open)
                               : m_items.IsOpen(item)) {
            return m_items.Fail(msg::kDragOpen,
                                WithPath(QString(), open.isEmpty() ? item : open, PathSeparator::Paragraph),
                                Icon::Warning);
        }
        if (!IsFolderItem(item)) {
            const QString name = m_items.Describe(item).name;
            for (const NameEntry& entry : m_items.EntriesOf(target)) {
                if (entry.kind == NameEntry::kContainer && entry.displayName == name &&
                    m_items.IsOpen(ChildPath(target, entry.diskName)))
                    return m_items.Fail(msg::kTargetOpen, name, Icon::Warning);
            }
        }
    }
    QStringList cleaned;
    for (const QString& item : items)
        cleaned.append(CleanPath(item));
    const BusySection section(busy);
    return Transfer().Run(cleaned, target, move);
}

// ---- rename ----

OpResult CFolderOperations::Rename(const QString& path, const QString& shown, const QString& typed, QString& newPath) {
    m_items.ClearChanged();
    if (typed == shown)
        return OpResult::kDeclined;
    if (!IsValidName(typed)) {
        m_items.Report(msg::kBadName, QString(), Icon::Warning);
        return OpResult::kFailed;
    }
    const BusySection section(busy);
    const OpResult rc = RenameItem(CleanPath(path), typed, true, true, newPath);
    m_items.RefreshChanged();
    return rc;
}

OpResult CFolderOperations::RenameItem(const QString& path, const QString& name, bool extensionRule, bool makeRecord,
                                       QString& newPath) {
    if (m_items.ReadOnlyFolder(path))
        return m_items.Fail(msg::kReadOnlyFolder, QString(), Icon::Warning);
    if (!ItemExists(path))
        return m_items.Fail(msg::kItemGone, WithPath(QString(), path, PathSeparator::Paragraph), Icon::Warning);
    QString unused;
    if (m_access.CheckAccess(path, 1, unused) != 0)
        return OpResult::kFailed;
    QString oldName = QFileInfo(path).fileName();
    QString newName = name;
    const OpResult rc = IsFolderItem(path) || !m_items.Describe(path).container
                            ? RenameFolder(path, newName, newPath)
                            : RenameContainer(path, newName, extensionRule, newPath, oldName);
    if (rc != OpResult::kDone)
        return rc;
    m_items.Changed(ParentOf(path));
    if (makeRecord && newPath != path) {
        // The older records follow the item to its new path (a container gets a new disk name).
        m_history.ReplacePath(path, newPath);
        const int slot = m_history.Start(UndoRecord::kRename);
        m_history.Add(slot, {newPath, newName, oldName, path});
        m_history.Commit(slot);
    }
    return OpResult::kDone;
}

OpResult CFolderOperations::RenameContainer(const QString& path, QString& name, bool extensionRule, QString& newPath,
                                            QString& oldName) {
    if (m_items.IsOpen(path))
        return m_items.Fail(msg::kRenameWhileOpen, QFileInfo(path).fileName(), Icon::Warning);
    const QString key = m_items.KeyOf(path);
    ContainerInfo info;
    if (const std::optional<ContainerCheck> check = m_engine.CheckContainer(path, info, key, false);
        !check || !check->Usable())
        return m_items.Fail(msg::kRenameNotVerified, WithPath(QString(), path, PathSeparator::Paragraph));
    oldName = info.name;
    // The list hides known extensions: a name typed without one keeps the old extension.
    const QString extension = Extension(oldName);
    if (extensionRule && m_settings.titleMode == 0 && !extension.isEmpty() &&
        !name.endsWith(u'.' + extension, Qt::CaseInsensitive))
        name += u'.' + extension;
    if (name == oldName) {
        newPath = path;
        return OpResult::kDone;
    }
    const QString directory = ParentOf(path);
    const QString disk = QFileInfo(path).fileName();
    for (const NameEntry& entry : m_items.EntriesOf(directory)) {
        if (entry.diskName != disk && entry.displayName.compare(name, Qt::CaseInsensitive) == 0)
            return m_items.Fail(msg::kRenameNameTaken, name, Icon::Warning);
    }
    QString fresh;
    if (m_engine.MakeContainerName(directory, fresh) != 0)
        return OpResult::kFailed;
    const QString target = ChildPath(directory, fresh);
    if (m_engine.RenameStoredName(path, target, name, key, true) != kOk)
        return OpResult::kFailed;
    static_cast<void>(m_files.SetReadOnly(target));
    ContainerInfo renamed;
    qint64 oldSize = 0;
    qint64 newSize = 0;
    static_cast<void>(m_files.Size(path, oldSize));
    static_cast<void>(m_files.Size(target, newSize));
    if (m_engine.ReadContainerInfo(target, renamed, key, false) != 0 ||
        newSize - oldSize != qint64(renamed.nameBlockLength) - qint64(info.nameBlockLength) ||
        renamed.plainSize != info.plainSize) {
        static_cast<void>(m_files.MakeWritable(target));
        static_cast<void>(m_files.Remove(target));
        return m_items.Fail(msg::kRenamedSizeWrong, name);
    }
    static_cast<void>(m_files.MakeWritable(path));
    if (const int rc = m_files.Remove(path).error; rc != 0) {
        // Two containers of one item are none renamed: the new one goes, the old one stays.
        static_cast<void>(m_files.SetReadOnly(path));
        static_cast<void>(m_files.MakeWritable(target));
        static_cast<void>(m_files.Remove(target));
        return m_items.FailError(msg::kRenameOldLeft, rc, path);
    }
    newPath = target;
    return OpResult::kDone;
}

OpResult CFolderOperations::RenameFolder(const QString& path, const QString& name, QString& newPath) {
    QString open;
    if (IsFolderItem(path) && m_items.HoldsOpenFile(path, &open))
        return m_items.Fail(msg::kRenameOpenBelow, WithPath(QString(), open, PathSeparator::Paragraph), Icon::Warning);
    const QString target = ChildPath(ParentOf(path), name);
    // On a folder that folds case, "a.txt" to "A.txt" finds the item itself at the target.
    const bool caseOnly = target != path && HeldUnderOtherName(target) == path;
    if (ItemExists(target) && !caseOnly)
        return m_items.Fail(msg::kFolderExists, u'\'' + name + u'\'', Icon::Warning);
    // Some file systems refuse a rename onto the item's own other-case name (fusefat's EPERM for a folder):
    // through a free name beside it, every one gives the new name.
    const int rc = caseOnly ? RenameThroughFreeName(path, target) : RenameWithRetries(path, target);
    if (rc != 0)
        return m_items.Fail(msg::kFolderRename, u'\n' + ErrnoText(rc));
    newPath = target;
    return OpResult::kDone;
}

int CFolderOperations::RenameWithRetries(const QString& from, const QString& to) {
    int rc = 0;
    for (int attempt = 0; attempt < kRenameTries; ++attempt) {
        rc = m_files.Rename(from, to).error;
        if (rc == 0)
            break;
        m_ui.Sleep(kRenamePauseMs);
    }
    return rc;
}

int CFolderOperations::RenameThroughFreeName(const QString& from, const QString& to) {
    QString between;
    for (int n = 0; between.isEmpty() || ItemExists(between); ++n)
        between = ChildPath(ParentOf(from), QStringLiteral(".korimbo-renaming-%1").arg(n));
    if (const int rc = RenameWithRetries(from, between); rc != 0)
        return rc;
    const int rc = RenameWithRetries(between, to);
    if (rc != 0)
        static_cast<void>(m_files.Rename(between, from)); // the item keeps its old name rather than none
    return rc;
}

// ---- delete ----

OpResult CFolderOperations::Delete(const QStringList& paths, bool permanent) {
    m_items.ClearChanged();
    if (paths.isEmpty())
        return OpResult::kFailed;
    QStringList items;
    for (const QString& path : paths)
        items.append(CleanPath(path));
    if (m_items.ReadOnlyFolder(items.first()))
        return m_items.Fail(msg::kReadOnlyFolder, QString(), Icon::Warning);
    for (const QString& item : items) {
        QString unused;
        if (m_access.CheckAccess(item, 1, unused) != 0)
            return OpResult::kFailed;
    }
    const QString question =
        items.size() == 1
            ? m_messages.MsgA(permanent ? msg::kPermanentOne : msg::kTrashOne) + m_items.ShownName(items.first())
            : m_messages.MsgA(permanent ? msg::kPermanentMany : msg::kTrashMany) + QString::number(items.size());
    const int number = items.size() == 1 ? (permanent ? msg::kPermanentOne : msg::kTrashOne)
                                         : (permanent ? msg::kPermanentMany : msg::kTrashMany);
    if (m_ui.Message(question, Icon::Question, Buttons::YesNo, kAnswerNo, number) != kAnswerYes)
        return OpResult::kDeclined;
    for (const QString& item : items) {
        QString open;
        if (IsFolderItem(item) && m_items.HoldsOpenFile(item, &open))
            return m_items.Fail(msg::kDeleteOpenBelow, WithPath(QString(), open, PathSeparator::Paragraph),
                                Icon::Warning);
        if (!IsFolderItem(item) && m_items.IsOpen(item))
            return m_items.Fail(msg::kDeleteOpen, m_items.ShownName(item), Icon::Warning);
    }
    if (!permanent && !m_trash)
        return m_items.Fail(msg::kToTrash, QString());

    const BusySection section(busy);
    int slot = -1;
    QList<QStringList> recorded;
    if (!permanent) {
        slot = m_history.Start(UndoRecord::kDelete);
        // What finds an item in the trash again is taken before it goes.
        for (const QString& item : items)
            recorded.append(
                {item, m_items.ShownName(item), CFolderItems::ModifiedText(item), QFileInfo(item).fileName()});
    }
    OpResult rc = OpResult::kDone;
    for (qsizetype i = 0; i < items.size(); ++i) {
        m_ui.Pump();
        const QString& item = items.at(i);
        m_items.Changed(ParentOf(item));
        if (permanent) {
            if (const int error = RemoveTree(m_files, item).error; error != 0) {
                rc = m_items.FailError(msg::kNotDeleted, error, item);
                break;
            }
            continue;
        }
        if (const int error = m_trash->MoveToTrash(item); error != 0) {
            rc = m_items.FailError(msg::kToTrash, error, item);
            break;
        }
        m_history.Add(slot, recorded.at(i));
    }
    if (slot >= 0)
        m_history.Commit(slot);
    m_items.RefreshChanged();
    return rc;
}

// ---- undo ----

bool CFolderOperations::CanUndo(bool report) {
    if (m_history.Count() == 0)
        return false;
    const UndoRecord& record = m_history.Newest();
    QStringList paths;
    switch (record.kind) {
    case UndoRecord::kDelete:
    case UndoRecord::kCopy:
        paths = record.lists[0];
        break;
    case UndoRecord::kMove:
        paths = record.lists[0] + record.lists[1];
        break;
    case UndoRecord::kRename:
        paths = record.lists[0] + record.lists[3];
        break;
    default:
        return false;
    }
    for (const QString& path : paths) {
        const QString root = m_nameFile.OwningRoot(path);
        if (root.isEmpty()) {
            if (report)
                m_items.Report(msg::kNotRegistered, path, Icon::Warning);
            return false;
        }
        if (!m_engine.HasKey(root))
            return false;
    }
    return true;
}

OpResult CFolderOperations::Undo() {
    m_items.ClearChanged();
    if (!CanUndo(true))
        return OpResult::kFailed;
    const UndoRecord record = m_history.Newest();
    const BusySection section(busy);
    OpResult rc = OpResult::kFailed;
    switch (record.kind) {
    case UndoRecord::kDelete:
        rc = UndoDelete(record);
        break;
    case UndoRecord::kCopy:
        rc = UndoCopy(record);
        break;
    case UndoRecord::kMove:
        rc = UndoMove(record);
        break;
    case UndoRecord::kRename:
        rc = UndoRename(record);
        break;
    default:
        break;
    }
    if (rc == OpResult::kDone)
        m_history.DropNewest();
    m_items.RefreshChanged();
    return rc;
}

// What stands where an item is to come back, and its question: a folder, a container, a plain file, a link
// (removed itself, never what it points to) or a special file such as a named pipe.
CFolderOperations::Obstacle CFolderOperations::ObstacleAt(const QString& path) {
    switch (KindOf(path)) {
    case ItemKind::Missing:
        return {};
    case ItemKind::Folder:
        return {true, msg::kFolderInWay, m_items.HoldsOpenFile(path) ? msg::kOpenFolderInWay : 0};
    case ItemKind::Link:
        return {true, msg::kLinkInWay, 0};
    case ItemKind::Special:
        return {true, msg::kSpecialFileInWay, 0};
    case ItemKind::File:
        break;
    }
    if (m_items.Describe(path).container)
        return {true, msg::kContainerInWay, m_items.IsOpen(path) ? msg::kOpenContainerInWay : 0};
    return {true, msg::kPlainFileInWay, IsFileOpenElsewhere(path) ? msg::kOpenPlainFileInWay : 0};
}

CFolderOperations::Way CFolderOperations::ClearWay(const QString& existing) {
    const Obstacle obstacle = ObstacleAt(existing);
    if (!obstacle.present)
        return Way::kFree;
    if (obstacle.openMessage != 0) {
        m_items.Report(obstacle.openMessage, WithPath(QString(), existing, PathSeparator::Paragraph), Icon::Warning);
        return Way::kSkip;
    }
    if (m_ui.Message(WithPath(m_messages.MsgA(obstacle.question), existing, PathSeparator::Paragraph),
                     Icon::Question, Buttons::YesNo, kAnswerNo, obstacle.question) != kAnswerYes)
        return Way::kSkip;
    if (const int rc = RemoveTree(m_files, existing).error; rc != 0) {
        m_items.ReportError(msg::kNotDeleted, rc, existing);
        return Way::kStop;
    }
    return Way::kFree;
}

OpResult CFolderOperations::PrepareParent(const QString& path) {
    const QString parent = ParentOf(path);
    if (m_files.MakeFolderPath(parent).Ok())
        return OpResult::kDone;
    return m_items.Fail(msg::kParentFolder, WithPath(QString(), parent, PathSeparator::Paragraph));
}

OpResult CFolderOperations::UndoDelete(const UndoRecord& record) {
    QList<TrashEntry> entries;
    if (!m_trash)
        return m_items.Fail(msg::kTrashUnreadable, QString());
    if (const int error = m_trash->Entries(record.lists[0].value(0), entries); error != 0)
        return m_items.Fail(msg::kTrashUnreadable, u'\n' + ErrnoText(error));
    for (int i = record.Items() - 1; i >= 0; --i) {
        m_ui.Pump();
        const QString path = record.lists[0].at(i);
        const QString name = record.lists[1].at(i);
        const QString time = record.lists[2].at(i);
        const QString disk = record.lists[3].at(i);
        // The item's own path first, then its name alone (the trash may have been moved with its volume).
        const TrashEntry* found = nullptr;
        for (int pass = 0; pass < 2 && !found; ++pass) {
            for (const TrashEntry& entry : std::as_const(entries)) {
                const bool placeMatches = pass == 0 ? entry.originalPath == path || entry.rawPath == path
                                                    : QFileInfo(entry.originalPath).fileName() == disk ||
                                                          QFileInfo(entry.rawPath).fileName() == disk;
                if (placeMatches && CFolderItems::ModifiedText(entry.trashedPath) == time) {
                    found = &entry;
                    break;
                }
            }
        }
        if (!found) {
            m_items.Report(msg::kNotInTrash, name, Icon::Warning);
            continue;
        }
        const Way way = ClearWay(path);
        if (way == Way::kStop)
            return OpResult::kFailed;
        if (way == Way::kSkip)
            continue;
        if (PrepareParent(path) != OpResult::kDone)
            return OpResult::kFailed;
        if (const int error = m_trash->Restore(*found, path); error != 0)
            return m_items.FailError(msg::kNotRestored, error, path);
        m_items.Changed(ParentOf(path));
        entries.removeIf([&](const TrashEntry& e) { return e.infoPath == found->infoPath; });
    }
    return OpResult::kDone;
}

OpResult CFolderOperations::UndoCopy(const UndoRecord& record) {
    for (const QString& copy : record.lists[0]) {
        if (!ItemExists(copy))
            return m_items.Fail(msg::kUndoItemGone, WithPath(QString(), copy, PathSeparator::Paragraph), Icon::Warning);
    }
    const int n = record.Items();
    const QString head = n == 1 ? u'\'' + record.lists[1].value(0) + QStringLiteral("' を")
                                : u'\'' + record.lists[1].value(0) + QStringLiteral("' を含む%1個の項目を").arg(n);
    if (m_ui.Message(head + m_messages.MsgA(msg::kUndoCopyQuestion), Icon::Question, Buttons::YesNo, kAnswerNo,
                     msg::kUndoCopyQuestion) != kAnswerYes)
        return OpResult::kFailed;
    for (const QString& copy : record.lists[0]) {
        m_ui.Pump();
        m_items.Changed(ParentOf(copy));
        if (const int rc = RemoveTree(m_files, copy).error; rc != 0)
            return m_items.FailError(msg::kNotDeleted, rc, copy);
    }
    // What the copies replaced comes back.
    for (int i = 0; i < n; ++i)
        if (Transfer().BringBack(record.lists[3].value(i), record.lists[4].value(i), record.lists[0].at(i),
                                 record.lists[1].value(i)) != OpResult::kDone)
            return OpResult::kFailed;
    return OpResult::kDone;
}

OpResult CFolderOperations::UndoMove(const UndoRecord& record) {
    for (int i = record.Items() - 1; i >= 0; --i) {
        m_ui.Pump();
        const QString source = record.lists[0].at(i);
        const QString target = record.lists[1].at(i);
        if (!ItemExists(target)) {
            m_items.Report(msg::kNotInTrash, record.lists[2].at(i), Icon::Warning);
            continue;
        }
        const Way way = ClearWay(source);
        if (way == Way::kStop)
            return OpResult::kFailed;
        if (way == Way::kSkip)
            continue;
        if (PrepareParent(source) != OpResult::kDone || Transfer().MoveBack(target, source) != OpResult::kDone)
            return OpResult::kFailed;
        if (m_items.Describe(source).container)
            static_cast<void>(m_files.SetReadOnly(source));
        m_items.Changed(ParentOf(source));
        m_items.Changed(ParentOf(target));
        if (Transfer().BringBack(record.lists[3].value(i), record.lists[4].value(i), target, record.lists[2].at(i)) !=
            OpResult::kDone)
            return OpResult::kFailed;
    }
    return OpResult::kDone;
}

OpResult CFolderOperations::UndoRename(const UndoRecord& record) {
    const QString path = record.lists[0].value(0);
    const QString oldName = record.lists[2].value(0);
    QString restored;
    if (RenameItem(path, oldName, false, false, restored) != OpResult::kDone)
        return OpResult::kFailed;
    // The older records follow the item back to its old name and its new disk name.
    m_history.ReplacePath(path, restored);
    return OpResult::kDone;
}

} // namespace korimbo
