#include "workspace/TakeOut.h"

#include "state/WorkAreas.h"
#include "util/ErrorText.h"
#include "util/FileNames.h"
#include "util/MessageText.h"
#include "util/PathIdentity.h"

#include <QDir>
#include <QDirIterator>
#include <QFileInfo>
#include <QScopeGuard>

#include <cerrno>
#include <vector>

namespace korimbo {

namespace {

constexpr int kMinPassword = 8;
constexpr int kMaxPassword = 32;
constexpr int kMaxHint = 48;
constexpr qint64 kPiece = CCryptEngine::kPieceSize;

// A real file or folder: a link is never followed (one to an ancestor or to "/" would run away), and a
// pipe or a device is never opened.
bool IsPlainItem(const QString& path) {
    const ItemKind kind = KindOf(path);
    return kind == ItemKind::File || kind == ItemKind::Folder;
}

qint64 TreeSize(const QString& path) {
    const QFileInfo info(path);
    if (!info.isDir() || info.isSymLink())
        return info.size();
    qint64 total = 0;
    QDirIterator it(path, QDir::Files | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot,
                    QDirIterator::Subdirectories);
    while (it.hasNext()) {
        it.next();
        total += it.fileInfo().size();
    }
    return total;
}

} // namespace

QString CTakeOut::MoveRefusedText() {
    return QStringLiteral("現在の暗号フォルダー内に移動はできません。\n取り出し画面では暗号フォルダーの外へ取り出してください。");
}

CTakeOut::CTakeOut(CWorkingCopies& copies, const FolderServices& s, ProcessProbe& processes, TakeOutPrompts& prompts)
    : m_copies(copies), m_engine(s.engine), m_registry(s.registry), m_nameFile(s.nameFile), m_settings(s.settings),
      m_workFolder(s.workFolder), m_files(s.files), m_ui(s.ui), m_messages(s.messages), m_processes(processes),
      m_prompts(prompts) {}

int CTakeOut::Report(int number, const QString& tail, Icon icon) {
    return ReportMessage(m_ui, m_messages, number, tail, icon);
}

void CTakeOut::SetBusy(bool on) const {
    if (busy)
        busy(on);
}

QString CTakeOut::TakeOutArea(const QString& root) const {
    const int slot = m_registry.SlotOf(root);
    return slot < 0 ? QString()
                    : WorkAreas::AreaOf(QDir::cleanPath(m_workFolder.PlainRoot()), m_registry.WorkIdText(slot),
                                        WorkAreas::kTakeOut);
}

// The containers of kinds 2, 3 and 5 wait in the folder's "Re" area, beside the decrypted ones in "To".
QString CTakeOut::ExportFolder(const QString& root) const {
    const int slot = m_registry.SlotOf(root);
    return slot < 0 ? QString()
                    : WorkAreas::AreaOf(QDir::cleanPath(m_workFolder.PlainRoot()), m_registry.WorkIdText(slot),
                                        WorkAreas::kReturn);
}

QString CTakeOut::RelativeDirectory(const QString& path) const {
    return QFileInfo(path).absolutePath().mid(m_root.size());
}

// A stored name that holds a slash or names a folder step would lead the file out of its place.
QString CTakeOut::SafeName(const QString& name, const QString& fallback) {
    if (name.isEmpty() || name == QStringLiteral(".") || name == QStringLiteral("..") || name.contains(u'/') ||
        name.contains(QChar(0)))
        return fallback;
    return name;
}

// Staged items are handed to other programs: they may read them (the area itself stays private to the
// user); a read-only copy of a read-only folder stays read-only.
void CTakeOut::OpenUp(const QString& path) {
    const QFileInfo info(path);
    if (info.isSymLink())
        return;
    QFile::Permissions permissions = info.permissions() | QFile::ReadOwner | QFile::ReadGroup | QFile::ReadOther;
    if (info.isDir()) {
        permissions |= QFile::ExeOwner | QFile::ExeGroup | QFile::ExeOther | QFile::WriteOwner;
        QFile::setPermissions(path, permissions);
        for (const QFileInfo& entry :
             QDir(path).entryInfoList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot))
            OpenUp(entry.absoluteFilePath());
        return;
    }
    QFile::setPermissions(path, permissions);
}

// ---- the command ----

int CTakeOut::Run(TakeOutKind kind, const QStringList& selection) {
    m_items.clear();
    m_containerOf.clear();
    m_madeWritable.clear();
    m_leftAsTheyAre.clear();
    m_stagedDecrypted = false;
    m_stagedExport = false;
    m_root = selection.isEmpty() ? QString() : m_nameFile.OwningRoot(CleanPath(selection.first()));
    if (selection.isEmpty() || m_registry.SlotOf(m_root) < 0)
        return -1;
    SetBusy(true);
    int rc = RunKind(kind, selection);
    // Staging never outlives the command, whatever ended it.
    if (Cleanup() != 0)
        rc = -1;
    if (refreshContents)
        refreshContents();
    SetBusy(false);
    return rc;
}

int CTakeOut::RunKind(TakeOutKind kind, const QStringList& selection) {
    if (kind == TakeOutKind::kAsTheyAre) {
        if (StagePlainFiles(selection) != 0)
            return -1;
        return ShowWindow(kind);
    }
    const bool decrypting = kind != TakeOutKind::kEncrypted;
    if (CheckSelection(selection, true, decrypting) != 0)
        return -1;
    switch (kind) {
    case TakeOutKind::kDecrypted:
    case TakeOutKind::kMail:
        if (StageDecryptedItems(selection, true) != 0)
            return -1;
        break;
    case TakeOutKind::kEncrypted: {
        if (EmptyExportFolder() != 0)
            return -1;
        bool nameAfterPlain = m_settings.angoOutNameMode == 0;
        if (!m_prompts.AskEncryptedTakeOut(nameAfterPlain))
            return -1;
        m_settings.angoOutNameMode = nameAfterPlain ? 0 : 1;
        if (StageEncrypted(selection, nameAfterPlain) != 0)
            return -1;
        break;
    }
    default: {
        if (EmptyExportFolder() != 0)
            return -1;
        bool nameAfterPlain = m_settings.angoOutNameMode == 0;
        TakeOutPrompts::NewPassword key;
        const QList<ChangePasswordText> registered = changePasswords ? changePasswords() : QList<ChangePasswordText>();
        const bool chosen = m_prompts.AskNewPassword(
            registered, nameAfterPlain, key,
            [this](const QString& password, const QString& hint) { return CheckNewPassword(password, hint); });
        if (!chosen)
            return -1;
        m_settings.angoOutNameMode = nameAfterPlain ? 0 : 1;
        const int rc = StageNewPassword(selection, nameAfterPlain, key);
        key.password.fill(u'\0');
        if (rc != 0)
            return -1;
        break;
    }
    }
    return ShowWindow(kind);
}

// A120: an item of the selection is gone from the disk (another program removed or renamed it since the
// list was made). A84: a working copy of a selected container (folders searched through) is open in the
// decrypted workspace and cannot be released, because a program holds it or its watched program still
// runs; otherwise open copies are released (written back or wiped) after the release question. A122: the
// decrypted copies would not fit on the work folder's disk.
int CTakeOut::CheckSelection(const QStringList& selection, bool mayAsk, bool decrypting) {
    QList<QPair<QString, NameEntry>> containers;
    for (const QString& item : selection) {
        const QString path = CleanPath(item);
        if (!QFileInfo::exists(path))
            return Report(kMsgItemMissing, WithPath(QString(), path, PathSeparator::Paragraph), Icon::Warning);
        if (!IsPlainItem(path)) {
            m_leftAsTheyAre.append(path);
        } else if (QFileInfo(path).isDir()) {
            if (CollectContainers(path, containers) != 0)
                return -1;
        } else if (path.endsWith(QStringLiteral(".zorf"), Qt::CaseInsensitive)) {
            NameEntry entry;
            entry.plainSize = QFileInfo(path).size(); // near enough for the room check: compressed rarely grows
            containers.append({path, entry});
        }
    }
    // Said once: the staging walks pass them by without a word.
    if (!m_leftAsTheyAre.isEmpty())
        Report(kMsgLeftAsTheyAre, m_leftAsTheyAre.join(u'\n'), Icon::Information);
    QStringList open;
    qint64 needed = 0;
    const WatchTable& table = m_copies.Table();
    for (const auto& [container, entry] : containers) {
        needed += entry.plainSize;
        const QString copy = m_copies.WorkingCopyPath(container, WorkAreas::kEditing);
        if (copy.isEmpty())
            return -1;
        if (!QFileInfo::exists(copy))
            continue;
        bool held = m_processes.IsOpenElsewhere(copy);
        for (int slot = 0; slot < WatchTable::kSlots && !held; ++slot)
            held = table.pid[slot] != 0 && table.path[slot] == copy && m_processes.IsRunning(table.pid[slot]);
        if (held || !mayAsk)
            return Report(kMsgOpenNotReleased, WithPath(QString(), QFileInfo(copy).fileName(), PathSeparator::Paragraph),
                          Icon::Warning);
        open.append(copy);
    }
    if (!open.isEmpty()) {
        if (m_ui.Message(m_messages.MsgA(kMsgReleaseQuestion), Icon::Question, Buttons::YesNo, kAnswerNo,
                         kMsgReleaseQuestion) != kAnswerYes)
            return -1;
        for (const QString& copy : open)
            if (m_copies.WriteBackOne(copy) != 0)
                return -1;
    }
    if (decrypting && needed > 0) {
        qint64 free = -1;
        const QString workRoot = QDir::cleanPath(m_workFolder.PlainRoot()); // where the copies go
        if (m_files.FreeBytes(workRoot, free) == 0 && free >= 0 && needed > free)
            return Report(kMsgNoRoomForCopies, WithPath(QString(), workRoot, PathSeparator::Paragraph), Icon::Warning);
    }
    return 0;
}

int CTakeOut::CollectContainers(const QString& folder, QList<QPair<QString, NameEntry>>& containers) {
    const QString root = m_nameFile.OwningRoot(folder);
    QList<NameEntry> entries;
    if (m_nameFile.RefreshNameFile(folder, root) != 0 || m_nameFile.LoadNameEntries(folder, root, true, entries) != 0)
        return -1;
    for (const NameEntry& entry : entries) {
        const QString child = ChildPath(folder, entry.diskName);
        if (!IsPlainItem(child)) {
            m_leftAsTheyAre.append(child);
            continue;
        }
        if (entry.kind == NameEntry::kFolder && CollectContainers(child, containers) != 0)
            return -1;
        if (entry.kind == NameEntry::kContainer)
            containers.append({child, entry});
    }
    return 0;
}

// ---- kinds 1 and 4, and the decrypted half of kinds 3 and 5 ----

int CTakeOut::StageDecryptedItems(const QStringList& selection, bool plainToo) {
    const QString area = TakeOutArea(m_root);
    m_stagedDecrypted = true;
    if (area.isEmpty() || EmptyArea(area, true, kMsgCopyNotRemoved, kMsgCopyFolderNotRemoved) != 0)
        return -1;
    // Plaintext waits here: only the user may enter the area.
    QDir().mkpath(area);
    QFile::setPermissions(area, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    for (const QString& item : selection) {
        TakeOutItem staged;
        staged.source = CleanPath(item);
        if (!IsPlainItem(staged.source))
            continue;
        if (StageDecrypted(staged.source, plainToo, staged.staged) != 0)
            return -1;
        staged.folder = QFileInfo(staged.staged).isDir();
        m_items.append(staged);
    }
    return 0;
}

int CTakeOut::StageDecrypted(const QString& item, bool plainToo, QString& staged) {
    if (QFileInfo(item).isDir()) {
        staged = TakeOutArea(m_root) + item.mid(m_root.size());
        return StageFolder(item, staged, plainToo);
    }
    if (m_copies.OpenOne(item, false, QString(), WorkAreas::kTakeOut, &staged) != 0)
        return -1;
    m_containerOf.insert(staged, item);
    OpenUp(staged);
    return 0;
}

// The folder's structure comes along, empty subfolders too.
int CTakeOut::StageFolder(const QString& folder, const QString& target, bool plainToo) {
    errno = 0;
    if (!QDir().mkpath(target))
        return Report(kMsgExportCopyFailed, folder + u'\n' + ErrnoText(errno != 0 ? errno : EIO) +
                                                QStringLiteral("\n\n") + target);
    OpenUp(target);
    QList<NameEntry> entries;
    if (m_nameFile.RefreshNameFile(folder, m_root) != 0 ||
        m_nameFile.LoadNameEntries(folder, m_root, true, entries) != 0)
        return -1;
    for (const NameEntry& entry : entries) {
        const QString child = ChildPath(folder, entry.diskName);
        if (m_ui.StopRequested())
            return -1;
        if (!IsPlainItem(child))
            continue;
        if (entry.kind == NameEntry::kFolder) {
            if (StageFolder(child, ChildPath(target, entry.diskName), plainToo) != 0)
                return -1;
        } else if (entry.kind == NameEntry::kContainer) {
            QString copy;
            if (StageDecrypted(child, plainToo, copy) != 0)
                return -1;
        } else if (plainToo) {
            qint64 done = 0;
            if (CopyBytes(child, ChildPath(target, entry.diskName), done, QFileInfo(child).size()) != 0)
                return Report(kMsgExportCopyFailed,
                              entry.diskName + QStringLiteral("\n\n") + child + u'\n' + ChildPath(target, entry.diskName));
        }
    }
    return 0;
}

// ---- kind 2 ----

int CTakeOut::EmptyExportFolder() {
    const QString folder = ExportFolder(m_root);
    m_stagedExport = true;
    if (folder.isEmpty())
        return -1;
    if (QFileInfo::exists(folder) && EmptyArea(folder, false, 0, 0) != 0)
        return Report(kMsgExportNotEmptied, WithPath(QString(), folder, PathSeparator::Paragraph));
    if (!QDir().mkpath(folder))
        return Report(kMsgExportNotEmptied, WithPath(QString(), folder, PathSeparator::Paragraph));
    QFile::setPermissions(folder, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    return 0;
}

int CTakeOut::StageEncrypted(const QStringList& selection, bool nameAfterPlain) {
    const QString exportFolder = ExportFolder(m_root);
    for (const QString& item : selection) {
        TakeOutItem staged;
        staged.source = CleanPath(item);
        if (!IsPlainItem(staged.source))
            continue;
        if (QFileInfo(staged.source).isDir()) {
            staged.staged = exportFolder + staged.source.mid(m_root.size());
            staged.folder = true;
            if (ExportFolderTree(staged.source, staged.staged, nameAfterPlain) != 0)
                return -1;
        } else {
            ContainerInfo info;
            if (m_engine.ReadContainerInfo(staged.source, info, m_root, true) != 0)
                return -1;
            if (ExportContainer(staged.source, exportFolder + RelativeDirectory(staged.source), info.name,
                                nameAfterPlain, staged.staged) != 0)
                return -1;
        }
        m_items.append(staged);
    }
    return 0;
}

int CTakeOut::ExportFolderTree(const QString& folder, const QString& target, bool nameAfterPlain) {
    QList<NameEntry> entries;
    if (m_nameFile.RefreshNameFile(folder, m_root) != 0 ||
        m_nameFile.LoadNameEntries(folder, m_root, true, entries) != 0)
        return -1;
    // Links and special files stay behind (named by the selection check).
    entries.removeIf([&](const NameEntry& entry) { return !IsPlainItem(ChildPath(folder, entry.diskName)); });
    // A copy of a folder whose file is being edited would hand out the old contents.
    for (const NameEntry& entry : entries) {
        if (entry.kind != NameEntry::kContainer)
            continue;
        const QString copy = m_copies.WorkingCopyPath(ChildPath(folder, entry.diskName), WorkAreas::kEditing);
        if (!copy.isEmpty() && QFileInfo::exists(copy))
            return Report(kMsgFolderHasOpenItems, WithPath(QString(), folder, PathSeparator::Paragraph),
                          Icon::Warning);
    }
    if (!QDir().mkpath(target))
        return Report(kMsgExportCopyFailed, QFileInfo(folder).fileName() + QStringLiteral("\n\n") + folder + u'\n' +
                                                target);
    for (const NameEntry& entry : entries) {
        const QString child = ChildPath(folder, entry.diskName);
        QString staged;
        if (entry.kind == NameEntry::kFolder && ExportFolderTree(child, ChildPath(target, entry.diskName), nameAfterPlain) != 0)
            return -1;
        if (entry.kind == NameEntry::kContainer &&
            ExportContainer(child, target, entry.displayName, nameAfterPlain, staged) != 0)
            return -1;
    }
    return 0;
}

// Named after the plain file ("name.ext.zorf") or with its own GUID name. Two plain files of one name in
// a folder cannot both have the plain name: the second keeps its GUID name.
int CTakeOut::ExportContainer(const QString& container, const QString& targetFolder, const QString& plainName,
                              bool nameAfterPlain, QString& staged) {
    const QString diskName = QFileInfo(container).fileName();
    QString name = nameAfterPlain ? SafeName(plainName, QString()) : QString();
    name = name.isEmpty() ? diskName : name + QStringLiteral(".zorf");
    if (QFileInfo::exists(ChildPath(targetFolder, name)))
        name = diskName;
    staged = ChildPath(targetFolder, name);
    QDir().mkpath(targetFolder);
    qint64 done = 0;
    if (CopyBytes(container, staged, done, QFileInfo(container).size()) != 0)
        return Report(kMsgExportCopyFailed, plainName + QStringLiteral("\n\n") + container + u'\n' + staged);
    m_files.SetModificationTime(staged, QFileInfo(container).lastModified().toSecsSinceEpoch());
    if (m_settings.outReadOnlyFlg == 1)
        m_files.SetReadOnly(staged);
    else
        m_files.MakeWritable(staged);
    return 0;
}

// ---- kinds 3 and 5 ----

int CTakeOut::StageNewPassword(const QStringList& selection, bool nameAfterPlain,
                               const TakeOutPrompts::NewPassword& key) {
    if (StageDecryptedItems(selection, false) != 0)
        return -1;
    QString keyName;
    if (m_engine.RegisterTempKey(key.password, key.hint, keyName) != 0)
        return -1;
    const QList<TakeOutItem> decrypted = m_items;
    m_items.clear();
    const QString exportFolder = ExportFolder(m_root);
    int rc = 0;
    for (const TakeOutItem& item : decrypted) {
        TakeOutItem staged = item;
        if (item.folder) {
            staged.staged = exportFolder + item.source.mid(m_root.size());
            rc = EncryptTree(item.staged, staged.staged, nameAfterPlain);
        } else {
            rc = EncryptOne(item.staged, exportFolder + RelativeDirectory(item.source), nameAfterPlain, staged.staged);
        }
        if (rc != 0)
            break;
        m_items.append(staged);
    }
    m_engine.ReleaseKey(CCryptEngine::kTempKeyName);
    // The plaintext has done its work: it goes now rather than waiting for the window to close.
    if (EmptyArea(TakeOutArea(m_root), true, kMsgCopyNotRemoved, kMsgCopyFolderNotRemoved) != 0)
        rc = -1;
    return rc;
}

int CTakeOut::EncryptTree(const QString& plain, const QString& target, bool nameAfterPlain) {
    if (!QDir().mkpath(target))
        return Report(kMsgExportCopyFailed, QFileInfo(plain).fileName() + QStringLiteral("\n\n") + plain + u'\n' +
                                                target);
    for (const QFileInfo& entry : QDir(plain).entryInfoList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot,
                                                             QDir::Name)) {
        QString staged;
        const int rc = entry.isDir() ? EncryptTree(entry.absoluteFilePath(), ChildPath(target, entry.fileName()), nameAfterPlain)
                                     : EncryptOne(entry.absoluteFilePath(), target, nameAfterPlain, staged);
        if (rc != 0)
            return -1;
    }
    return 0;
}

int CTakeOut::EncryptOne(const QString& plain, const QString& targetFolder, bool nameAfterPlain, QString& staged) {
    const QString container = m_containerOf.value(plain);
    if (container.isEmpty())
        return 0; // not a decrypted container
    QDir().mkpath(targetFolder);
    QString name = nameAfterPlain ? QFileInfo(plain).fileName() + QStringLiteral(".zorf") : QFileInfo(container).fileName();
    if (QFileInfo::exists(ChildPath(targetFolder, name)) && m_engine.MakeContainerName(targetFolder, name) != 0)
        return -1;
    staged = ChildPath(targetFolder, name);
    if (m_engine.EncryptFile(plain, staged, CCryptEngine::kTempKeyName) != kOk)
        return -1;
    if (m_settings.outReadOnlyFlg == 1)
        m_files.SetReadOnly(staged);
    else
        m_files.MakeWritable(staged);
    return 0;
}

// ---- kind 6 ----

int CTakeOut::StagePlainFiles(const QStringList& selection) {
    // A link is taken out as nothing: what it points to is not the folder's.
    const auto leftReported = qScopeGuard([this] {
        if (!m_leftAsTheyAre.isEmpty())
            Report(kMsgLeftAsTheyAre, m_leftAsTheyAre.join(u'\n'), Icon::Information);
    });
    for (const QString& item : selection) {
        TakeOutItem staged;
        staged.source = staged.staged = CleanPath(item);
        if (!QFileInfo::exists(staged.source))
            return Report(kMsgItemMissing, WithPath(QString(), staged.source, PathSeparator::Paragraph), Icon::Warning);
        if (!IsPlainItem(staged.source)) {
            m_leftAsTheyAre.append(staged.source);
            continue;
        }
        if ((QFileInfo(staged.source).permissions() & QFile::WriteOwner) == 0) {
            if (m_files.MakeWritable(staged.source) != 0)
                return Report(kMsgWritableFailed, WithPath(QString(), staged.source, PathSeparator::Paragraph));
            m_madeWritable.append(staged.source);
        }
        m_items.append(staged);
    }
    return 0;
}

// ---- the window ----

int CTakeOut::ShowWindow(TakeOutKind kind) {
    TakeOutWindowRequest request;
    request.kind = kind;
    request.items = m_items;
    request.dragOnly = kind == TakeOutKind::kMail || kind == TakeOutKind::kMailNewPassword;
    switch (kind) {
    case TakeOutKind::kDecrypted:
        request.title = m_messages.MsgA(kMsgTitleDecrypted);
        break;
    case TakeOutKind::kEncrypted:
        request.title = m_messages.MsgA(kMsgTitleEncrypted);
        break;
    case TakeOutKind::kNewPassword:
        request.title = m_messages.MsgA(kMsgTitleNewPassword);
        break;
    case TakeOutKind::kMail:
        request.title = m_messages.MsgA(kMsgTitleMail);
        request.hint = m_messages.MsgA(kMsgHintMail);
        break;
    case TakeOutKind::kMailNewPassword:
        request.title = m_messages.MsgA(kMsgTitleMailNewPassword);
        request.hint = m_messages.MsgA(kMsgHintMailNewPassword);
        break;
    case TakeOutKind::kAsTheyAre:
        request.title = QStringLiteral("取り出し");
        break;
    }
    for (const TakeOutItem& item : m_items)
        if (!QFileInfo::exists(item.staged))
            return Report(kMsgStagedMissing, WithPath(QString(), item.staged, PathSeparator::Paragraph), Icon::Warning);
    const int result = m_prompts.ShowTakeOutWindow(request, *this);
    return result == TakeOutPrompts::kCancelled ? -1 : 0;
}

bool CTakeOut::MoveTargetRefused(const QString& target) const {
    return !m_root.isEmpty() && IsWithinResolved(target, m_root);
}

int CTakeOut::CopyOut(const QStringList& staged, const QString& target, bool move) {
    if (move && MoveTargetRefused(target)) {
        m_ui.Message(MoveRefusedText(), Icon::Warning);
        return 1;
    }
    m_stopped = false;
    qint64 total = 0;
    for (const QString& item : staged)
        total += TreeSize(item);
    qint64 done = 0;
    for (const QString& item : staged) {
        if (CopyTree(item, ChildPath(CleanPath(target), QFileInfo(item).fileName()), move, done, total) != 0)
            return -1;
        for (TakeOutItem& entry : m_items)
            if (entry.staged == item)
                entry.result = move ? QStringLiteral("moved") : QStringLiteral("copied");
    }
    return 0;
}

// Our own copy: a folder is merged into one of the same name, an existing file is replaced only after the
// question. A move renames where it can and otherwise copies and removes the source.
int CTakeOut::CopyTree(const QString& from, const QString& to, bool move, qint64& done, qint64 total) {
    const QFileInfo source(from);
    if (!source.exists())
        return Report(kMsgStagedMissing, WithPath(QString(), from, PathSeparator::Paragraph), Icon::Warning);
    if (source.isDir() && !source.isSymLink()) {
        if (QFileInfo(to).exists() && !QFileInfo(to).isDir())
            return Report(kMsgCopyOutFailed, WithPath(QString(), to, PathSeparator::Paragraph));
        if (!QFileInfo::exists(to) && move && m_files.Rename(from, to) == 0) {
            done += TreeSize(to);
            return 0;
        }
        if (!QDir().mkpath(to))
            return Report(kMsgCopyOutFailed, WithPath(QString(), to, PathSeparator::Paragraph));
        for (const QFileInfo& entry :
             QDir(from).entryInfoList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot))
            if (CopyTree(entry.absoluteFilePath(), ChildPath(to, entry.fileName()), move, done, total) != 0)
                return -1;
        if (move)
            QDir().rmdir(from);
        return 0;
    }
    if (QFileInfo::exists(to)) {
        if (QFileInfo(to).isDir())
            return Report(kMsgCopyOutFailed, WithPath(QString(), to, PathSeparator::Paragraph));
        if (m_ui.Message(m_messages.MsgA(kMsgReplaceQuestion) + to, Icon::Question, Buttons::YesNo, kAnswerNo,
                         kMsgReplaceQuestion) != kAnswerYes) {
            done += source.size();
            return 0;
        }
    }
    if (move && m_files.Rename(from, to) == 0) {
        done += source.size();
        return 0;
    }
    const QString temp = CCryptEngine::TempPathBeside(to, TempKind::Plain);
    if (CopyBytes(from, temp, done, total) != 0) {
        m_files.Remove(temp);
        // The user's own stop needs no message.
        return m_stopped ? -1 : Report(kMsgCopyOutFailed, WithPath(QString(), to, PathSeparator::Paragraph));
    }
    QFile::setPermissions(temp, source.permissions());
    m_files.SetModificationTime(temp, source.lastModified().toSecsSinceEpoch());
    if (const int rc = m_files.Rename(temp, to); rc != 0) {
        m_files.Remove(temp);
        return Report(kMsgCopyOutFailed, ErrnoText(rc) + QStringLiteral("\n\n") + to);
    }
    if (move) {
        QString error;
        // A moved decrypted copy leaves no plaintext behind in the take-out area.
        if (m_copies.EraseCopy(from, error) != 0)
            m_files.Remove(from);
    }
    return 0;
}

int CTakeOut::CopyBytes(const QString& from, const QString& to, qint64& done, qint64 total) {
    int error = 0;
    std::unique_ptr<File> in = m_files.Open(from, OpenMode::Read, error);
    if (!in)
        return -1;
    std::unique_ptr<File> out = m_files.Open(to, OpenMode::WriteTruncate, error);
    if (!out)
        return -1;
    std::vector<char> buffer(kPiece);
    for (;;) {
        const qint64 got = in->Read(buffer.data(), kPiece);
        if (got < 0 || (got > 0 && out->Write(buffer.data(), got) != got)) {
            out.reset();
            m_files.Remove(to);
            return -1;
        }
        if (got == 0)
            break;
        done += got;
        m_ui.Pump();
        if (m_ui.StopRequested() || (progress && !progress(done, total))) {
            m_stopped = true;
            out.reset();
            m_files.Remove(to);
            return -1;
        }
    }
    if (!out->Sync()) {
        out.reset();
        m_files.Remove(to);
        return -1;
    }
    return 0;
}

// ---- the drag ----

int CTakeOut::PrepareDragFiles(const QStringList& selection, bool decrypt, QStringList& paths) {
    paths.clear();
    m_items.clear();
    m_containerOf.clear();
    m_leftAsTheyAre.clear();
    m_root = selection.isEmpty() ? QString() : m_nameFile.OwningRoot(CleanPath(selection.first()));
    if (selection.isEmpty() || m_registry.SlotOf(m_root) < 0)
        return -1;
    if (CheckSelection(selection, false, decrypt) != 0)
        return -1;
    if (!decrypt) {
        for (const QString& item : selection)
            if (IsPlainItem(CleanPath(item)))
                paths.append(CleanPath(item));
        return 0;
    }
    QStringList items;
    for (const QString& item : selection) {
        if (!IsPlainItem(CleanPath(item)))
            continue;
        // A plain file of the folder is plain already: it goes as it is.
        if (QFileInfo(item).isFile() && !item.endsWith(QStringLiteral(".zorf"), Qt::CaseInsensitive))
            paths.append(CleanPath(item));
        else
            items.append(item);
    }
    if (StageDecryptedItems(items, true) != 0) {
        FinishDrag(m_root);
        paths.clear();
        return -1;
    }
    for (const TakeOutItem& item : m_items)
        paths.append(item.staged);
    return 0;
}

int CTakeOut::FinishDrag(const QString& shownFolder) {
    const QString root = shownFolder.isEmpty() ? m_root : m_nameFile.OwningRoot(CleanPath(shownFolder));
    const QString area = TakeOutArea(root);
    m_items.clear();
    m_containerOf.clear();
    if (area.isEmpty() || !QFileInfo::exists(area))
        return 0;
    return EmptyArea(area, true, kMsgCopyNotRemoved, kMsgCopyFolderNotRemoved);
}

// ---- new password ----

int CTakeOut::CheckNewPassword(const QString& password, const QString& hint) {
    if (password.size() < kMinPassword || password.size() > kMaxPassword)
        return Report(kMsgPasswordLength,
                      QStringLiteral("%1～%2").arg(kMinPassword).arg(kMaxPassword) + m_messages.MsgA(kMsgPasswordLengthTail),
                      Icon::Warning);
    if (CCryptEngine::CheckPasswordChars(password) != 0)
        return Report(kMsgPasswordChars, QString(), Icon::Warning);
    if (hint.size() > kMaxHint)
        return Report(kMsgHintTooLong, QString::number(kMaxHint) + m_messages.MsgA(kMsgHintTooLongTail), Icon::Warning);
    if (!hint.isEmpty() && hint == password)
        return Report(kMsgHintIsPassword, QString(), Icon::Warning);
    return 0;
}

// ---- cleanup ----

int CTakeOut::Cleanup() {
    int rc = 0;
    if (m_stagedDecrypted) {
        const QString area = TakeOutArea(m_root);
        if (!area.isEmpty() && QFileInfo::exists(area) &&
            EmptyArea(area, true, kMsgCopyNotRemoved, kMsgCopyFolderNotRemoved) != 0)
            rc = -1;
    }
    if (m_stagedExport) {
        const QString folder = ExportFolder(m_root);
        if (!folder.isEmpty() && QFileInfo::exists(folder) &&
            EmptyArea(folder, false, kMsgExportNotRemoved, kMsgExportFolderNotRemoved) != 0)
            rc = -1;
    }
    for (const QString& plain : m_madeWritable) {
        if (QFileInfo::exists(plain) && m_files.SetReadOnly(plain) != 0) {
            Report(kMsgReadOnlyFailed, WithPath(QString(), plain, PathSeparator::Paragraph));
            rc = -1;
        }
    }
    m_madeWritable.clear();
    m_stagedDecrypted = false;
    m_stagedExport = false;
    return rc;
}

// Everything below `area` goes, the area itself stays. Decrypted copies are wiped, containers deleted.
// `fileMessage` 0: the failure is not shown (the caller reports it).
int CTakeOut::EmptyArea(const QString& area, bool wipe, int fileMessage, int folderMessage) {
    // A link in the area's place goes as a link: what it points to is not ours, and the staging must
    // not write plaintext through it.
    if (KindOf(area) == ItemKind::Link) {
        const int rc = m_files.Remove(area);
        if (rc == 0 || fileMessage == 0)
            return rc == 0 ? 0 : -1;
        return Report(fileMessage, u'\n' + ErrnoText(rc) + QStringLiteral("\n\n") + area);
    }
    if (KindOf(area) != ItemKind::Folder)
        return 0;
    std::function<int(const QString&)> remove = [&](const QString& folder) {
        QFile::setPermissions(folder, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        const QFileInfoList entries =
            QDir(folder).entryInfoList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot);
        for (const QFileInfo& entry : entries) {
            const QString path = entry.absoluteFilePath();
            if (entry.isDir() && !entry.isSymLink()) {
                if (remove(path) != 0)
                    return -1;
                if (!QDir().rmdir(path))
                    return folderMessage == 0 ? -1
                                              : Report(folderMessage, WithPath(QString(), path, PathSeparator::Paragraph));
                continue;
            }
            QString error;
            int rc = 0;
            if (wipe && !entry.isSymLink()) {
                rc = m_engine.WipeAndDelete(path, error, true);
            } else {
                m_files.MakeWritable(path);
                if (const int removed = m_files.Remove(path); removed != 0) {
                    rc = -1;
                    error = ErrnoText(removed) + QStringLiteral("\n\n") + path;
                }
            }
            if (rc != 0)
                return fileMessage == 0 ? -1 : Report(fileMessage, u'\n' + error);
        }
        return 0;
    };
    return remove(area);
}

} // namespace korimbo
