#include "folder/FolderOperations.h"

#include "crypto/MessageNumbers.h"
#include "state/WorkAreas.h"
#include "util/DisplayText.h"
#include "util/ErrorText.h"
#include "util/FileNames.h"
#include "util/MessageText.h"
#include "util/PathIdentity.h"

#include <QDateTime>
#include <QDir>
#include <QFileInfo>

#include <cerrno>
#include <functional>
#include <vector>

namespace korimbo {

namespace {

constexpr int kMsgTrashOne = 1;
constexpr int kMsgPermanentOne = 2;
constexpr int kMsgFolderExists = 35;
constexpr int kMsgFolderRename = 36;
constexpr int kMsgRenameOpenBelow = 37;
constexpr int kMsgRenameNotVerified = 38;
constexpr int kMsgRenameOpen = 39;
constexpr int kMsgRenameNameTaken = 40;
constexpr int kMsgRenameSize = 41;
constexpr int kMsgRenameOldLeft = 42;
constexpr int kMsgTrashMany = 44;
constexpr int kMsgPermanentMany = 45;
constexpr int kMsgDeleteOpenBelow = 46;
constexpr int kMsgDeleteOpen = 47;
constexpr int kMsgDragOpen = 55;
constexpr int kMsgDragTargetOpen = 56;
constexpr int kMsgNoWorkSpace = 82;
constexpr int kMsgPlainCopyLeft = 83;
constexpr int kMsgItemGone = 103;
constexpr int kMsgPasteOpenBelow = 104;
constexpr int kMsgStopped = 105;
constexpr int kMsgCopySize = 108;
constexpr int kMsgCopyTail = 109;
constexpr int kMsgMoveSize = 110;
constexpr int kMsgMoveCopySize = 111;
constexpr int kMsgMoveSourceLeft = 112;
constexpr int kMsgPasteOpen = 704;
constexpr int kMsgNotInTrash = 168;
constexpr int kMsgContainerInWay = 169;
constexpr int kMsgFolderInWay = 170;
constexpr int kMsgOpenContainerInWay = 171;
constexpr int kMsgOpenFolderInWay = 172;
constexpr int kMsgUndoItemGone = 173;
constexpr int kMsgUndoCopyQuestion = 179;
constexpr int kMsgNotRegistered = 190;
constexpr int kMsgBadName = 290;
constexpr int kMsgIntoItself = 312;
constexpr int kMsgIntoOwnSubfolder = 313;
constexpr int kMsgFolderAlreadyThere = 314;
constexpr int kMsgFileAlreadyThere = 315;
constexpr int kMsgReadOnlyFolder = 316;
constexpr int kMsgTrashUnreadable = 458;
constexpr int kMsgRestore = 459;
constexpr int kMsgToTrash = 460;
constexpr int kMsgPermanentDelete = 461;
constexpr int kMsgParentFolder = 640;
constexpr int kMsgLeftAsTheyAre = 720;
constexpr int kMsgSpecialNotMoved = 722;

constexpr int kRenameTries = 10;
constexpr int kRenamePauseMs = 80;
constexpr int kMaxCopyNumber = 999999999;

QString Parent(const QString& path) {
    return QFileInfo(path).absolutePath();
}

bool IsFolder(const QString& path) {
    const QFileInfo info(path);
    return info.isDir() && !info.isSymLink();
}

bool Exists(const QString& path) {
    const QFileInfo info(path);
    return info.exists() || info.isSymLink();
}

// The modification time of a file or folder as an undo record keeps it.
QString ModifiedText(const QString& path) {
    return QFileInfo(path).lastModified().toLocalTime().toString(QStringLiteral("yyyy/MM/dd hh:mm:ss"));
}

// The key slot of that name, or null.
const KeySlot* SlotNamed(const CCryptEngine& engine, const QString& name) {
    for (int i = 0; i < CCryptEngine::kSlotCount; ++i)
        if (!engine.Slot(i).name.isEmpty() && engine.Slot(i).name == name)
            return &engine.Slot(i);
    return nullptr;
}

QString Extension(const QString& name) {
    const int dot = int(name.lastIndexOf(u'.'));
    return dot > 0 ? name.mid(dot + 1) : QString();
}

} // namespace

CFolderOperations::CFolderOperations(const FolderServices& s, EncryptInPrompts& prompts, Trash* trash,
                                     CUndoHistory& history)
    : m_engine(s.engine), m_registry(s.registry), m_nameFile(s.nameFile), m_access(s.access), m_settings(s.settings),
      m_files(s.files), m_ui(s.ui), m_messages(s.messages), m_prompts(prompts), m_trash(trash), m_history(history) {}

int CFolderOperations::Report(int number, const QString& tail, Icon icon) {
    return ReportMessage(m_ui, m_messages, number, tail, icon);
}

bool CFolderOperations::Stopped() {
    if (!m_ui.StopRequested())
        return false;
    Report(kMsgStopped, QString(), Icon::Information);
    return true;
}

QString CFolderOperations::CopyName(const QString& name, bool folder, int n) {
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

bool CFolderOperations::IsValidName(const QString& name) {
    static const QString kForbidden = QStringLiteral("*?\"|<>\\/:");
    for (const QChar c : name)
        if (kForbidden.contains(c))
            return false;
    return !name.isEmpty();
}

bool CFolderOperations::ReadOnlyFolder(const QString& path) const {
    const int slot = m_registry.SlotOf(m_nameFile.OwningRoot(path));
    return slot >= 0 && m_registry.ReadOnlyText(slot) == QStringLiteral("1");
}

void CFolderOperations::Changed(const QString& directory) {
    const QString clean = CleanPath(directory);
    if (!m_changed.contains(clean))
        m_changed.append(clean);
}

// Every changed directory gets its name file brought in line with the disk.
void CFolderOperations::RefreshChanged() {
    for (const QString& directory : std::as_const(m_changed)) {
        const QString key = KeyOf(directory);
        if (!key.isEmpty() && IsFolder(directory))
            m_nameFile.RefreshNameFile(directory, key);
    }
    m_entries.clear();
}

QList<NameEntry>& CFolderOperations::EntriesOf(const QString& directory) {
    auto found = m_entries.find(directory);
    if (found != m_entries.end())
        return found.value();
    QList<NameEntry> entries;
    const QString key = KeyOf(directory);
    if (!key.isEmpty() && IsFolder(directory) && m_nameFile.RefreshNameFile(directory, key) == 0)
        m_nameFile.LoadNameEntries(directory, key, true, entries);
    return m_entries.insert(directory, entries).value();
}

// Free means no entry of that name in the directory's name file and nothing of that name on disk.
bool CFolderOperations::NameTaken(const QString& directory, const QString& name) {
    for (const NameEntry& entry : EntriesOf(directory))
        if (entry.displayName == name)
            return true;
    return Exists(ChildPath(directory, name));
}

// What a file is: a container of its folder's key with its stored name, or a plain file.
CFolderOperations::Source CFolderOperations::Describe(const QString& path) {
    Source source;
    source.name = QFileInfo(path).fileName();
    const QString key = KeyOf(path);
    // A link is an item of its own: what it points to is not read as a container.
    if (key.isEmpty() || KindOf(path) != ItemKind::File)
        return source;
    ContainerInfo info;
    int status = kNotContainer;
    QString text;
    if (m_engine.CheckContainer(path, info, key, false, status, text) == 0 && status == kUsable) {
        source.container = true;
        source.plainSize = info.plainSize;
        if (!info.name.isEmpty() && !info.name.contains(u'/'))
            source.name = info.name;
    }
    return source;
}

QString CFolderOperations::ShownName(const QString& path) {
    if (IsFolder(path))
        return QFileInfo(path).fileName();
    const QString disk = QFileInfo(path).fileName();
    for (const NameEntry& entry : EntriesOf(Parent(path)))
        if (entry.diskName == disk)
            return entry.displayName;
    return disk;
}

namespace {

// The first file below `folder`, in any subfolder, that `matches`; its path goes to `which`.
bool FindFileBelow(const QString& folder, const std::function<bool(const QFileInfo&)>& matches, QString* which) {
    const QFileInfoList list =
        QDir(folder).entryInfoList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot);
    for (const QFileInfo& info : list) {
        if (info.isDir() && !info.isSymLink()) {
            if (FindFileBelow(info.absoluteFilePath(), matches, which))
                return true;
        } else if (matches(info)) {
            if (which)
                *which = info.absoluteFilePath();
            return true;
        }
    }
    return false;
}

} // namespace

// A pipe, socket or device below a folder that is to be moved by copying: a copy cannot take it along and
// deleting the source would lose it, so the move is refused (A722).
bool CFolderOperations::SpecialFileRefused(const QString& folder) {
    QString special;
    if (!FindFileBelow(
            folder, [](const QFileInfo& info) { return KindOf(info.absoluteFilePath()) == ItemKind::Special; },
            &special))
        return false;
    Report(kMsgSpecialNotMoved, special, Icon::Warning);
    return true;
}

bool CFolderOperations::HoldsOpenFile(const QString& folder, QString* which) {
    return isOpenInWorkspace &&
           FindFileBelow(
               folder, [this](const QFileInfo& info) { return IsOpen(info.absoluteFilePath()); }, which);
}

// Another program holds a file below `folder` open (it could not be opened alone).
bool CFolderOperations::HoldsFileInUse(const QString& folder, QString* which) {
    return FindFileBelow(
        folder,
        [this](const QFileInfo& info) {
            int error = 0;
            return info.isFile() && !info.isSymLink() &&
                   !m_files.Open(info.absoluteFilePath(), OpenMode::ReadWriteAlone, error) && error == EBUSY;
        },
        which);
}

// Bytes from one file to a new one beside its target, renamed into place when complete.
int CFolderOperations::CopyFile(const QString& from, const QString& to) {
    const QString temp = CCryptEngine::TempPathBeside(to, TempKind::Sealed);
    int error = 0;
    std::unique_ptr<File> in = m_files.Open(from, OpenMode::Read, error);
    if (!in)
        return Report(msg::kSourceOpen, u'\n' + ErrnoText(error) + QStringLiteral("\n\n") + from);
    std::unique_ptr<File> out = m_files.Open(temp, OpenMode::WriteTruncate, error);
    if (!out)
        return Report(msg::kDestinationOpen, u'\n' + ErrnoText(error) + QStringLiteral("\n\n") + to);
    const auto fail = [&](int number, int code, const QString& path) {
        out.reset();
        m_files.Remove(temp);
        return Report(number, u'\n' + ErrnoText(code) + QStringLiteral("\n\n") + path);
    };
    std::vector<char> buffer(CCryptEngine::kPieceSize);
    for (;;) {
        m_ui.Pump();
        const qint64 n = in->Read(buffer.data(), qint64(buffer.size()));
        if (n < 0)
            return fail(msg::kSourceRead, in->Error(), from);
        if (n == 0)
            break;
        if (out->Write(buffer.data(), n) != n)
            return fail(msg::kDestinationWrite, out->Error(), to);
    }
    if (!out->Sync())
        return fail(msg::kDestinationWrite, out->Error(), to);
    out.reset();
    const bool replacing = m_files.Exists(to);
    if (replacing)
        m_files.MakeWritable(to);
    if (const int rc = m_files.Rename(temp, to); rc != 0) {
        if (replacing)
            m_files.SetReadOnly(to);
        m_files.Remove(temp);
        return Report(msg::kDestinationWrite, u'\n' + ErrnoText(rc) + QStringLiteral("\n\n") + to);
    }
    qint64 seconds = 0;
    if (in->ModificationTime(seconds))
        m_files.SetModificationTime(to, seconds);
    return 0;
}

// A link made beside its target and renamed into place, so that it can replace an item. 0, or an errno.
int CFolderOperations::CopyLinkTo(const QString& from, const QString& to) {
    const QString temp = CCryptEngine::TempPathBeside(to, TempKind::Sealed);
    if (const int rc = CopyLink(from, temp); rc != 0)
        return rc;
    const int rc = m_files.Rename(temp, to);
    if (rc != 0)
        m_files.Remove(temp);
    return rc;
}

// A file or a folder with everything in it, for good. 0, or an errno.
int CFolderOperations::RemoveTree(const QString& path) {
    if (IsFolder(path)) {
        const QFileInfoList list =
            QDir(path).entryInfoList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot);
        for (const QFileInfo& info : list)
            if (const int rc = RemoveTree(info.absoluteFilePath()); rc != 0)
                return rc;
        return QDir().rmdir(path) ? 0 : (errno != 0 ? errno : EIO);
    }
    m_files.MakeWritable(path);
    return m_files.Remove(path);
}

bool CFolderOperations::SameKey(const QString& first, const QString& second) const {
    const QString a = KeyOf(first);
    const QString b = KeyOf(second);
    if (a == b)
        return true;
    const KeySlot* x = SlotNamed(m_engine, a);
    const KeySlot* y = SlotNamed(m_engine, b);
    return x && y && x->key == y->key && x->iv == y->iv;
}

int CFolderOperations::Recrypt(const QString& container, const QString& name, const QString& target) {
    const QString key = KeyOf(target);
    const int slot = m_registry.SlotOf(key);
    const QString area =
        slot < 0 ? QString() : WorkAreas::AreaOf(workRoot, m_registry.WorkIdText(slot), WorkAreas::kCreation);
    QString unique;
    if (area.isEmpty() || WorkAreas::MakePrivateFolder(area) != 0 || UniqueNameText(false, unique) != 0)
        return Report(kMsgNoWorkSpace, WithPath(QString(), area, PathSeparator::Line));
    // A folder of its own keeps the plaintext's name, which the new container stores.
    const QString folder = ChildPath(area, unique);
    if (!QDir().mkdir(folder) ||
        !QFile::setPermissions(folder, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner)) {
        QDir().rmdir(folder);
        return Report(kMsgNoWorkSpace, WithPath(QString(), folder, PathSeparator::Line));
    }
    const bool usable = name != QStringLiteral(".") && name != QStringLiteral("..") && !name.contains(QChar(0));
    const QString plain = ChildPath(folder, usable ? name : QFileInfo(container).fileName());
    int rc = m_engine.DecryptFile(container, plain, KeyOf(container)) == kOk &&
                     m_engine.EncryptFile(plain, target, key) == kOk
                 ? 0
                 : -1;
    if (rc == 0 && m_engine.VerifyNewContainer(plain, target, key) != 0) {
        m_files.Remove(target);
        rc = -1;
    }
    // Whatever a decryption left there, finished or not, is plaintext.
    for (const QFileInfo& info : QDir(folder).entryInfoList(QDir::Files | QDir::Hidden | QDir::System)) {
        QString error;
        if (m_engine.WipeAndDelete(info.absoluteFilePath(), error, true) != 0)
            Report(kMsgPlainCopyLeft, error + info.absoluteFilePath());
    }
    QDir().rmdir(folder);
    return rc;
}

int CFolderOperations::SetAside(const QString& target, QString& aside) {
    QString disk;
    if (m_engine.MakeContainerName(Parent(target), disk) != 0)
        return -1;
    // Hidden, it is no second entry of its name while the new one is written.
    aside = ChildPath(Parent(target), u'.' + disk);
    if (const int rc = m_files.Rename(target, aside); rc != 0) {
        aside.clear();
        return Report(msg::kDestinationWrite, u'\n' + ErrnoText(rc) + QStringLiteral("\n\n") + target);
    }
    return 0;
}

// The replaced container goes to the trash under a container's name; where no trash takes it, it stays
// hidden beside.
void CFolderOperations::PutAway(const QString& aside, QStringList& texts) {
    QString kept = aside;
    const QString time = aside.isEmpty() ? QString() : ModifiedText(aside);
    QString disk;
    if (!aside.isEmpty() && m_trash && m_engine.MakeContainerName(Parent(aside), disk) == 0) {
        const QString shown = ChildPath(Parent(aside), disk);
        if (m_files.Rename(aside, shown) == 0) {
            kept = shown;
            if (m_trash->MoveToTrash(shown) != 0 && m_files.Rename(shown, aside) == 0)
                kept = aside;
        }
    }
    texts.append(kept);
    texts.append(time);
}

int CFolderOperations::BringBack(const QString& aside, const QString& time, const QString& place, const QString& name) {
    if (aside.isEmpty())
        return 0;
    Changed(Parent(place));
    if (Exists(aside)) {
        if (const int rc = m_files.Rename(aside, place); rc != 0)
            return Report(kMsgRestore, u'\n' + ErrnoText(rc) + QStringLiteral("\n\n") + place);
        return 0;
    }
    QList<TrashEntry> entries;
    if (m_trash)
        m_trash->Entries(aside, entries);
    for (const TrashEntry& entry : std::as_const(entries)) {
        if ((entry.originalPath == aside || entry.rawPath == aside) && ModifiedText(entry.trashedPath) == time) {
            if (const int rc = m_trash->Restore(entry, place); rc != 0)
                return Report(kMsgRestore, u'\n' + ErrnoText(rc) + QStringLiteral("\n\n") + place);
            m_files.SetReadOnly(place);
            return 0;
        }
    }
    Report(kMsgNotInTrash, name, Icon::Warning);
    return 0;
}

// ---- clipboard and paste ----

int CFolderOperations::Take(InsideClipboard& clipboard, const QStringList& items, bool cut,
                            const QString& shownFolder) {
    if (items.isEmpty())
        return -1;
    if (cut && ReadOnlyFolder(shownFolder))
        return Report(kMsgReadOnlyFolder, QString(), Icon::Warning);
    clipboard.items.clear();
    for (const QString& item : items)
        clipboard.items.append(CleanPath(item));
    clipboard.mode = cut ? InsideClipboard::kCut : InsideClipboard::kCopy;
    clipboard.sourceFolder = CleanPath(shownFolder);
    return 0;
}

int CFolderOperations::Paste(InsideClipboard& clipboard, const QString& destination) {
    m_changed.clear();
    const QString target = CleanPath(destination);
    if (ReadOnlyFolder(target))
        return Report(kMsgReadOnlyFolder, QString(), Icon::Warning);
    if (clipboard.Count() == 0)
        return -1;
    for (const QString& item : std::as_const(clipboard.items)) {
        if (!Exists(item))
            return Report(kMsgItemGone, WithPath(QString(), item, PathSeparator::Paragraph), Icon::Warning);
    }
    const bool cut = clipboard.mode == InsideClipboard::kCut;
    for (const QString& item : std::as_const(clipboard.items)) {
        QString open;
        if (IsFolder(item) && HoldsOpenFile(item, &open))
            return Report(kMsgPasteOpenBelow, WithPath(QString(), open, PathSeparator::Paragraph), Icon::Warning);
        // A moved container would leave its working copy nowhere to be written back to.
        if (cut && !IsFolder(item) && IsOpen(item))
            return Report(kMsgPasteOpen, ShownName(item), Icon::Warning);
    }
    const QStringList items = clipboard.items;
    const bool duplicate = !cut && SameResolved(target, clipboard.sourceFolder);
    // The places are checked before anything moves: a refused paste leaves the clipboard as it was.
    if (!duplicate) {
        m_verb = cut ? QStringLiteral("移動") : QStringLiteral("コピー");
        for (const QString& item : items)
            if (RelationRefused(item, target))
                return -1;
    }
    const int rc = duplicate ? Duplicate(items, target) : RunTransfer(items, target, cut);
    // The cut items are no longer where the clipboard says they are.
    if (cut)
        clipboard.Clear();
    return rc;
}

int CFolderOperations::Drop(const QStringList& items, const QString& destination, bool move) {
    m_changed.clear();
    const QString target = CleanPath(destination);
    if (ReadOnlyFolder(target))
        return Report(kMsgReadOnlyFolder, QString(), Icon::Warning);
    if (items.isEmpty())
        return -1;
    EntriesOf(target); // the destination's name file is brought up to date first
    for (const QString& raw : items) {
        const QString item = CleanPath(raw);
        if (!Exists(item))
            return Report(kMsgItemGone, WithPath(QString(), item, PathSeparator::Paragraph), Icon::Warning);
        if (move && ReadOnlyFolder(item))
            return Report(kMsgReadOnlyFolder, QString(), Icon::Warning);
        QString open;
        if (IsFolder(item) ? HoldsOpenFile(item, &open) || HoldsFileInUse(item, &open) : IsOpen(item)) {
            return Report(kMsgDragOpen, WithPath(QString(), open.isEmpty() ? item : open, PathSeparator::Paragraph),
                          Icon::Warning);
        }
        if (!IsFolder(item)) {
            const QString name = Describe(item).name;
            for (const NameEntry& entry : EntriesOf(target)) {
                if (entry.kind == NameEntry::kContainer && entry.displayName == name &&
                    IsOpen(ChildPath(target, entry.diskName)))
                    return Report(kMsgDragTargetOpen, name, Icon::Warning);
            }
        }
    }
    QStringList cleaned;
    for (const QString& item : items)
        cleaned.append(CleanPath(item));
    return RunTransfer(cleaned, target, move);
}

// Copies of the items in their own folder, under the first free copy name.
int CFolderOperations::Duplicate(const QStringList& items, const QString& destination) {
    m_leftAsTheyAre.clear();
    SetBusy(true);
    const int slot = m_history.Start(UndoRecord::kCopy);
    const QString key = KeyOf(destination);
    int rc = 0;
    for (const QString& item : items) {
        m_ui.Pump();
        QString unused;
        if (m_access.CheckAccess(item, 1, unused) != 0) {
            rc = -1;
            break;
        }
        const bool folder = IsFolder(item);
        const Source source = folder ? Source{false, QFileInfo(item).fileName(), 0} : Describe(item);
        QString name;
        for (int n = 1; n <= kMaxCopyNumber; ++n) {
            name = CopyName(source.name, folder, n);
            if (!NameTaken(destination, name))
                break;
        }
        m_ui.SetStatusText(name);
        QString copy;
        if (folder) {
            copy = ChildPath(destination, name);
            if (CopyFolderAsNew(item, copy) != kNext) {
                rc = -1;
                break;
            }
        } else if (source.container) {
            QString disk;
            if (m_engine.MakeContainerName(destination, disk) != 0) {
                rc = -1;
                break;
            }
            copy = ChildPath(destination, disk);
            if (m_engine.RenameStoredName(item, copy, name, key, true) != kOk) {
                rc = -1;
                break;
            }
            m_files.SetReadOnly(copy);
        } else {
            copy = ChildPath(destination, name);
            if (CopyFile(item, copy) != 0) {
                rc = -1;
                break;
            }
        }
        m_history.Add(slot, {copy, name});
        NameEntry added;
        added.diskName = QFileInfo(copy).fileName();
        added.displayName = name;
        EntriesOf(destination).append(added);
        Changed(destination);
        if (Stopped()) {
            rc = -1;
            break;
        }
    }
    m_history.Commit(slot);
    m_ui.SetStatusText(QString());
    RefreshChanged();
    ReportLeftAsTheyAre();
    SetBusy(false);
    return rc;
}

void CFolderOperations::ReportLeftAsTheyAre() {
    if (!m_leftAsTheyAre.isEmpty())
        Report(kMsgLeftAsTheyAre, m_leftAsTheyAre.join(u'\n'), Icon::Information);
    m_leftAsTheyAre.clear();
}

// A folder copied to a new place: every container under a new disk name with its stored name kept.
CFolderOperations::Step CFolderOperations::CopyFolderAsNew(const QString& item, const QString& target) {
    if (IsWithinResolved(target, item))
        return Report(kMsgIntoOwnSubfolder, QFileInfo(item).fileName() + QStringLiteral("' を") + m_verb), kStop;
    if (!QDir().mkdir(target)) {
        Report(msg::kDestinationOpen, WithPath(QString(), target, PathSeparator::Paragraph));
        return kStop;
    }
    const QString key = KeyOf(target);
    const QFileInfoList list =
        QDir(item).entryInfoList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot, QDir::Name);
    for (const QFileInfo& info : list) {
        m_ui.Pump();
        if (Stopped())
            return kEnd;
        const QString path = info.absoluteFilePath();
        const ItemKind kind = KindOf(path);
        if (kind == ItemKind::Folder) {
            if (const Step step = CopyFolderAsNew(path, ChildPath(target, info.fileName())); step != kNext)
                return step;
            continue;
        }
        // A link goes along as a link; a pipe or a device is not opened, it stays where it is.
        if (kind == ItemKind::Link) {
            if (const int rc = CopyLinkTo(path, ChildPath(target, info.fileName())); rc != 0)
                return Report(msg::kDestinationWrite, u'\n' + ErrnoText(rc) + QStringLiteral("\n\n") + target), kStop;
            continue;
        }
        if (kind != ItemKind::File) {
            m_leftAsTheyAre.append(path);
            continue;
        }
        const Source source = Describe(path);
        if (source.container) {
            QString disk;
            if (m_engine.MakeContainerName(target, disk) != 0)
                return kStop;
            // A name block is enciphered with the key of the body: another password means a new container.
            const QString copy = ChildPath(target, disk);
            if (SameKey(path, target) ? m_engine.RenameStoredName(path, copy, source.name, key, true) != kOk
                                      : Recrypt(path, source.name, copy) != 0)
                return kStop;
            m_files.SetReadOnly(copy);
        } else if (CopyFile(path, ChildPath(target, info.fileName())) != 0) {
            return kStop;
        }
    }
    return kNext;
}

int CFolderOperations::RunTransfer(const QStringList& items, const QString& destination, bool move) {
    m_overwriteAllFiles = false;
    m_overwriteAllFolders = false;
    m_leftAsTheyAre.clear();
    m_singleItem = items.size() == 1;
    m_verb = move ? QStringLiteral("移動") : QStringLiteral("コピー");
    SetBusy(true);
    const int slot = m_history.Start(move ? UndoRecord::kMove : UndoRecord::kCopy);
    Step step = kNext;
    for (const QString& item : items) {
        m_ui.Pump();
        if (Stopped()) {
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
    RefreshChanged();
    ReportLeftAsTheyAre();
    SetBusy(false);
    return step == kStop || step == kEnd ? -1 : 0;
}

CFolderOperations::Step CFolderOperations::TransferItem(const QString& item, const QString& destination, bool move,
                                                        int slot, bool record) {
    return IsFolder(item) ? TransferFolder(item, destination, move, slot, record)
                          : TransferFile(item, destination, move, slot, record);
}

// A folder into itself, into its own subfolder or into the folder that holds it, and a file into the
// folder that holds it, are refused (A312 to A315). The places are compared as folders on disk, not as
// text: a destination reached through a link is the folder the link points to.
bool CFolderOperations::RelationRefused(const QString& item, const QString& destination) {
    const bool inParent = SameResolved(Parent(item), destination);
    if (!IsFolder(item)) {
        if (!inParent)
            return false;
        Report(kMsgFileAlreadyThere, Describe(item).name + QStringLiteral("' を") + m_verb, Icon::Warning);
        return true;
    }
    const QString refusal = QFileInfo(item).fileName() + QStringLiteral("' を") + m_verb;
    const int number = SameResolved(destination, item)       ? kMsgIntoItself
                       : IsWithinResolved(destination, item) ? kMsgIntoOwnSubfolder
                       : inParent                            ? kMsgFolderAlreadyThere
                                                             : 0;
    if (number == 0)
        return false;
    Report(number, refusal, Icon::Warning);
    return true;
}

CFolderOperations::Step CFolderOperations::TransferFolder(const QString& item, const QString& destination, bool move,
                                                          int slot, bool record) {
    const QString name = QFileInfo(item).fileName();
    if (RelationRefused(item, destination))
        return kStop;
    const QString target = ChildPath(destination, name);
    Changed(destination);
    Changed(Parent(item));
    const ItemKind there = KindOf(target);
    if ((there == ItemKind::Folder || there == ItemKind::Link) && !m_overwriteAllFolders) {
        const OverwriteStep answer = StepForAnswer(m_prompts.AskFolderOverwrite(target, item), m_overwriteAllFolders);
        if (answer != OverwriteStep::kReplace)
            return answer == OverwriteStep::kSkip ? kSkipped : kEnd;
    }
    // A link of the folder's name is one item: it is replaced, never merged into.
    if (there == ItemKind::Link) {
        if (const int rc = m_files.Remove(target); rc != 0)
            return Report(kMsgPermanentDelete, u'\n' + ErrnoText(rc) + QStringLiteral("\n\n") + target), kStop;
    } else if (there == ItemKind::Folder) {
        // The folders meet: what comes in is recorded item by item, so that an undo leaves the folder that
        // was there before.
        const QFileInfoList list =
            QDir(item).entryInfoList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot, QDir::Name);
        for (const QFileInfo& info : list) {
            m_ui.Pump();
            if (Stopped())
                return kEnd;
            const Step step = TransferItem(info.absoluteFilePath(), target, move, slot, record);
            if (step == kStop || step == kEnd)
                return step;
        }
        if (move)
            QDir().rmdir(item); // stays when something in it was skipped
        return kNext;
    }
    m_ui.SetStatusText(name);
    const bool sameRoot = KeyOf(item) == KeyOf(destination);
    if (move && sameRoot) {
        if (const int rc = m_files.Rename(item, target); rc == 0) {
            if (record)
                m_history.Add(slot, {item, target, name});
            return kNext;
        }
    }
    if (move && SpecialFileRefused(item))
        return kStop;
    if (const Step step = CopyFolderAsNew(item, target); step != kNext) {
        // Half a copy is no copy: the source stays as it was, and the destination too.
        if (IsFolder(target))
            RemoveTree(target);
        return step;
    }
    if (move) {
        if (const int rc = RemoveTree(item); rc != 0) {
            Report(kMsgMoveSourceLeft, u'\n' + ErrnoText(rc) + QStringLiteral("\n\n") + item);
            return kStop;
        }
    }
    if (record)
        m_history.Add(slot, move ? QStringList{item, target, name} : QStringList{target, name});
    return kNext;
}

CFolderOperations::Step CFolderOperations::TransferFile(const QString& item, const QString& destination, bool move,
                                                        int slot, bool record) {
    if (RelationRefused(item, destination))
        return kStop;
    const Source source = Describe(item);
    Changed(destination);
    Changed(Parent(item));
    QList<NameEntry>& entries = EntriesOf(destination);
    QString target;
    for (const NameEntry& entry : entries) {
        if (entry.displayName == source.name && !entry.diskName.startsWith(u'.') &&
            (source.container ? entry.kind == NameEntry::kContainer : entry.kind == NameEntry::kPlain))
            target = ChildPath(destination, entry.diskName);
    }
    // The file itself, reached by another path (a hard link, a second mount): copying it over itself and
    // removing the source would leave nothing.
    if (!target.isEmpty() && SameItem(m_files, target, item))
        return Report(kMsgFileAlreadyThere, source.name + QStringLiteral("' を") + m_verb, Icon::Warning), kStop;
    if (KindOf(item) == ItemKind::Special)
        return Report(kMsgLeftAsTheyAre, item, Icon::Warning), kStop;
    if (!target.isEmpty()) {
        if (!m_overwriteAllFiles) {
            ContainerInfo old;
            QString oldTime;
            qint64 oldSize = 0;
            if (source.container && m_engine.ReadContainerInfo(target, old, KeyOf(destination), false) == 0) {
                oldSize = old.plainSize;
                oldTime = old.modifiedText;
            }
            EncryptInPrompts::FileSide existing{target, source.name, source.container, oldSize, oldTime};
            EncryptInPrompts::FileSide incoming{item, source.name, source.container, source.plainSize, QString()};
            if (source.container) {
                ContainerInfo info;
                if (m_engine.ReadContainerInfo(item, info, KeyOf(item), false) == 0)
                    incoming.time = info.modifiedText;
            }
            const OverwriteStep answer =
                StepForAnswer(m_prompts.AskFileOverwrite(existing, incoming, m_singleItem), m_overwriteAllFiles);
            if (answer != OverwriteStep::kReplace)
                return answer == OverwriteStep::kSkip ? kSkipped : kEnd;
        }
        if (IsOpen(target))
            return Report(kMsgDragTargetOpen, source.name, Icon::Warning), kStop;
    } else if (source.container) {
        QString disk;
        if (m_engine.MakeContainerName(destination, disk) != 0)
            return kStop;
        target = ChildPath(destination, disk);
    } else {
        target = ChildPath(destination, source.name);
        if (Exists(target))
            return Report(kMsgFileAlreadyThere, source.name + QStringLiteral("' を") + m_verb, Icon::Warning), kStop;
    }

    QString aside;
    if (source.container && Exists(target) && SetAside(target, aside) != 0)
        return kStop;
    m_ui.SetStatusText(source.name);
    if (const Step step = WriteFile(item, target, source, move); step != kNext) {
        if (!aside.isEmpty())
            m_files.Rename(aside, target);
        return step;
    }
    if (source.container)
        m_files.SetReadOnly(target);
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
CFolderOperations::Step CFolderOperations::WriteFile(const QString& item, const QString& target, const Source& source,
                                                     bool move) {
    const bool sameRoot = KeyOf(item) == KeyOf(target);
    const bool recrypt = source.container && !SameKey(item, target);
    const QString key = KeyOf(item);
    if (move && sameRoot) {
        // Within one folder a move is a rename of the container, which keeps its bytes.
        if (Exists(target))
            m_files.MakeWritable(target);
        if (const int rc = m_files.Rename(item, target); rc != 0) {
            Report(msg::kDestinationWrite, u'\n' + ErrnoText(rc) + QStringLiteral("\n\n") + target);
            return kStop;
        }
        if (source.container) {
            ContainerInfo moved;
            if (m_engine.ReadContainerInfo(target, moved, key, false) != 0 || moved.plainSize != source.plainSize)
                return Report(kMsgMoveSize, source.name), kStop;
        }
        return kNext;
    }
    // A link goes as a link, with the same target text: what it points to is not ours.
    if (KindOf(item) == ItemKind::Link) {
        if (const int rc = CopyLinkTo(item, target); rc != 0)
            return Report(msg::kDestinationWrite, u'\n' + ErrnoText(rc) + QStringLiteral("\n\n") + target), kStop;
        if (const int rc = move ? m_files.Remove(item) : 0; rc != 0)
            return Report(kMsgMoveSourceLeft, u'\n' + ErrnoText(rc) + QStringLiteral("\n\n") + item), kStop;
        return kNext;
    }
    if (recrypt ? Recrypt(item, source.name, target) != 0 : CopyFile(item, target) != 0)
        return kStop;
    if (source.container) {
        ContainerInfo copied;
        if (m_engine.ReadContainerInfo(target, copied, KeyOf(target), false) != 0 ||
            copied.plainSize != source.plainSize)
            return Report(kMsgCopySize, source.name), kStop;
        if (sameRoot && m_engine.CompareFileTails(target, item, true) != 0)
            return Report(kMsgCopyTail, source.name), kStop;
    }
    if (!move)
        return kNext;
    qint64 from = -1;
    qint64 to = -2;
    m_files.Size(item, from);
    m_files.Size(target, to);
    if (!recrypt && from != to)
        return Report(kMsgMoveCopySize, source.name), kStop;
    m_files.MakeWritable(item);
    if (const int rc = m_files.Remove(item); rc != 0) {
        Report(kMsgMoveSourceLeft, u'\n' + ErrnoText(rc) + QStringLiteral("\n\n") + item);
        return kStop;
    }
    return kNext;
}

// ---- rename ----

int CFolderOperations::Rename(const QString& path, const QString& shown, const QString& typed, QString& newPath) {
    m_changed.clear();
    if (typed == shown)
        return 1;
    if (!IsValidName(typed)) {
        Report(kMsgBadName, QString(), Icon::Warning);
        return -1;
    }
    SetBusy(true);
    const int rc = RenameItem(CleanPath(path), typed, true, true, newPath);
    RefreshChanged();
    SetBusy(false);
    return rc;
}

int CFolderOperations::RenameItem(const QString& path, const QString& name, bool extensionRule, bool makeRecord,
                                  QString& newPath) {
    if (ReadOnlyFolder(path))
        return Report(kMsgReadOnlyFolder, QString(), Icon::Warning);
    if (!Exists(path))
        return Report(kMsgItemGone, WithPath(QString(), path, PathSeparator::Paragraph), Icon::Warning);
    QString unused;
    if (m_access.CheckAccess(path, 1, unused) != 0)
        return -1;
    QString oldName = QFileInfo(path).fileName();
    QString newName = name;
    int rc = 0;
    if (IsFolder(path) || !Describe(path).container)
        rc = RenameFolder(path, newName, newPath);
    else
        rc = RenameContainer(path, newName, extensionRule, newPath, oldName);
    if (rc != 0)
        return rc;
    Changed(Parent(path));
    if (makeRecord && newPath != path) {
        // The older records follow the item to its new path (a container gets a new disk name).
        m_history.ReplacePath(path, newPath);
        const int slot = m_history.Start(UndoRecord::kRename);
        m_history.Add(slot, {newPath, newName, oldName, path});
        m_history.Commit(slot);
    }
    return 0;
}

int CFolderOperations::RenameContainer(const QString& path, QString& name, bool extensionRule, QString& newPath,
                                       QString& oldName) {
    if (IsOpen(path))
        return Report(kMsgRenameOpen, QFileInfo(path).fileName(), Icon::Warning);
    const QString key = KeyOf(path);
    ContainerInfo info;
    int status = kNotContainer;
    QString text;
    if (m_engine.CheckContainer(path, info, key, false, status, text) != 0 || status != kUsable)
        return Report(kMsgRenameNotVerified, WithPath(QString(), path, PathSeparator::Paragraph));
    oldName = info.name;
    // The list hides known extensions: a name typed without one keeps the old extension.
    const QString extension = Extension(oldName);
    if (extensionRule && m_settings.titleMode == 0 && !extension.isEmpty() &&
        !name.endsWith(u'.' + extension, Qt::CaseInsensitive))
        name += u'.' + extension;
    if (name == oldName) {
        newPath = path;
        return 0;
    }
    const QString directory = Parent(path);
    const QString disk = QFileInfo(path).fileName();
    for (const NameEntry& entry : EntriesOf(directory)) {
        if (entry.diskName != disk && entry.displayName.compare(name, Qt::CaseInsensitive) == 0)
            return Report(kMsgRenameNameTaken, name, Icon::Warning);
    }
    QString fresh;
    if (m_engine.MakeContainerName(directory, fresh) != 0)
        return -1;
    const QString target = ChildPath(directory, fresh);
    if (m_engine.RenameStoredName(path, target, name, key, true) != kOk)
        return -1;
    m_files.SetReadOnly(target);
    ContainerInfo renamed;
    qint64 oldSize = 0;
    qint64 newSize = 0;
    m_files.Size(path, oldSize);
    m_files.Size(target, newSize);
    if (m_engine.ReadContainerInfo(target, renamed, key, false) != 0 ||
        newSize - oldSize != qint64(renamed.nameBlockLength) - qint64(info.nameBlockLength) ||
        renamed.plainSize != info.plainSize) {
        m_files.MakeWritable(target);
        m_files.Remove(target);
        return Report(kMsgRenameSize, name);
    }
    m_files.MakeWritable(path);
    if (const int rc = m_files.Remove(path); rc != 0) {
        // Two containers of one item are none renamed: the new one goes, the old one stays.
        m_files.SetReadOnly(path);
        m_files.MakeWritable(target);
        m_files.Remove(target);
        return Report(kMsgRenameOldLeft, u'\n' + ErrnoText(rc) + QStringLiteral("\n\n") + path);
    }
    newPath = target;
    return 0;
}

int CFolderOperations::RenameFolder(const QString& path, const QString& name, QString& newPath) {
    QString open;
    if (IsFolder(path) && HoldsOpenFile(path, &open))
        return Report(kMsgRenameOpenBelow, WithPath(QString(), open, PathSeparator::Paragraph), Icon::Warning);
    const QString target = ChildPath(Parent(path), name);
    if (Exists(target))
        return Report(kMsgFolderExists, u'\'' + name + u'\'', Icon::Warning);
    int rc = 0;
    for (int attempt = 0; attempt < kRenameTries; ++attempt) {
        rc = m_files.Rename(path, target);
        if (rc == 0)
            break;
        m_ui.Sleep(kRenamePauseMs);
    }
    if (rc != 0)
        return Report(kMsgFolderRename, u'\n' + ErrnoText(rc));
    newPath = target;
    return 0;
}

// ---- delete ----

int CFolderOperations::Delete(const QStringList& paths, bool permanent) {
    m_changed.clear();
    if (paths.isEmpty())
        return -1;
    QStringList items;
    for (const QString& path : paths)
        items.append(CleanPath(path));
    if (ReadOnlyFolder(items.first()))
        return Report(kMsgReadOnlyFolder, QString(), Icon::Warning);
    for (const QString& item : items) {
        QString unused;
        if (m_access.CheckAccess(item, 1, unused) != 0)
            return -1;
    }
    const QString question =
        items.size() == 1
            ? m_messages.MsgA(permanent ? kMsgPermanentOne : kMsgTrashOne) + ShownName(items.first())
            : m_messages.MsgA(permanent ? kMsgPermanentMany : kMsgTrashMany) + QString::number(items.size());
    const int number = items.size() == 1 ? (permanent ? kMsgPermanentOne : kMsgTrashOne)
                                         : (permanent ? kMsgPermanentMany : kMsgTrashMany);
    if (m_ui.Message(question, Icon::Question, Buttons::YesNo, kAnswerNo, number) != kAnswerYes)
        return 1;
    for (const QString& item : items) {
        QString open;
        if (IsFolder(item) && HoldsOpenFile(item, &open))
            return Report(kMsgDeleteOpenBelow, WithPath(QString(), open, PathSeparator::Paragraph), Icon::Warning);
        if (!IsFolder(item) && IsOpen(item))
            return Report(kMsgDeleteOpen, ShownName(item), Icon::Warning);
    }
    if (!permanent && !m_trash)
        return Report(kMsgToTrash, QString());

    SetBusy(true);
    int slot = -1;
    QList<QStringList> recorded;
    if (!permanent) {
        slot = m_history.Start(UndoRecord::kDelete);
        // What finds an item in the trash again is taken before it goes.
        for (const QString& item : items)
            recorded.append({item, ShownName(item), ModifiedText(item), QFileInfo(item).fileName()});
    }
    int rc = 0;
    for (qsizetype i = 0; i < items.size(); ++i) {
        m_ui.Pump();
        const QString& item = items.at(i);
        Changed(Parent(item));
        if (permanent) {
            if (const int error = RemoveTree(item); error != 0) {
                rc = Report(kMsgPermanentDelete, u'\n' + ErrnoText(error) + QStringLiteral("\n\n") + item);
                break;
            }
            continue;
        }
        if (const int error = m_trash->MoveToTrash(item); error != 0) {
            rc = Report(kMsgToTrash, u'\n' + ErrnoText(error) + QStringLiteral("\n\n") + item);
            break;
        }
        m_history.Add(slot, recorded.at(i));
    }
    if (slot >= 0)
        m_history.Commit(slot);
    RefreshChanged();
    SetBusy(false);
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
                Report(kMsgNotRegistered, path, Icon::Warning);
            return false;
        }
        if (m_engine.FindKey(root) < 0)
            return false;
    }
    return true;
}

int CFolderOperations::Undo() {
    m_changed.clear();
    if (!CanUndo(true))
        return -1;
    const UndoRecord record = m_history.Newest();
    SetBusy(true);
    int rc = -1;
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
    if (rc == 0)
        m_history.DropNewest();
    RefreshChanged();
    SetBusy(false);
    return rc;
}

int CFolderOperations::ClearWay(const QString& existing) {
    if (!Exists(existing))
        return 0;
    const bool folder = IsFolder(existing);
    if (folder ? HoldsOpenFile(existing) : IsOpen(existing)) {
        Report(folder ? kMsgOpenFolderInWay : kMsgOpenContainerInWay,
               WithPath(QString(), existing, PathSeparator::Paragraph), Icon::Warning);
        return 1;
    }
    const int number = folder ? kMsgFolderInWay : kMsgContainerInWay;
    if (m_ui.Message(WithPath(m_messages.MsgA(number), existing, PathSeparator::Paragraph), Icon::Question,
                     Buttons::YesNo, kAnswerNo, number) != kAnswerYes)
        return 1;
    if (const int rc = RemoveTree(existing); rc != 0)
        return Report(kMsgPermanentDelete, u'\n' + ErrnoText(rc) + QStringLiteral("\n\n") + existing);
    return 0;
}

int CFolderOperations::PrepareParent(const QString& path) {
    const QString parent = Parent(path);
    if (IsFolder(parent) || QDir().mkpath(parent))
        return 0;
    return Report(kMsgParentFolder, WithPath(QString(), parent, PathSeparator::Paragraph));
}

int CFolderOperations::UndoDelete(const UndoRecord& record) {
    QList<TrashEntry> entries;
    if (!m_trash)
        return Report(kMsgTrashUnreadable, QString());
    if (const int error = m_trash->Entries(record.lists[0].value(0), entries); error != 0)
        return Report(kMsgTrashUnreadable, u'\n' + ErrnoText(error));
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
                if (placeMatches && ModifiedText(entry.trashedPath) == time) {
                    found = &entry;
                    break;
                }
            }
        }
        if (!found) {
            Report(kMsgNotInTrash, name, Icon::Warning);
            continue;
        }
        const int way = ClearWay(path);
        if (way < 0)
            return -1;
        if (way > 0)
            continue;
        if (PrepareParent(path) != 0)
            return -1;
        if (const int error = m_trash->Restore(*found, path); error != 0)
            return Report(kMsgRestore, u'\n' + ErrnoText(error) + QStringLiteral("\n\n") + path);
        Changed(Parent(path));
        entries.removeIf([&](const TrashEntry& e) { return e.infoPath == found->infoPath; });
    }
    return 0;
}

int CFolderOperations::UndoCopy(const UndoRecord& record) {
    for (const QString& copy : record.lists[0]) {
        if (!Exists(copy))
            return Report(kMsgUndoItemGone, WithPath(QString(), copy, PathSeparator::Paragraph), Icon::Warning);
    }
    const int n = record.Items();
    const QString head = n == 1 ? u'\'' + record.lists[1].value(0) + QStringLiteral("' を")
                                : u'\'' + record.lists[1].value(0) + QStringLiteral("' を含む%1個の項目を").arg(n);
    if (m_ui.Message(head + m_messages.MsgA(kMsgUndoCopyQuestion), Icon::Question, Buttons::YesNo, kAnswerNo,
                     kMsgUndoCopyQuestion) != kAnswerYes)
        return -1;
    for (const QString& copy : record.lists[0]) {
        m_ui.Pump();
        Changed(Parent(copy));
        if (const int rc = RemoveTree(copy); rc != 0)
            return Report(kMsgPermanentDelete, u'\n' + ErrnoText(rc) + QStringLiteral("\n\n") + copy);
    }
    // What the copies replaced comes back.
    for (int i = 0; i < n; ++i)
        if (BringBack(record.lists[3].value(i), record.lists[4].value(i), record.lists[0].at(i),
                      record.lists[1].value(i)) != 0)
            return -1;
    return 0;
}

// A moved item back to where it was: a rename on one volume, else a copy and a delete.
int CFolderOperations::MoveBack(const QString& from, const QString& to) {
    // Between folders of two passwords the containers go back under the key of the place they came from.
    const bool sameKey = SameKey(from, to);
    const int rc = sameKey ? m_files.Rename(from, to) : EXDEV;
    if (rc != EXDEV)
        return rc == 0 ? 0 : Report(msg::kDestinationWrite, u'\n' + ErrnoText(rc) + QStringLiteral("\n\n") + to);
    const Source source = IsFolder(from) ? Source() : Describe(from);
    if (IsFolder(from)) {
        if (SpecialFileRefused(from) || CopyFolderAsNew(from, to) != kNext) {
            if (IsFolder(to))
                RemoveTree(to);
            return -1;
        }
    } else if (KindOf(from) == ItemKind::Link) {
        if (const int rc = CopyLinkTo(from, to); rc != 0)
            return Report(msg::kDestinationWrite, u'\n' + ErrnoText(rc) + QStringLiteral("\n\n") + to);
    } else if ((!sameKey && source.container) ? Recrypt(from, source.name, to) != 0 : CopyFile(from, to) != 0) {
        return -1;
    }
    if (const int error = RemoveTree(from); error != 0)
        return Report(kMsgMoveSourceLeft, u'\n' + ErrnoText(error) + QStringLiteral("\n\n") + from);
    return 0;
}

int CFolderOperations::UndoMove(const UndoRecord& record) {
    for (int i = record.Items() - 1; i >= 0; --i) {
        m_ui.Pump();
        const QString source = record.lists[0].at(i);
        const QString target = record.lists[1].at(i);
        if (!Exists(target)) {
            Report(kMsgNotInTrash, record.lists[2].at(i), Icon::Warning);
            continue;
        }
        const int way = ClearWay(source);
        if (way < 0)
            return -1;
        if (way > 0)
            continue;
        if (PrepareParent(source) != 0 || MoveBack(target, source) != 0)
            return -1;
        if (Describe(source).container)
            m_files.SetReadOnly(source);
        Changed(Parent(source));
        Changed(Parent(target));
        if (BringBack(record.lists[3].value(i), record.lists[4].value(i), target, record.lists[2].at(i)) != 0)
            return -1;
    }
    return 0;
}

int CFolderOperations::UndoRename(const UndoRecord& record) {
    const QString path = record.lists[0].value(0);
    const QString oldName = record.lists[2].value(0);
    QString restored;
    if (RenameItem(path, oldName, false, false, restored) != 0)
        return -1;
    // The older records follow the item back to its old name and its new disk name.
    m_history.ReplacePath(path, restored);
    return 0;
}

} // namespace korimbo
