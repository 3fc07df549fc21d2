#include "folder/ItemTransfer.h"

#include "util/MessageNumbers.h"
#include "state/WorkAreas.h"
#include "util/DisplayText.h"
#include "util/ErrorText.h"
#include "util/FileCopy.h"
#include "util/FileNames.h"
#include "util/MessageText.h"
#include "util/PathIdentity.h"

#include <QFileInfo>

#include <cerrno>

namespace korimbo {

namespace {

constexpr int kMaxCopyNumber = 999999999;

} // namespace

CItemTransfer::CItemTransfer(const FolderServices& s, CFolderItems& items, EncryptInPrompts& prompts, Trash* trash,
                             CUndoHistory& history, const QString& workRoot)
    : m_engine(s.engine), m_access(s.access), m_files(s.files), m_ui(s.ui), m_items(items), m_prompts(prompts),
      m_trash(trash), m_history(history), m_keys(s, items, workRoot) {}

// A pipe, socket or device below a folder that is to be moved by copying: a copy cannot take it along and
// deleting the source would lose it, so the move is refused (A722).
bool CItemTransfer::SpecialFileRefused(const QString& folder) {
    const QString special = FindBelow(folder, [](const TreeEntry& entry) { return entry.kind == ItemKind::Special; });
    if (special.isEmpty())
        return false;
    m_items.Report(msg::kSpecialNotMoved, special, Icon::Warning);
    return true;
}

// A link made beside its target and renamed into place, so that it can replace an item. 0, or an errno.
int CItemTransfer::CopyLinkTo(const QString& from, const QString& to) {
    const QString temp = TempPathBeside(to, TempKind::Sealed);
    if (const int rc = CopyLink(from, temp); rc != 0)
        return rc;
    const int rc = m_files.Rename(temp, to).error;
    if (rc != 0)
        static_cast<void>(m_files.Remove(temp));
    return rc;
}

int CItemTransfer::SetAside(const QString& target, QString& aside) {
    QString disk;
    if (m_engine.MakeContainerName(ParentOf(target), disk) != 0)
        return -1;
    // Hidden, it is no second entry of its name while the new one is written.
    aside = ChildPath(ParentOf(target), u'.' + disk);
    if (const int rc = m_files.Rename(target, aside).error; rc != 0) {
        aside.clear();
        return m_items.ReportError(msg::kDestinationWrite, rc, target);
    }
    return 0;
}

// The replaced container goes to the trash under a container's name; where no trash takes it, it stays
// hidden beside.
void CItemTransfer::PutAway(const QString& aside, QStringList& texts) {
    QString kept = aside;
    const QString time = aside.isEmpty() ? QString() : CFolderItems::ModifiedText(aside);
    QString disk;
    if (!aside.isEmpty() && m_trash && m_engine.MakeContainerName(ParentOf(aside), disk) == 0) {
        const QString shown = ChildPath(ParentOf(aside), disk);
        if (m_files.Rename(aside, shown).Ok()) {
            kept = shown;
            if (m_trash->MoveToTrash(shown) != 0 && m_files.Rename(shown, aside).Ok())
                kept = aside;
        }
    }
    texts.append(kept);
    texts.append(time);
}

OpResult CItemTransfer::BringBack(const QString& aside, const QString& time, const QString& place,
                                  const QString& name) {
    if (aside.isEmpty())
        return OpResult::kDone;
    m_items.Changed(ParentOf(place));
    if (ItemExists(aside)) {
        if (const int rc = m_files.Rename(aside, place).error; rc != 0)
            return m_items.FailError(msg::kNotRestored, rc, place);
        return OpResult::kDone;
    }
    QList<TrashEntry> entries;
    if (m_trash)
        m_trash->Entries(aside, entries);
    for (const TrashEntry& entry : std::as_const(entries)) {
        if ((entry.originalPath == aside || entry.rawPath == aside) &&
            CFolderItems::ModifiedText(entry.trashedPath) == time) {
            if (const int rc = m_trash->Restore(entry, place); rc != 0)
                return m_items.FailError(msg::kNotRestored, rc, place);
            static_cast<void>(m_files.SetReadOnly(place));
            return OpResult::kDone;
        }
    }
    m_items.Report(msg::kNotInTrash, name, Icon::Warning);
    return OpResult::kDone;
}

QString CItemTransfer::CopyName(const QString& name, bool folder, int n) {
    QString stem = name;
    QString extension;
    if (!folder) {
        const int dot = int(name.lastIndexOf(u'.'));
        if (dot > 0) {
            stem = name.left(dot);
            extension = name.mid(dot);
        }
    }
    if (n < 2)
        return stem + QStringLiteral(" - コピー") + extension;
    return stem + QStringLiteral(" - コピー (") + QString::number(n) + u')' + extension;
}

// Copies of the items in their own folder, under the first free copy name.
OpResult CItemTransfer::Duplicate(const QStringList& items, const QString& destination) {
    m_leftAsTheyAre.clear();
    const int slot = m_history.Start(UndoRecord::kCopy);
    const QString key = m_items.KeyOf(destination);
    OpResult rc = OpResult::kDone;
    for (const QString& item : items) {
        m_ui.Pump();
        QString unused;
        if (m_access.CheckAccess(item, 1, unused) != 0) {
            rc = OpResult::kFailed;
            break;
        }
        const bool folder = IsFolderItem(item);
        const CFolderItems::Source source =
            folder ? CFolderItems::Source{false, QFileInfo(item).fileName(), 0} : m_items.Describe(item);
        QString name;
        for (int n = 1; n <= kMaxCopyNumber; ++n) {
            name = CopyName(source.name, folder, n);
            if (!m_items.NameTaken(destination, name))
                break;
        }
        m_ui.SetStatusText(name);
        QString copy;
        if (folder) {
            copy = ChildPath(destination, name);
            if (CopyFolderAsNew(item, copy) != kNext) {
                rc = OpResult::kFailed;
                break;
            }
        } else if (source.container) {
            QString disk;
            if (m_engine.MakeContainerName(destination, disk) != 0) {
                rc = OpResult::kFailed;
                break;
            }
            copy = ChildPath(destination, disk);
            if (m_engine.RenameStoredName(item, copy, name, key, true) != kOk) {
                rc = OpResult::kFailed;
                break;
            }
            static_cast<void>(m_files.SetReadOnly(copy));
        } else {
            copy = ChildPath(destination, name);
            if (CopyPlain(item, copy) != 0) {
                rc = OpResult::kFailed;
                break;
            }
        }
        m_history.Add(slot, {copy, name});
        NameEntry added;
        added.diskName = QFileInfo(copy).fileName();
        added.displayName = name;
        m_items.EntriesOf(destination).append(added);
        m_items.Changed(destination);
        if (m_items.Stopped()) {
            rc = OpResult::kFailed;
            break;
        }
    }
    m_history.Commit(slot);
    m_ui.SetStatusText(QString());
    m_items.RefreshChanged();
    ReportLeftAsTheyAre();
    return rc;
}

void CItemTransfer::ReportLeftAsTheyAre() {
    if (!m_leftAsTheyAre.isEmpty())
        m_items.Report(msg::kLeftAsTheyAre, m_leftAsTheyAre.join(u'\n'), Icon::Information);
    m_leftAsTheyAre.clear();
}

// A folder copied to a new place: every container under a new disk name with its stored name kept.
CItemTransfer::Step CItemTransfer::CopyFolderAsNew(const QString& item, const QString& target) {
    if (IsWithinResolved(target, item))
        return m_items.Report(msg::kIntoOwnSubfolder, QFileInfo(item).fileName() + QStringLiteral("' を") + m_verb),
               kStop;
    if (const int rc = m_files.MakeFolder(target).error; rc != 0) {
        m_items.ReportError(msg::kDestinationOpen, rc, target);
        return kStop;
    }
    Step step = kNext;
    const WalkResult walk = WalkTree(item, [&](const TreeEntry& entry) {
        m_ui.Pump();
        step = m_items.Stopped() ? kEnd : CopyEntry(entry, target + entry.path.mid(item.size()));
        return step == kNext ? Visit::Continue : Visit::Stop;
    });
    // What could not be read stays where it is, as a pipe does.
    m_leftAsTheyAre += walk.unreadable;
    return step;
}

// One entry of a folder being copied, to its place below the copy.
CItemTransfer::Step CItemTransfer::CopyEntry(const TreeEntry& entry, const QString& target) {
    switch (entry.kind) {
    case ItemKind::Folder:
        if (const int rc = m_files.MakeFolder(target).error; rc != 0)
            return m_items.ReportError(msg::kDestinationOpen, rc, target), kStop;
        return kNext;
    case ItemKind::Link: // a link goes along as a link
        if (const int rc = CopyLinkTo(entry.path, target); rc != 0)
            return m_items.ReportError(msg::kDestinationWrite, rc, target), kStop;
        return kNext;
    case ItemKind::File:
        break;
    default: // a pipe or a device is not opened, it stays where it is
        m_leftAsTheyAre.append(entry.path);
        return kNext;
    }
    const CFolderItems::Source source = m_items.Describe(entry.path);
    if (!source.container)
        return CopyPlain(entry.path, target) == 0 ? kNext : kStop;
    const QString folder = ParentOf(target);
    QString disk;
    if (m_engine.MakeContainerName(folder, disk) != 0)
        return kStop;
    // A name block is enciphered with the key of the body: another password means a new container.
    const QString copy = ChildPath(folder, disk);
    if (m_keys.SameKey(entry.path, folder)
            ? m_engine.RenameStoredName(entry.path, copy, source.name, m_items.KeyOf(folder), true) != kOk
            : m_keys.Recrypt(entry.path, source.name, copy) != 0)
        return kStop;
    static_cast<void>(m_files.SetReadOnly(copy));
    return kNext;
}

// The bytes of a plain file beside its target, renamed into place when complete.
int CItemTransfer::CopyPlain(const QString& from, const QString& to) {
    CopyOptions options;
    options.progress = [this](qint64) {
        m_ui.Pump();
        return true;
    };
    const CopyResult copied = CopyFileTo(m_files, from, to, options);
    if (copied.Ok())
        return 0;
    const int number = copied.step == CopyStep::SourceOpen   ? msg::kSourceOpen
                       : copied.step == CopyStep::SourceRead ? msg::kSourceRead
                       : copied.step == CopyStep::TargetOpen ? msg::kDestinationOpen
                                                             : msg::kDestinationWrite;
    return m_items.ReportError(number, copied.error, (copied.SourceFailed() ? from : to));
}

OpResult CItemTransfer::Run(const QStringList& items, const QString& destination, bool move) {
    m_overwriteAllFiles = false;
    m_overwriteAllFolders = false;
    m_leftAsTheyAre.clear();
    m_singleItem = items.size() == 1;
    m_verb = move ? QStringLiteral("移動") : QStringLiteral("コピー");
    const int slot = m_history.Start(move ? UndoRecord::kMove : UndoRecord::kCopy);
    Step step = kNext;
    for (const QString& item : items) {
        m_ui.Pump();
        if (m_items.Stopped()) {
            step = kEnd;
            break;
        }
        QString unused;
        if (m_access.CheckAccess(item, 1, unused) != 0) {
            step = kStop;
            break;
        }
        step = TransferItem(item, destination, move, slot, true);
        if (step == kStop || step == kEnd)
            break;
    }
    m_history.Commit(slot);
    m_ui.SetStatusText(QString());
    m_items.RefreshChanged();
    ReportLeftAsTheyAre();
    return step == kStop || step == kEnd ? OpResult::kFailed : OpResult::kDone;
}

CItemTransfer::Step CItemTransfer::TransferItem(const QString& item, const QString& destination, bool move, int slot,
                                                bool record) {
    return IsFolderItem(item) ? TransferFolder(item, destination, move, slot, record)
                              : TransferFile(item, destination, move, slot, record);
}

// A folder into itself, into its own subfolder or into the folder that holds it, and a file into the
// folder that holds it, are refused (A312 to A315). The places are compared as folders on disk, not as
// text: a destination reached through a link is the folder the link points to.
bool CItemTransfer::RelationRefused(const QString& item, const QString& destination, bool move) {
    m_verb = move ? QStringLiteral("移動") : QStringLiteral("コピー");
    const bool inParent = SameResolved(ParentOf(item), destination);
    if (!IsFolderItem(item)) {
        if (!inParent)
            return false;
        m_items.Report(msg::kFileAlreadyThere, m_items.Describe(item).name + QStringLiteral("' を") + m_verb,
                       Icon::Warning);
        return true;
    }
    const QString refusal = QFileInfo(item).fileName() + QStringLiteral("' を") + m_verb;
    const int number = SameResolved(destination, item)       ? msg::kIntoItself
                       : IsWithinResolved(destination, item) ? msg::kIntoOwnSubfolder
                       : inParent                            ? msg::kFolderAlreadyThere
                                                             : 0;
    if (number == 0)
        return false;
    m_items.Report(number, refusal, Icon::Warning);
    return true;
}

CItemTransfer::Step CItemTransfer::TransferFolder(const QString& item, const QString& destination, bool move, int slot,
                                                  bool record) {
    const QString name = QFileInfo(item).fileName();
    if (RelationRefused(item, destination, move))
        return kStop;
    const QString target = ChildPath(destination, name);
    m_items.Changed(destination);
    m_items.Changed(ParentOf(item));
    const ItemKind there = KindOf(target);
    if ((there == ItemKind::Folder || there == ItemKind::Link) && !m_overwriteAllFolders) {
        const OverwriteStep answer = StepForAnswer(m_prompts.AskFolderOverwrite(target, item), m_overwriteAllFolders);
        if (answer != OverwriteStep::kReplace)
            return answer == OverwriteStep::kSkip ? kSkipped : kEnd;
    }
    // A link of the folder's name is one item: it is replaced, never merged into.
    if (there == ItemKind::Link) {
        if (const int rc = m_files.Remove(target).error; rc != 0)
            return m_items.ReportError(msg::kNotDeleted, rc, target), kStop;
    } else if (there == ItemKind::Folder) {
        // The folders meet: what comes in is recorded item by item, so that an undo leaves the folder that
        // was there before.
        QStringList entries;
        if (!EntriesOf(item, entries))
            m_leftAsTheyAre.append(item);
        for (const QString& entry : std::as_const(entries)) {
            m_ui.Pump();
            if (m_items.Stopped())
                return kEnd;
            const Step step = TransferItem(entry, target, move, slot, record);
            if (step == kStop || step == kEnd)
                return step;
        }
        if (move)
            (void)m_files.RemoveFolder(item); // stays when something in it was skipped
        return kNext;
    }
    m_ui.SetStatusText(name);
    const bool sameRoot = m_items.KeyOf(item) == m_items.KeyOf(destination);
    if (move && sameRoot) {
        if (const int rc = m_files.Rename(item, target).error; rc == 0) {
            if (record)
                m_history.Add(slot, {item, target, name});
            return kNext;
        }
    }
    if (move && SpecialFileRefused(item))
        return kStop;
    if (const Step step = CopyFolderAsNew(item, target); step != kNext) {
        // Half a copy is no copy: the source stays as it was, and the destination too.
        if (IsFolderItem(target))
            (void)RemoveTree(m_files, target);
        return step;
    }
    if (move) {
        if (const int rc = RemoveTree(m_files, item).error; rc != 0) {
            m_items.ReportError(msg::kMoveSourceLeft, rc, item);
            return kStop;
        }
    }
    if (record)
        m_history.Add(slot, move ? QStringList{item, target, name} : QStringList{target, name});
    return kNext;
}

CItemTransfer::Step CItemTransfer::TransferFile(const QString& item, const QString& destination, bool move, int slot,
                                                bool record) {
    if (RelationRefused(item, destination, move))
        return kStop;
    const CFolderItems::Source source = m_items.Describe(item);
    m_items.Changed(destination);
    m_items.Changed(ParentOf(item));
    QList<NameEntry>& entries = m_items.EntriesOf(destination);
    QString target;
    for (const NameEntry& entry : entries) {
        if (entry.displayName == source.name && !entry.diskName.startsWith(u'.') &&
            (source.container ? entry.kind == NameEntry::kContainer : entry.kind == NameEntry::kPlain))
            target = ChildPath(destination, entry.diskName);
    }
    // The file itself, reached by another path (a hard link, a second mount): copying it over itself and
    // removing the source would leave nothing.
    if (!target.isEmpty() && SameItem(m_files, target, item))
        return m_items.Report(msg::kFileAlreadyThere, source.name + QStringLiteral("' を") + m_verb, Icon::Warning),
               kStop;
    if (KindOf(item) == ItemKind::Special)
        return m_items.Report(msg::kLeftAsTheyAre, item, Icon::Warning), kStop;
    if (!target.isEmpty()) {
        if (!m_overwriteAllFiles) {
            ContainerInfo old;
            QString oldTime;
            qint64 oldSize = 0;
            if (source.container && m_engine.ReadContainerInfo(target, old, m_items.KeyOf(destination), false) == 0) {
                oldSize = old.plainSize;
                oldTime = old.modifiedText;
            }
            EncryptInPrompts::FileSide existing{target, source.name, source.container, oldSize, oldTime};
            EncryptInPrompts::FileSide incoming{item, source.name, source.container, source.plainSize, QString()};
            if (source.container) {
                ContainerInfo info;
                if (m_engine.ReadContainerInfo(item, info, m_items.KeyOf(item), false) == 0)
                    incoming.time = info.modifiedText;
            }
            const OverwriteStep answer =
                StepForAnswer(m_prompts.AskFileOverwrite(existing, incoming, m_singleItem), m_overwriteAllFiles);
            if (answer != OverwriteStep::kReplace)
                return answer == OverwriteStep::kSkip ? kSkipped : kEnd;
        }
        if (m_items.IsOpen(target))
            return m_items.Report(msg::kTargetOpen, source.name, Icon::Warning), kStop;
    } else if (source.container) {
        QString disk;
        if (m_engine.MakeContainerName(destination, disk) != 0)
            return kStop;
        target = ChildPath(destination, disk);
    } else {
        target = ChildPath(destination, source.name);
        if (ItemExists(target))
            return m_items.Report(msg::kFileAlreadyThere, source.name + QStringLiteral("' を") + m_verb, Icon::Warning),
                   kStop;
    }

    QString aside;
    if (source.container && ItemExists(target) && SetAside(target, aside) != 0)
        return kStop;
    m_ui.SetStatusText(source.name);
    if (const Step step = WriteFile(item, target, source, move); step != kNext) {
        if (!aside.isEmpty())
            static_cast<void>(m_files.Rename(aside, target));
        return step;
    }
    if (source.container)
        static_cast<void>(m_files.SetReadOnly(target));
    NameEntry added;
    added.diskName = QFileInfo(target).fileName();
    added.displayName = source.name;
    added.kind = source.container ? NameEntry::kContainer : NameEntry::kPlain;
    entries.append(added);
    QStringList texts = move ? QStringList{item, target, source.name} : QStringList{target, source.name, QString()};
    PutAway(aside, texts);
    if (record)
        m_history.Add(slot, texts);
    return kNext;
}

// The bytes of a file at `target`: a rename within one folder, a copy under one key, a new container under
// another; a moved source goes only once its copy is checked.
CItemTransfer::Step CItemTransfer::WriteFile(const QString& item, const QString& target,
                                             const CFolderItems::Source& source, bool move) {
    const bool sameRoot = m_items.KeyOf(item) == m_items.KeyOf(target);
    const bool recrypt = source.container && !m_keys.SameKey(item, target);
    const QString key = m_items.KeyOf(item);
    if (move && sameRoot) {
        // Within one folder a move is a rename of the container, which keeps its bytes.
        if (ItemExists(target))
            static_cast<void>(m_files.MakeWritable(target));
        if (const int rc = m_files.Rename(item, target).error; rc != 0) {
            m_items.ReportError(msg::kDestinationWrite, rc, target);
            return kStop;
        }
        if (source.container) {
            ContainerInfo moved;
            if (m_engine.ReadContainerInfo(target, moved, key, false) != 0 || moved.plainSize != source.plainSize)
                return m_items.Report(msg::kMoveSize, source.name), kStop;
        }
        return kNext;
    }
    // A link goes as a link, with the same target text: what it points to is not ours.
    if (KindOf(item) == ItemKind::Link) {
        if (const int rc = CopyLinkTo(item, target); rc != 0)
            return m_items.ReportError(msg::kDestinationWrite, rc, target), kStop;
        if (const int rc = move ? m_files.Remove(item).error : 0; rc != 0)
            return m_items.ReportError(msg::kMoveSourceLeft, rc, item), kStop;
        return kNext;
    }
    if (recrypt ? m_keys.Recrypt(item, source.name, target) != 0 : CopyPlain(item, target) != 0)
        return kStop;
    if (source.container) {
        ContainerInfo copied;
        if (m_engine.ReadContainerInfo(target, copied, m_items.KeyOf(target), false) != 0 ||
            copied.plainSize != source.plainSize)
            return m_items.Report(msg::kCopyOrMoveSize, source.name), kStop;
        if (sameRoot && m_engine.CompareFileTails(target, item, true) != 0)
            return m_items.Report(msg::kCopyTail, source.name), kStop;
    }
    if (!move)
        return kNext;
    qint64 from = -1;
    qint64 to = -2;
    static_cast<void>(m_files.Size(item, from));
    static_cast<void>(m_files.Size(target, to));
    if (!recrypt && from != to)
        return m_items.Report(msg::kMoveCopySize, source.name), kStop;
    static_cast<void>(m_files.MakeWritable(item));
    if (const int rc = m_files.Remove(item).error; rc != 0) {
        m_items.ReportError(msg::kMoveSourceLeft, rc, item);
        return kStop;
    }
    return kNext;
}

// A moved item back to where it was: a rename on one volume, else a copy and a delete.
OpResult CItemTransfer::MoveBack(const QString& from, const QString& to) {
    // Between folders of two passwords the containers go back under the key of the place they came from.
    const bool sameKey = m_keys.SameKey(from, to);
    const int rc = sameKey ? m_files.Rename(from, to).error : EXDEV;
    if (rc != EXDEV)
        return rc == 0 ? OpResult::kDone : m_items.FailError(msg::kDestinationWrite, rc, to);
    const CFolderItems::Source source = IsFolderItem(from) ? CFolderItems::Source() : m_items.Describe(from);
    if (IsFolderItem(from)) {
        if (SpecialFileRefused(from) || CopyFolderAsNew(from, to) != kNext) {
            if (IsFolderItem(to))
                (void)RemoveTree(m_files, to);
            return OpResult::kFailed;
        }
    } else if (KindOf(from) == ItemKind::Link) {
        if (const int rc = CopyLinkTo(from, to); rc != 0)
            return m_items.FailError(msg::kDestinationWrite, rc, to);
    } else if ((!sameKey && source.container) ? m_keys.Recrypt(from, source.name, to) != 0 : CopyPlain(from, to) != 0) {
        return OpResult::kFailed;
    }
    if (const int error = RemoveTree(m_files, from).error; error != 0)
        return m_items.FailError(msg::kMoveSourceLeft, error, from);
    return OpResult::kDone;
}

} // namespace korimbo
