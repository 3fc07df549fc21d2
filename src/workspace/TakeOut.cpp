#include "workspace/TakeOut.h"

#include "state/WorkAreas.h"
#include "util/BusySection.h"
#include "util/ErrorText.h"
#include "util/FileCopy.h"
#include "util/FileNames.h"
#include "util/MessageNumbers.h"
#include "util/MessageText.h"
#include "util/PathIdentity.h"
#include "util/TreeWalk.h"
#include "workspace/TakeOutCopy.h"

#include <QFileInfo>
#include <QScopeGuard>

#include <algorithm>
#include <utility>

namespace korimbo {

namespace {

constexpr int kMinPassword = 8;
constexpr int kMaxPassword = 32;
constexpr int kMaxHint = 48;

// A real file or folder: a link is never followed (one to an ancestor or to "/" would run away), and a
// pipe or a device is never opened.
bool IsPlainItem(const QString& path) {
    const ItemKind kind = KindOf(path);
    return kind == ItemKind::File || kind == ItemKind::Folder;
}

// The catalogue numbers of the window's title and hint (0: none; kind 6 has a fixed title).
std::pair<int, int> WindowTexts(TakeOutKind kind) {
    static const QHash<TakeOutKind, std::pair<int, int>> kTexts{
        {TakeOutKind::kDecrypted, {msg::kTitleDecrypted, 0}},
        {TakeOutKind::kEncrypted, {msg::kTitleEncrypted, 0}},
        {TakeOutKind::kNewPassword, {msg::kTitleNewPassword, 0}},
        {TakeOutKind::kMail, {msg::kTitleMail, msg::kHintMail}},
        {TakeOutKind::kMailNewPassword, {msg::kTitleMailNewPassword, msg::kHintMailNewPassword}}};
    return kTexts.value(kind, {0, 0});
}

} // namespace

QString CTakeOut::MoveRefusedText() {
    return QStringLiteral(
        "現在の暗号フォルダー内に移動はできません。\n取り出し画面では暗号フォルダーの外へ取り出してください。");
}

CTakeOut::CTakeOut(CWorkingCopies& copies, const FolderServices& s, TakeOutPrompts& prompts)
    : m_copies(copies), m_engine(s.engine), m_registry(s.registry), m_nameFile(s.nameFile), m_settings(s.settings),
      m_workFolder(s.workFolder), m_files(s.files), m_ui(s.ui), m_messages(s.messages), m_prompts(prompts), m_areas(s) {
}

int CTakeOut::Report(int number, const QString& tail, Icon icon) {
    return ReportMessage(m_ui, m_messages, number, tail, icon);
}

OpResult CTakeOut::Fail(int number, const QString& tail, Icon icon) {
    Report(number, tail, icon);
    return OpResult::kFailed;
}

QString CTakeOut::RelativeDirectory(const QString& path) const {
    return QFileInfo(path).absolutePath().mid(m_root.size());
}

// Staging copies keep the window alive, and the user's stop ends them.
CopyOptions CTakeOut::StagingCopy(TempKind temp) {
    CopyOptions options;
    options.temp = temp;
    options.progress = [this](qint64) {
        m_ui.Pump();
        return !m_ui.StopRequested();
    };
    return options;
}

// ---- the command ----

OpResult CTakeOut::Run(TakeOutKind kind, const QStringList& selection) {
    m_items.clear();
    m_containerOf.clear();
    m_madeWritable.clear();
    m_leftAsTheyAre.clear();
    m_unreadable.clear();
    m_stagedDecrypted = false;
    m_stagedExport = false;
    m_root = selection.isEmpty() ? QString() : m_nameFile.OwningRoot(CleanPath(selection.first()));
    if (selection.isEmpty() || m_registry.SlotOf(m_root) < 0)
        return OpResult::kFailed;
    const BusySection section(busy);
    int rc = RunKind(kind, selection);
    // Staging never outlives the command, whatever ended it.
    if (Cleanup() != 0)
        rc = -1;
    if (refreshContents)
        refreshContents();
    return rc == 0 ? OpResult::kDone : OpResult::kFailed;
}

int CTakeOut::RunKind(TakeOutKind kind, const QStringList& selection) {
    if (kind == TakeOutKind::kAsTheyAre) {
        if (StagePlainFiles(selection) != 0)
            return -1;
        return ShowWindow(kind);
    }
    const bool decrypting = kind != TakeOutKind::kEncrypted;
    if (CheckSelection(selection, true, decrypting) != OpResult::kDone)
        return -1;
    switch (kind) {
    case TakeOutKind::kDecrypted:
    case TakeOutKind::kMail:
        if (StageDecryptedItems(selection, true) != 0)
            return -1;
        break;
    case TakeOutKind::kEncrypted: {
        if (PrepareExportFolder() != 0)
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
        if (PrepareExportFolder() != 0)
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
OpResult CTakeOut::CheckSelection(const QStringList& selection, bool mayAsk, bool decrypting) {
    QList<QPair<QString, NameEntry>> containers;
    for (const QString& item : selection) {
        const QString path = CleanPath(item);
        if (!ItemExists(path))
            return Fail(msg::kSelectedItemMissing, WithPath(QString(), path, PathSeparator::Paragraph), Icon::Warning);
        if (!IsPlainItem(path)) {
            m_leftAsTheyAre.append(path);
        } else if (IsFolderItem(path)) {
            if (CollectContainers(path, containers) != 0)
                return OpResult::kFailed;
        } else if (path.endsWith(QStringLiteral(".zorf"), Qt::CaseInsensitive)) {
            NameEntry entry;
            entry.plainSize = TreeBytes(path); // near enough for the room check: compressed rarely grows
            containers.append({path, entry});
        }
    }
    ReportLeftBehind(); // said once: the staging walks pass them by without a word
    QStringList open;
    qint64 needed = 0;
    for (const auto& [container, entry] : containers) {
        needed += entry.plainSize;
        const QString copy = m_copies.WorkingCopyPath(container, WorkAreas::kEditing);
        if (copy.isEmpty())
            return OpResult::kFailed;
        if (!ItemExists(copy))
            continue;
        if (m_copies.IsInUse(copy) || !mayAsk)
            return Fail(msg::kOpenNotReleased,
                        WithPath(QString(), QFileInfo(copy).fileName(), PathSeparator::Paragraph), Icon::Warning);
        open.append(copy);
    }
    if (!open.isEmpty()) {
        if (m_ui.Message(m_messages.MsgA(msg::kReleaseCopiesQuestion), Icon::Question, Buttons::YesNo, kAnswerNo,
                         msg::kReleaseCopiesQuestion) != kAnswerYes)
            return OpResult::kFailed;
        for (const QString& copy : open)
            if (m_copies.WriteBackOne(copy) != OpResult::kDone)
                return OpResult::kFailed;
    }
    return !decrypting || m_areas.CheckRoomForCopies(needed) == 0 ? OpResult::kDone : OpResult::kFailed;
}

void CTakeOut::ReportLeftBehind() {
    if (!m_leftAsTheyAre.isEmpty())
        Report(msg::kLeftAsTheyAre, m_leftAsTheyAre.join(u'\n'), Icon::Information);
    if (!m_unreadable.isEmpty())
        Report(msg::kFoldersUnread, m_unreadable.join(u'\n'), Icon::Information);
    m_leftAsTheyAre.clear();
    m_unreadable.clear();
}

int CTakeOut::CollectContainers(const QString& folder, QList<QPair<QString, NameEntry>>& containers) {
    // Links, special files and what cannot be read stay, said once (the name file lists neither a link that
    // leads nowhere nor a folder it cannot read).
    QStringList onDisk;
    if (!EntriesOf(folder, onDisk)) {
        m_unreadable.append(folder);
        return 0;
    }
    for (const QString& path : std::as_const(onDisk))
        if (!IsPlainItem(path))
            m_leftAsTheyAre.append(path);
    QList<NameEntry> entries;
    if (PlainEntriesOf(folder, entries) != 0)
        return -1;
    for (const NameEntry& entry : entries) {
        const QString child = ChildPath(folder, entry.diskName);
        if (entry.kind == NameEntry::kFolder && CollectContainers(child, containers) != 0)
            return -1;
        if (entry.kind == NameEntry::kContainer)
            containers.append({child, entry});
    }
    return 0;
}

// ---- kinds 1 and 4, and the decrypted half of kinds 3 and 5 ----

int CTakeOut::StageDecryptedItems(const QStringList& selection, bool plainToo) {
    m_stagedDecrypted = true;
    if (m_areas.PrepareTakeOutArea(m_root) != 0)
        return -1;
    for (const QString& item : selection) {
        TakeOutItem staged;
        staged.source = CleanPath(item);
        if (!IsPlainItem(staged.source))
            continue;
        if (StageDecrypted(staged.source, plainToo, staged.staged) != 0)
            return -1;
        staged.folder = IsFolderItem(staged.staged);
        m_items.append(staged);
    }
    return 0;
}

int CTakeOut::StageDecrypted(const QString& item, bool plainToo, QString& staged) {
    if (IsFolderItem(item)) {
        staged = TakeOutArea(m_root) + item.mid(m_root.size());
        return StageFolder(item, staged, plainToo);
    }
    if (m_copies.OpenOne(item, false, QString(), WorkAreas::kTakeOut, &staged) != OpResult::kDone)
        return -1;
    m_containerOf.insert(staged, item);
    m_areas.OpenUp(staged);
    return 0;
}

// The folder's structure comes along, empty subfolders too.
// Links and special files stay behind (named by the selection check). 0, or -1.
int CTakeOut::PlainEntriesOf(const QString& folder, QList<NameEntry>& entries) {
    if (m_nameFile.RefreshNameFile(folder, m_root) != 0 ||
        m_nameFile.LoadNameEntries(folder, m_root, true, entries) != 0)
        return -1;
    entries.removeIf([&](const NameEntry& entry) { return !IsPlainItem(ChildPath(folder, entry.diskName)); });
    return 0;
}

int CTakeOut::StageFolder(const QString& folder, const QString& target, bool plainToo) {
    if (const int rc = m_files.MakeFolderPath(target).error; rc != 0)
        return Report(msg::kExportCopyFailed, folder + u'\n' + ErrnoText(rc) + QStringLiteral("\n\n") + target);
    m_areas.OpenUp(target);
    QList<NameEntry> entries;
    if (PlainEntriesOf(folder, entries) != 0)
        return -1;
    for (const NameEntry& entry : entries) {
        const QString child = ChildPath(folder, entry.diskName);
        if (m_ui.StopRequested())
            return -1;
        if (entry.kind == NameEntry::kFolder) {
            if (StageFolder(child, ChildPath(target, entry.diskName), plainToo) != 0)
                return -1;
        } else if (entry.kind == NameEntry::kContainer) {
            QString copy;
            if (StageDecrypted(child, plainToo, copy) != 0)
                return -1;
        } else if (plainToo) {
            if (!CopyFileTo(m_files, child, ChildPath(target, entry.diskName), StagingCopy(TempKind::Plain)).Ok())
                return Report(msg::kExportCopyFailed, entry.diskName + QStringLiteral("\n\n") + child + u'\n' +
                                                          ChildPath(target, entry.diskName));
        }
    }
    return 0;
}

// ---- kind 2 ----

int CTakeOut::PrepareExportFolder() {
    m_stagedExport = true;
    return m_areas.PrepareExportFolder(m_root);
}

int CTakeOut::StageEncrypted(const QStringList& selection, bool nameAfterPlain) {
    const QString exportFolder = ExportFolder(m_root);
    for (const QString& item : selection) {
        TakeOutItem staged;
        staged.source = CleanPath(item);
        if (!IsPlainItem(staged.source))
            continue;
        if (IsFolderItem(staged.source)) {
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
    if (PlainEntriesOf(folder, entries) != 0)
        return -1;
    // A copy of a folder whose file is being edited would hand out the old contents.
    const bool editing = std::any_of(entries.cbegin(), entries.cend(), [&](const NameEntry& entry) {
        return entry.kind == NameEntry::kContainer &&
               ItemExists(m_copies.WorkingCopyPath(ChildPath(folder, entry.diskName), WorkAreas::kEditing));
    });
    if (editing)
        return Report(msg::kFolderHasOpenItems, WithPath(QString(), folder, PathSeparator::Paragraph), Icon::Warning);
    if (MakeExportFolder(folder, target) != 0)
        return -1;
    for (const NameEntry& entry : entries) {
        const QString child = ChildPath(folder, entry.diskName);
        QString staged;
        if (entry.kind == NameEntry::kFolder &&
            ExportFolderTree(child, ChildPath(target, entry.diskName), nameAfterPlain) != 0)
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
    QString name = nameAfterPlain ? UsableFileName(plainName, QString()) : QString();
    name = name.isEmpty() ? diskName : name + QStringLiteral(".zorf");
    if (ItemExists(ChildPath(targetFolder, name)))
        name = diskName;
    staged = ChildPath(targetFolder, name);
    if (m_files.MakeFolderPath(targetFolder).Failed() ||
        !CopyFileTo(m_files, container, staged, StagingCopy(TempKind::Sealed)).Ok())
        return Report(msg::kExportCopyFailed, plainName + QStringLiteral("\n\n") + container + u'\n' + staged);
    SetExportMode(staged);
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
    if (m_areas.EmptyTakeOutArea(m_root) != 0)
        rc = -1;
    return rc;
}

// The decrypted folder's structure again below `target`, each decrypted copy encrypted into its place.
int CTakeOut::EncryptTree(const QString& plain, const QString& target, bool nameAfterPlain) {
    int rc = MakeExportFolder(plain, target);
    if (rc != 0)
        return -1;
    WalkTree(plain, [&](const TreeEntry& entry) {
        const QString there = target + entry.path.mid(plain.size());
        QString staged;
        rc = entry.kind == ItemKind::Folder
                 ? MakeExportFolder(entry.path, there)
                 : EncryptOne(entry.path, QFileInfo(there).absolutePath(), nameAfterPlain, staged);
        return rc == 0 ? Visit::Continue : Visit::Stop;
    });
    return rc;
}

int CTakeOut::MakeExportFolder(const QString& folder, const QString& target) {
    if (m_files.MakeFolderPath(target).Ok())
        return 0;
    return Report(msg::kExportCopyFailed,
                  QFileInfo(folder).fileName() + QStringLiteral("\n\n") + folder + u'\n' + target);
}

int CTakeOut::EncryptOne(const QString& plain, const QString& targetFolder, bool nameAfterPlain, QString& staged) {
    const QString container = m_containerOf.value(plain);
    if (container.isEmpty())
        return 0; // not a decrypted container
    if (MakeExportFolder(plain, targetFolder) != 0)
        return -1;
    QString name =
        nameAfterPlain ? QFileInfo(plain).fileName() + QStringLiteral(".zorf") : QFileInfo(container).fileName();
    if (ItemExists(ChildPath(targetFolder, name)) && m_engine.MakeContainerName(targetFolder, name) != 0)
        return -1;
    staged = ChildPath(targetFolder, name);
    if (m_engine.EncryptFile(plain, staged, CCryptEngine::kTempKeyName) != kOk)
        return -1;
    SetExportMode(staged);
    return 0;
}

// OutReadOnlyFlg decides whether what is taken out encrypted is read-only.
void CTakeOut::SetExportMode(const QString& staged) {
    static_cast<void>(m_settings.outReadOnlyFlg == 1 ? m_files.SetReadOnly(staged) : m_files.MakeWritable(staged));
}

// ---- kind 6 ----

int CTakeOut::StagePlainFiles(const QStringList& selection) {
    // A link is taken out as nothing: what it points to is not the folder's.
    const auto leftReported = qScopeGuard([this] { ReportLeftBehind(); });
    for (const QString& item : selection) {
        TakeOutItem staged;
        staged.source = staged.staged = CleanPath(item);
        if (!ItemExists(staged.source))
            return Report(msg::kSelectedItemMissing, WithPath(QString(), staged.source, PathSeparator::Paragraph),
                          Icon::Warning);
        if (!IsPlainItem(staged.source)) {
            m_leftAsTheyAre.append(staged.source);
            continue;
        }
        if ((QFileInfo(staged.source).permissions() & QFile::WriteOwner) == 0) {
            if (m_files.MakeWritable(staged.source).Failed())
                return Report(msg::kPlainWritableFailed, WithPath(QString(), staged.source, PathSeparator::Paragraph));
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
    const auto [title, hint] = WindowTexts(kind);
    request.title = title != 0 ? m_messages.MsgA(title) : QStringLiteral("取り出し");
    if (hint != 0)
        request.hint = m_messages.MsgA(hint);
    for (const TakeOutItem& item : m_items)
        if (!ItemExists(item.staged))
            return Report(msg::kStagedMissing, WithPath(QString(), item.staged, PathSeparator::Paragraph),
                          Icon::Warning);
    const TakeOutPrompts::WindowResult result = m_prompts.ShowTakeOutWindow(request, *this);
    return result == TakeOutPrompts::WindowResult::kCancelled ? -1 : 0;
}

bool CTakeOut::MoveTargetRefused(const QString& target) const {
    return !m_root.isEmpty() && IsWithinResolved(target, m_root);
}

OpResult CTakeOut::CopyOut(const QStringList& staged, const QString& target, bool move) {
    if (move && MoveTargetRefused(target)) {
        m_ui.Message(MoveRefusedText(), Icon::Warning);
        return OpResult::kDeclined;
    }
    CTakeOutCopy copy(m_copies, m_files, m_ui, m_messages, staged, move, progress);
    for (const QString& item : staged) {
        if (copy.CopyItem(item, ChildPath(CleanPath(target), QFileInfo(item).fileName())) != 0)
            return OpResult::kFailed;
        for (TakeOutItem& entry : m_items)
            if (entry.staged == item)
                entry.result = move ? QStringLiteral("moved") : QStringLiteral("copied");
    }
    return OpResult::kDone;
}

// ---- the drag ----

OpResult CTakeOut::PrepareDragFiles(const QStringList& selection, bool decrypt, QStringList& paths) {
    paths.clear();
    m_items.clear();
    m_containerOf.clear();
    m_leftAsTheyAre.clear();
    m_unreadable.clear();
    m_root = selection.isEmpty() ? QString() : m_nameFile.OwningRoot(CleanPath(selection.first()));
    if (selection.isEmpty() || m_registry.SlotOf(m_root) < 0)
        return OpResult::kFailed;
    if (CheckSelection(selection, false, decrypt) != OpResult::kDone)
        return OpResult::kFailed;
    if (!decrypt) {
        for (const QString& item : selection)
            if (IsPlainItem(CleanPath(item)))
                paths.append(CleanPath(item));
        return OpResult::kDone;
    }
    QStringList items;
    for (const QString& item : selection) {
        if (!IsPlainItem(CleanPath(item)))
            continue;
        // A plain file of the folder is plain already: it goes as it is.
        if (KindOf(item) == ItemKind::File && !item.endsWith(QStringLiteral(".zorf"), Qt::CaseInsensitive))
            paths.append(CleanPath(item));
        else
            items.append(item);
    }
    if (StageDecryptedItems(items, true) != 0) {
        static_cast<void>(FinishDrag(m_root));
        paths.clear();
        return OpResult::kFailed;
    }
    for (const TakeOutItem& item : m_items)
        paths.append(item.staged);
    return OpResult::kDone;
}

OpResult CTakeOut::FinishDrag(const QString& shownFolder) {
    const QString root = shownFolder.isEmpty() ? m_root : m_nameFile.OwningRoot(CleanPath(shownFolder));
    m_items.clear();
    m_containerOf.clear();
    return m_areas.EmptyTakeOutArea(root) == 0 ? OpResult::kDone : OpResult::kFailed;
}

// ---- new password ----

bool CTakeOut::CheckNewPassword(const QString& password, const QString& hint) {
    int refusal = 0;
    QString tail;
    if (password.size() < kMinPassword || password.size() > kMaxPassword) {
        refusal = msg::kPasswordLength;
        tail = QStringLiteral("%1～%2").arg(kMinPassword).arg(kMaxPassword) + m_messages.MsgA(msg::kPasswordLengthTail);
    } else if (!CCryptEngine::HasAllowedPasswordChars(password)) {
        refusal = msg::kPasswordChars;
    } else if (hint.size() > kMaxHint) {
        refusal = msg::kHintTooLong;
        tail = QString::number(kMaxHint) + m_messages.MsgA(msg::kHintTooLongTail);
    } else if (!hint.isEmpty() && hint == password) {
        refusal = msg::kHintIsPassword;
    }
    if (refusal != 0)
        Report(refusal, tail, Icon::Warning);
    return refusal == 0;
}

// ---- cleanup ----

int CTakeOut::Cleanup() {
    int rc = 0;
    if (m_stagedDecrypted && m_areas.EmptyTakeOutArea(m_root) != 0)
        rc = -1;
    if (m_stagedExport && m_areas.EmptyExportFolder(m_root) != 0)
        rc = -1;
    for (const QString& plain : m_madeWritable) {
        if (ItemExists(plain) && m_files.SetReadOnly(plain).Failed()) {
            Report(msg::kPlainReadOnlyFailed, WithPath(QString(), plain, PathSeparator::Paragraph));
            rc = -1;
        }
    }
    m_madeWritable.clear();
    m_stagedDecrypted = false;
    m_stagedExport = false;
    return rc;
}

} // namespace korimbo
