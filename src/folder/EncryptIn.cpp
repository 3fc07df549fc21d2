#include "folder/EncryptIn.h"

#include "crypto/MessageNumbers.h"
#include "folder/ParkedFiles.h"
#include "state/WorkAreas.h"
#include "util/DisplayText.h"
#include "util/EditorFiles.h"
#include "util/ErrorText.h"
#include "util/FileNames.h"
#include "util/MessageText.h"
#include "util/PathIdentity.h"

#include <QDateTime>
#include <QDir>
#include <QFileInfo>

#include <algorithm>
#include <cerrno>
#include <dirent.h>
#include <sys/stat.h>
#include <vector>

namespace korimbo {

namespace {

// Messages inside a folder that is being taken in.
constexpr int kMsgFolderCreate = 20;
constexpr int kMsgNewerInFolder = 21;
constexpr int kMsgNoticeInFolderHead = 22;
constexpr int kMsgNoticeInFolderTail = 23;
constexpr int kMsgNoRootInFolder = 24;
constexpr int kMsgCopySizeInFolder = 25;
constexpr int kMsgEncryptSizeInFolder = 26;
// Messages of the sources themselves.
constexpr int kMsgSameSourceName = 27;
constexpr int kMsgNoRoot = 57;
constexpr int kMsgFileNamedLikeFolder = 58;
constexpr int kMsgInUse = 60;
constexpr int kMsgWorkingCopyTail = 61;
constexpr int kMsgWorkingCopy = 62;
constexpr int kMsgFolderDelete = 63;
constexpr int kMsgSourceFolderHead = 64;
constexpr int kMsgSourceFolderTail = 65;
constexpr int kMsgNotFileOrFolder = 66;
constexpr int kMsgNewer = 67;
constexpr int kMsgNoticeHead = 68;
constexpr int kMsgNoticeTail = 69;
constexpr int kMsgPlainSameName = 70;
constexpr int kMsgFolderSameName = 71;
constexpr int kMsgOpenInWorkspace = 73;
constexpr int kMsgCopySize = 74;
constexpr int kMsgEncryptSize = 75;
constexpr int kMsgSourceNotDeleted = 76;
constexpr int kMsgSourceGone = 77;
constexpr int kMsgOtherPassword = 78;
constexpr int kMsgTooManyTries = 79;
constexpr int kMsgWrongPassword = 80;
constexpr int kMsgNoWorkSpace = 82;
constexpr int kMsgPlainCopyLeft = 83;
constexpr int kMsgStopped = 105;
// "暗号化する(&U)".
constexpr int kMsgPlainQuestion = 115;
constexpr int kMsgPlainCheck = 116;
constexpr int kMsgPlainTempFolder = 117;
constexpr int kMsgPlainMove = 118;
constexpr int kMsgAttributes = 275;
constexpr int kMsgReadOnlyFolder = 316;
constexpr int kMsgSkippedHead = 644;
constexpr int kMsgSkippedTail = 645;
constexpr int kMsgSourceChangedKept = 701;
constexpr int kMsgLeftAsTheyAre = 720;
constexpr int kMsgUnreadableFolders = 721;
constexpr int kMsgSpecialSkipped = 740;

constexpr int kMaxPasswordTries = 5;
constexpr qint64 kFreeSpaceMargin = 4096;

QString Quoted(const QString& name) {
    return QStringLiteral("「") + name + QStringLiteral("」");
}

// What a source is, told without opening it (links followed, except for a folder's own).
enum class SourceKind { kOther, kFolder, kFile, kSpecial };
SourceKind SourceKindOf(const QString& path) {
    struct stat st {};
    const QByteArray native = NativePath(path);
    if (::lstat(native.constData(), &st) != 0)
        return SourceKind::kOther;
    if (S_ISDIR(st.st_mode))
        return SourceKind::kFolder;
    if (S_ISLNK(st.st_mode) && ::stat(native.constData(), &st) != 0)
        return SourceKind::kOther;
    if (S_ISREG(st.st_mode))
        return SourceKind::kFile;
    const bool special = S_ISFIFO(st.st_mode) || S_ISSOCK(st.st_mode) || S_ISCHR(st.st_mode) || S_ISBLK(st.st_mode);
    return special ? SourceKind::kSpecial : SourceKind::kOther;
}

// Modification time as the container reader shows a stored one, so that a plain file and a container
// can be compared.
QString ModifiedText(const QString& path) {
    return QFileInfo(path).lastModified().toLocalTime().toString(QStringLiteral("yyyy/MM/dd hh:mm:ss"));
}

} // namespace

CEncryptIn::CEncryptIn(const FolderServices& s, EncryptInPrompts& prompts)
    : m_engine(s.engine), m_registry(s.registry), m_nameFile(s.nameFile), m_access(s.access), m_settings(s.settings),
      m_workFolder(s.workFolder), m_files(s.files), m_ui(s.ui), m_messages(s.messages), m_prompts(prompts) {}

int CEncryptIn::Report(int number, const QString& tail, Icon icon) {
    return ReportMessage(m_ui, m_messages, number, tail, icon);
}

void CEncryptIn::SetBusy(bool on) const {
    if (busy)
        busy(on);
}

// The stop command, honoured between sources and between files.
bool CEncryptIn::Stopped() {
    if (!m_ui.StopRequested())
        return false;
    Report(kMsgStopped, QString(), Icon::Information);
    return true;
}

QString CEncryptIn::CreationArea() const {
    const int slot = m_registry.SlotOf(m_key);
    return slot < 0 ? QString()
                    : WorkAreas::AreaOf(m_workFolder.RootOf(WorkAreas::kCreation), m_registry.WorkIdText(slot),
                                        WorkAreas::kCreation);
}

int CEncryptIn::Run(EncryptInRequest& request) {
    m_overwriteAllFiles = false;
    m_overwriteAllFolders = false;
    m_showEncryptedNotice = true;
    m_namesWritten.clear();
    m_skippedIdentical = 0;
    m_sourcesKeptChanged.clear();
    m_leftAsTheyAre.clear();
    m_unreadableFolders.clear();
    m_entries.clear();
    m_byName.clear();
    request.folderIncluded = false;

    SetBusy(true);
    const QString root = m_nameFile.OwningRoot(CleanPath(request.destination));
    const int slot = m_registry.SlotOf(root);
    if (slot >= 0 && m_registry.ReadOnlyText(slot) == QStringLiteral("1")) {
        Report(kMsgReadOnlyFolder, QString(), Icon::Warning);
        SetBusy(false);
        return -1;
    }
    const int rc = Operate(request);
    m_ui.SetStatusText(QString());
    if (clearUndo)
        clearUndo();
    if (m_settings.outsideReWriteSkipFlg == 1 && m_skippedIdentical > 0) {
        m_ui.Message(m_messages.MsgA(kMsgSkippedHead) + QString::number(m_skippedIdentical) +
                         m_messages.MsgA(kMsgSkippedTail),
                     Icon::Information, Buttons::Ok, 0, kMsgSkippedHead);
    }
    SetBusy(false);
    return rc;
}

int CEncryptIn::Operate(EncryptInRequest& request) {
    m_destination = CleanPath(request.destination);
    m_key = m_nameFile.OwningRoot(m_destination);
    if (m_key.isEmpty())
        return Report(kMsgNoRoot, m_destination);
    if (m_nameFile.RefreshNameFile(m_destination, m_key) != 0 ||
        m_nameFile.LoadNameEntries(m_destination, m_key, true, m_entries) != 0)
        return -1;
    m_byName.clear();
    for (qsizetype i = 0; i < m_entries.size(); ++i)
        m_byName.insert(m_entries.at(i).displayName, i);
    m_singleItem = request.sources.size() == 1;
    m_replaceTarget = request.replaceTarget.isEmpty() ? QString() : QFileInfo(request.replaceTarget).fileName();
    const bool move = request.mode == EncryptInRequest::kMove;

    Step step = kNext;
    for (const QString& raw : request.sources) {
        m_ui.Pump();
        if (Stopped()) {
            step = kEnd;
            break;
        }
        const QString source = CleanPath(raw);
        QString unused;
        if (m_access.CheckAccess(source, 1, unused) != 0) {
            step = kStop;
            break;
        }
        const SourceKind kind = SourceKindOf(source);
        if (kind == SourceKind::kFolder) {
            request.folderIncluded = true;
            step = FolderSteps(source, m_destination, move);
        } else if (kind == SourceKind::kFile) {
            step = FileSteps(source, m_destination, true, move);
        } else if (kind == SourceKind::kSpecial) {
            step = SkipSpecial(source);
        } else {
            Report(kMsgNotFileOrFolder, WithPath(QString(), source, PathSeparator::Line));
            step = kStop;
        }
        if (step == kStop || step == kEnd)
            break;
        if (Stopped()) {
            step = kEnd;
            break;
        }
    }
    const int refreshed = m_nameFile.RefreshNameFile(m_destination, m_key);
    ReportLeftBehind();
    return step == kStop || step == kEnd || refreshed != 0 ? -1 : 0;
}

// What a folder source held that was not taken in, said once at the end of the run.
void CEncryptIn::ReportLeftBehind() {
    if (!m_leftAsTheyAre.isEmpty())
        Report(kMsgLeftAsTheyAre, m_leftAsTheyAre.join(u'\n'), Icon::Warning);
    if (!m_unreadableFolders.isEmpty())
        Report(kMsgUnreadableFolders, m_unreadableFolders.join(u'\n'), Icon::Warning);
}

// ---- folders ----

CEncryptIn::Step CEncryptIn::FolderSteps(const QString& source, const QString& destination, bool move) {
    const QString name = QFileInfo(source).fileName();
    const QString target = ChildPath(destination, name);
    // A folder dropped into itself or into a folder of its own would be walked while it grows, and one
    // whose old copy holds it (itself under another path, or a folder above it) would be deleted as its
    // own old copy. Both are judged on disk: the same folder has many paths through links and mounts.
    const ItemKind existing = KindOf(target);
    if (IsWithinResolved(destination, source) || (existing == ItemKind::Folder && IsWithinResolved(source, target))) {
        Report(kMsgNotFileOrFolder, WithPath(QString(), source, PathSeparator::Line));
        return kStop;
    }
    for (const NameEntry& entry : m_entries) {
        const bool file = entry.kind == NameEntry::kContainer || entry.kind == NameEntry::kPlain;
        if (file && entry.displayName == name) {
            Report(kMsgFileNamedLikeFolder, Quoted(name));
            return kStop;
        }
    }
    if (existing != ItemKind::Missing) {
        if (!m_overwriteAllFolders) {
            const OverwriteStep answer =
                StepForAnswer(m_prompts.AskFolderOverwrite(target, source), m_overwriteAllFolders);
            if (answer != OverwriteStep::kReplace)
                return answer == OverwriteStep::kSkip ? kSkipped : kEnd;
        }
        if (existing == ItemKind::Folder)
            return ReplaceFolder(source, target, move);
        if (const Step step = ClearFolder(target); step != kNext)
            return step;
    }
    if (!QDir().mkdir(target)) {
        Report(kMsgFolderCreate, WithPath(QString(), target, PathSeparator::Line));
        return kStop;
    }
    if (const Step step = FillFolder(source, target, move); step != kNext)
        return step;
    return move ? RemoveSourceFolder(source) : kNext;
}

// The new folder is filled beside the old one, which goes only once the new one is complete: a copy that
// stops or fails part-way leaves the old folder as it was. Nothing in the old folder may be in use, and
// none of its containers may be open in the decrypted workspace.
CEncryptIn::Step CEncryptIn::ReplaceFolder(const QString& source, const QString& target, bool move) {
    Tree old;
    ListTree(target, old);
    if (const Step free = CheckFree(old); free != kNext)
        return free;
    QString unique;
    UniqueNameText(false, unique);
    // Beside it and shown: a run cut short by a crash leaves it where the user finds it.
    const QString fresh = target + QStringLiteral(".~") + unique;
    if (!QDir().mkdir(fresh)) {
        Report(kMsgFolderCreate, WithPath(QString(), fresh, PathSeparator::Line));
        return kStop;
    }
    if (const Step filled = FillFolder(source, fresh, move); filled != kNext) {
        Tree made;
        ListTree(fresh, made);
        // A move that took sources in already keeps their containers: they take the old folder's place.
        if (move && !made.files.empty()) {
            if (RemoveTree(old) == kNext)
                m_files.Rename(fresh, target);
            return filled;
        }
        static_cast<void>(RemoveTree(made));
        return filled;
    }
    if (const Step removed = RemoveTree(old); removed != kNext)
        return removed;
    if (const int rc = m_files.Rename(fresh, target); rc != 0) {
        Report(kMsgFolderCreate, WithPath(ErrnoText(rc), fresh, PathSeparator::Line));
        return kStop;
    }
    return move ? RemoveSourceFolder(source) : kNext;
}

// A link in a folder's place is one item: the link goes, what it points to is never walked. Anything
// else that is not a folder stays, and the folder cannot be made.
CEncryptIn::Step CEncryptIn::ClearFolder(const QString& target) {
    if (const int rc = KindOf(target) == ItemKind::Link ? m_files.Remove(target) : ENOTDIR; rc != 0) {
        Report(kMsgFolderDelete, u'\n' + ErrnoText(rc) + QStringLiteral("\n\n") + target);
        return kStop;
    }
    return kNext;
}

// Everything below `folder`, links as items: files first, then the folders deepest first.
void CEncryptIn::ListTree(const QString& folder, Tree& tree) {
    const QFileInfoList list =
        QDir(folder).entryInfoList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot, QDir::Name);
    for (const QFileInfo& info : list) {
        if (KindOf(info.absoluteFilePath()) == ItemKind::Folder)
            ListTree(info.absoluteFilePath(), tree);
        else
            tree.files.push_back(info.absoluteFilePath());
    }
    tree.folders.push_back(folder);
}

CEncryptIn::Step CEncryptIn::CheckFree(const Tree& tree) {
    for (const QString& file : tree.files) {
        int error = 0;
        if (KindOf(file) == ItemKind::File && !m_files.Open(file, OpenMode::ReadWriteAlone, error) && error == EBUSY) {
            Report(kMsgInUse, WithPath(QString(), file, PathSeparator::Line));
            return kStop;
        }
        if (isOpenInWorkspace && isOpenInWorkspace(file)) {
            Report(kMsgWorkingCopy, m_messages.MsgA(kMsgWorkingCopyTail) + file);
            return kStop;
        }
    }
    return kNext;
}

CEncryptIn::Step CEncryptIn::RemoveTree(const Tree& tree) {
    for (const QString& file : tree.files) {
        m_files.MakeWritable(file);
        if (const int rc = m_files.Remove(file); rc != 0) {
            Report(kMsgFolderDelete, u'\n' + ErrnoText(rc) + QStringLiteral("\n\n") + file);
            return kStop;
        }
    }
    for (const QString& folder : tree.folders) {
        if (!QDir().rmdir(folder)) {
            Report(kMsgFolderDelete, WithPath(QString(), folder, PathSeparator::Line));
            return kStop;
        }
    }
    return kNext;
}

// The content of a source folder into its new target: files become containers, subfolders recurse.
// The target is new, so there is nothing to overwrite and no dialog.
CEncryptIn::Step CEncryptIn::FillFolder(const QString& source, const QString& target, bool move) {
    if (m_nameFile.OwningRoot(target).isEmpty()) {
        Report(kMsgNoRootInFolder, WithPath(QString(), target, PathSeparator::Line));
        return kStop;
    }
    // By the bytes of the names: one that is not UTF-8 (from a Windows ZIP) is taken in like any other.
    QStringList entries;
    static_cast<void>(EntriesOf(source, entries));
    for (const QString& path : entries) {
        m_ui.Pump();
        if (Stopped())
            return kEnd;
        const ItemKind kind = KindOf(path);
        Step step = kNext;
        if (kind == ItemKind::Folder) {
            QStringList inside;
            if (!EntriesOf(path, inside)) {
                m_unreadableFolders.append(path);
                continue;
            }
            const QString sub = ChildPath(target, ShownName(QFileInfo(path).fileName()));
            if (!QDir().mkdir(sub)) {
                Report(kMsgFolderCreate, WithPath(QString(), sub, PathSeparator::Line));
                return kStop;
            }
            step = FillFolder(path, sub, move);
        } else if (kind == ItemKind::File) {
            step = FileSteps(path, target, false, move);
        } else {
            // A link, a pipe, a socket or a device is not opened: it stays where it is, and is named at the end.
            m_leftAsTheyAre.append(path);
        }
        if (step == kStop || step == kEnd)
            return step;
    }
    return kNext;
}

// A pipe, socket or device has no contents to take in; reading one could wait for ever.
CEncryptIn::Step CEncryptIn::SkipSpecial(const QString& source) {
    Report(kMsgSpecialSkipped, WithPath(QString(), ShownName(source), PathSeparator::Paragraph), Icon::Warning);
    return kNext;
}

CEncryptIn::Step CEncryptIn::RemoveSourceFolder(const QString& source) {
    // Its files are gone by now; what is left are the folders, and whatever could not be taken in. A
    // folder holding what was left behind stays without a word more: that was named already.
    const auto holdsLeftItem = [this](const QString& folder) {
        const auto below = [&](const QString& left) { return IsWithinPath(left, folder); };
        return std::any_of(m_leftAsTheyAre.cbegin(), m_leftAsTheyAre.cend(), below) ||
               std::any_of(m_unreadableFolders.cbegin(), m_unreadableFolders.cend(), below);
    };
    std::vector<QString> folders;
    const std::function<void(const QString&)> walk = [&](const QString& folder) {
        const QFileInfoList list = QDir(folder).entryInfoList(QDir::Dirs | QDir::Hidden | QDir::NoDotAndDotDot);
        for (const QFileInfo& info : list)
            if (!info.isSymLink())
                walk(info.absoluteFilePath());
        folders.push_back(folder);
    };
    walk(source);
    for (const QString& folder : folders) {
        if (holdsLeftItem(folder))
            continue;
        if (!QDir().rmdir(folder)) {
            Report(kMsgSourceFolderHead, folder + m_messages.MsgA(kMsgSourceFolderTail));
            return kStop;
        }
    }
    return kNext;
}

// ---- files ----

CEncryptIn::Step CEncryptIn::FileSteps(const QString& source, const QString& directory, bool topLevel, bool move) {
    Incoming in;
    // A name that is not text is taken in as it is shown, its odd bytes as "%XX".
    const QString plainName = ShownName(QFileInfo(source).fileName());
    Step step = Classify(source, plainName, topLevel, in);
    // A container keeps the name stored in it: that is the name the folder will show.
    const QString name = in.status == kNotContainer ? plainName : StoredName(source, in.info);
    if (step == kNext)
        step = WriteFile(source, name, directory, topLevel, move, in);
    DropPlainCopy(in);
    return step;
}

CEncryptIn::Step CEncryptIn::Classify(const QString& source, const QString& name, bool topLevel, Incoming& in) {
    QString text;
    if (m_engine.CheckContainer(source, in.info, m_key, false, in.status, text) != 0) {
        Report(msg::kSourceOpen, WithPath(QString(), source, PathSeparator::Paragraph));
        return kStop;
    }
    switch (in.status) {
    case kNewerVersion:
        Report(topLevel ? kMsgNewer : kMsgNewerInFolder, name);
        return kStop;
    case kWrongPassword:
        return OpenWithOtherPassword(source, name, in);
    case kUsable:
        if (m_showEncryptedNotice) {
            const QString stored = StoredName(source, in.info);
            const QString notice =
                topLevel ? m_messages.MsgA(kMsgNoticeHead) + stored + m_messages.MsgA(kMsgNoticeTail)
                         : m_messages.MsgA(kMsgNoticeInFolderHead) + stored + m_messages.MsgA(kMsgNoticeInFolderTail);
            if (m_prompts.ShowAlreadyEncryptedNotice(notice))
                m_showEncryptedNotice = false;
        }
        return kNext;
    default:
        return kNext;
    }
}

// A container made with another password: its password is asked (five wrong tries end it), then it is
// decrypted into the folder's creation area, so that it can be encrypted with the folder's key.
CEncryptIn::Step CEncryptIn::OpenWithOtherPassword(const QString& source, const QString& name, Incoming& in) {
    if (m_ui.Message(m_messages.MsgA(kMsgOtherPassword) + name, Icon::Question, Buttons::YesNo, kAnswerNo,
                     kMsgOtherPassword) != kAnswerYes)
        return kEnd;
    QString key;
    for (int wrong = 0;;) {
        QString password;
        const int answer = m_prompts.AskContainerPassword(source, password);
        if (answer == 0)
            return kEnd;
        if (answer == 1 && CCryptEngine::KeepsPasswordRules(password)) {
            if (m_engine.RegisterTempKey(password, QString(), key) != 0)
                return kStop;
            int status = 0;
            QString text;
            ContainerInfo info;
            if (m_engine.CheckContainer(source, info, key, false, status, text) == 0 && status == kUsable) {
                in.info = info;
                break;
            }
            m_engine.ReleaseKey(key);
        }
        if (++wrong >= kMaxPasswordTries) {
            Report(kMsgTooManyTries, QString(), Icon::Warning);
            return kStop;
        }
        Report(kMsgWrongPassword, QString(), Icon::Warning);
    }

    const QString area = CreationArea();
    qint64 free = 0;
    if (area.isEmpty() || WorkAreas::MakePrivateFolder(area) != 0 ||
        (m_files.FreeBytes(area, free) == 0 && free < in.info.plainSize + kFreeSpaceMargin)) {
        m_engine.ReleaseKey(key);
        Report(kMsgNoWorkSpace, WithPath(QString(), area, PathSeparator::Line));
        return kStop;
    }
    QString unique;
    UniqueNameText(false, unique);
    // A folder of its own keeps the plain copy's name, which the new container takes over.
    const QString folder = ChildPath(area, unique);
    if (!QDir().mkdir(folder) ||
        !QFile::setPermissions(folder, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner)) {
        m_engine.ReleaseKey(key);
        Report(kMsgNoWorkSpace, WithPath(QString(), folder, PathSeparator::Line));
        return kStop;
    }
    in.plainFolder = folder;
    // The copy carries the stored name, which the new container takes over.
    const QString plain = ChildPath(folder, StoredName(source, in.info));
    const EngineResult rc = m_engine.DecryptFile(source, plain, key);
    m_engine.ReleaseKey(key);
    if (rc != kOk)
        return kStop;
    in.plainCopy = plain;
    return kNext;
}

// The decrypted copy is plaintext: it is wiped, not just deleted.
void CEncryptIn::DropPlainCopy(Incoming& in) {
    if (in.plainFolder.isEmpty())
        return;
    if (!in.plainCopy.isEmpty() && m_files.Exists(in.plainCopy)) {
        QString error;
        if (m_engine.WipeAndDelete(in.plainCopy, error, true) != 0)
            Report(kMsgPlainCopyLeft, error + in.plainCopy);
    }
    QDir().rmdir(in.plainFolder);
    in.plainCopy.clear();
    in.plainFolder.clear();
}

// The name stored in a container, when it can serve as a file name; the disk name otherwise (a stored
// name holding a slash or naming a folder step would lead the decrypted copy out of its place).
QString CEncryptIn::StoredName(const QString& source, const ContainerInfo& info) {
    const QString& name = info.name;
    if (name.isEmpty() || name == QStringLiteral(".") || name == QStringLiteral("..") || name.contains(u'/') ||
        name.contains(QChar(0)))
        return QFileInfo(source).fileName();
    return name;
}

bool CEncryptIn::Identical(const NameEntry& existing, const QString& source, const Incoming& in) const {
    if (in.status == kNotContainer) {
        return existing.plainSize == QFileInfo(source).size() && existing.modifiedAt == ModifiedText(source);
    }
    return existing.plainSize == in.info.plainSize && existing.modifiedAt == in.info.modifiedText;
}

CEncryptIn::Step CEncryptIn::WriteFile(const QString& source, const QString& name, const QString& directory,
                                       bool topLevel, bool move, Incoming& in) {
    const NameEntry* existing = nullptr;
    if (topLevel && !m_replaceTarget.isEmpty()) {
        // A write-back names its container: the working copy goes over it whatever its name file says
        // about other containers of the same name.
        for (const NameEntry& entry : m_entries)
            if (entry.kind == NameEntry::kContainer && entry.diskName == m_replaceTarget)
                existing = &entry;
    }
    const bool replacing = existing != nullptr;
    if (topLevel && !replacing) {
        if (m_namesWritten.contains(name)) {
            Report(kMsgSameSourceName, name);
            return kStop;
        }
        m_namesWritten.insert(name);
        const NameEntry* plain = nullptr;
        for (auto it = m_byName.constFind(name); it != m_byName.cend() && it.key() == name; ++it) {
            const NameEntry& entry = m_entries.at(it.value());
            if (entry.kind == NameEntry::kContainer)
                existing = &entry;
            else if (entry.kind == NameEntry::kPlain)
                plain = &entry;
        }
        if (!existing && plain) {
            Report(kMsgPlainSameName, name);
            return kStop;
        }
        if (QFileInfo(ChildPath(directory, name)).isDir()) {
            Report(kMsgFolderSameName, Quoted(name));
            return kStop;
        }
    }

    QString target;
    if (existing) {
        target = ChildPath(directory, existing->diskName);
        // A container of this folder dropped on itself (under any path) is already where it belongs.
        if (SameItem(m_files, target, source))
            return kSkipped;
        if (!m_overwriteAllFiles && !replacing) {
            if (m_settings.outsideReWriteSkipFlg == 1 && Identical(*existing, source, in)) {
                ++m_skippedIdentical;
                return kSkipped;
            }
            EncryptInPrompts::FileSide old{target, name, true, existing->plainSize, existing->modifiedAt};
            EncryptInPrompts::FileSide incoming{source, name, in.status != kNotContainer, 0, QString()};
            if (in.status == kNotContainer) {
                incoming.size = QFileInfo(source).size();
                FileTimeText(source, 1, incoming.time);
            } else {
                incoming.size = in.info.plainSize;
                incoming.time = in.info.modifiedText;
            }
            const OverwriteStep answer =
                StepForAnswer(m_prompts.AskFileOverwrite(old, incoming, m_singleItem), m_overwriteAllFiles);
            if (answer != OverwriteStep::kReplace)
                return answer == OverwriteStep::kSkip ? kSkipped : kEnd;
        }
        if (!replacing && isOpenInWorkspace && isOpenInWorkspace(target)) {
            Report(kMsgOpenInWorkspace, Quoted(name));
            return kStop;
        }
    } else {
        QString diskName;
        if (m_engine.MakeContainerName(directory, diskName) != 0)
            return kStop;
        target = ChildPath(directory, diskName);
    }

    // What is read now is what a move may remove afterwards: a save that lands meanwhile keeps the source.
    FileIdentity read;
    const bool identified = move && m_files.Identify(source, read) == 0;
    m_ui.SetStatusText(name);
    const Step written = in.status == kUsable
                             ? CopyContainer(source, target, name, topLevel, in.info.plainSize)
                             : EncryptPlain(in.plainCopy.isEmpty() ? source : in.plainCopy, target, name, topLevel);
    if (written != kNext)
        return written;
    if (const int rc = m_files.SetReadOnly(target); rc != 0) {
        Report(kMsgAttributes, u'\n' + ErrnoText(rc) + QStringLiteral("\n\n") + target);
        return kStop;
    }
    if (topLevel && !existing) {
        NameEntry entry;
        entry.diskName = QFileInfo(target).fileName();
        entry.displayName = name;
        entry.kind = NameEntry::kContainer;
        m_entries.append(entry);
        m_byName.insert(name, m_entries.size() - 1);
    }
    if (!move)
        return kNext;
    // The source goes only once its container is on disk for good: a power cut after this point must
    // find the container, not lose both.
    if (const Step durable = MakeDurable(target); durable != kNext)
        return durable;
    // A working copy written back: its editors' lock, swap and backup files whose owners have ended go
    // with it, since some hold its text.
    const bool writtenBack = topLevel && m_singleItem && IsWorkingCopy(source);
    const QStringList companions = writtenBack ? EndedCompanionsOf(source) : QStringList();
    const Step removed = RemoveSource(source, name, identified ? &read : nullptr);
    if (removed == kNext && !m_sourcesKeptChanged.contains(source)) {
        RemoveCompanions(companions);
        if (m_parked)
            m_parked->Forget(source);
    }
    return removed;
}

bool CEncryptIn::IsWorkingCopy(const QString& source) const {
    const QString plainRoot = m_workFolder.PlainRoot();
    return !plainRoot.isEmpty() && IsWithinPath(CleanPath(source), CleanPath(plainRoot));
}

void CEncryptIn::RemoveCompanions(const QStringList& companions) {
    for (const QString& companion : companions) {
        // A name the destination lists is the copy of a container of its own, whatever it looks like.
        if (m_byName.contains(QFileInfo(companion).fileName()))
            continue;
        // Best effort (a link is only removed): a start-up wipes a ".delf" a wipe leaves.
        QString ignored;
        static_cast<void>(m_engine.WipeAndDelete(companion, ignored, true));
    }
}

// A container that already opens with the folder's key is copied as it is; only the folder's hint is
// written into its header. The copy is made beside the target and renamed over it when complete.
CEncryptIn::Step CEncryptIn::CopyContainer(const QString& source, const QString& target, const QString& name,
                                           bool topLevel, qint64 plainSize) {
    const QString temp = CCryptEngine::TempPathBeside(target, TempKind::Sealed);
    const auto fail = [&]() {
        if (m_files.Exists(temp)) {
            m_files.MakeWritable(temp);
            m_files.Remove(temp);
        }
        return kStop;
    };
    if (CopyBytes(source, temp, false) != 0)
        return fail();
    QString hint;
    if (m_registry.GetFolderHint(m_key, hint) != 0)
        return fail();
    if (m_engine.UpdateHint(temp, WithoutTrailingSpaces(hint)) != kOk)
        return fail();
    ContainerInfo copied;
    if (m_engine.ReadContainerInfo(temp, copied, m_key, false) != 0 || copied.plainSize != plainSize) {
        Report(topLevel ? kMsgCopySize : kMsgCopySizeInFolder, name);
        return fail();
    }
    const bool replacing = m_files.Exists(target);
    if (replacing)
        m_files.MakeWritable(target);
    if (const int rc = m_files.Rename(temp, target); rc != 0) {
        if (replacing)
            m_files.SetReadOnly(target);
        Report(msg::kDestinationWrite, u'\n' + ErrnoText(rc) + QStringLiteral("\n\n") + target);
        return fail();
    }
    return kNext;
}

CEncryptIn::Step CEncryptIn::EncryptPlain(const QString& plain, const QString& target, const QString& name,
                                          bool topLevel) {
    qint64 size = 0;
    m_files.Size(plain, size);
    if (m_engine.EncryptFile(plain, target, m_key) != kOk)
        return kStop;
    ContainerInfo written;
    if (m_engine.ReadContainerInfo(target, written, m_key, false) != 0 || written.plainSize != size) {
        Report(topLevel ? kMsgEncryptSize : kMsgEncryptSizeInFolder, name);
        return kStop;
    }
    return kNext;
}

// Bytes through the file layer in pieces, pumping between them; messages as the engine words them.
int CEncryptIn::CopyBytes(const QString& from, const QString& to, bool sync) {
    int error = 0;
    std::unique_ptr<File> in = m_files.Open(from, OpenMode::Read, error);
    if (!in)
        return Report(msg::kSourceOpen, u'\n' + ErrnoText(error) + QStringLiteral("\n\n") + from);
    std::unique_ptr<File> out = m_files.Open(to, OpenMode::WriteTruncate, error);
    if (!out)
        return Report(msg::kDestinationOpen, u'\n' + ErrnoText(error) + QStringLiteral("\n\n") + to);
    std::vector<char> buffer(CCryptEngine::kPieceSize);
    for (;;) {
        m_ui.Pump();
        const qint64 n = in->Read(buffer.data(), qint64(buffer.size()));
        if (n < 0)
            return Report(msg::kSourceRead, u'\n' + ErrnoText(in->Error()) + QStringLiteral("\n\n") + from);
        if (n == 0)
            break;
        if (out->Write(buffer.data(), n) != n)
            return Report(msg::kDestinationWrite, u'\n' + ErrnoText(out->Error()) + QStringLiteral("\n\n") + to);
    }
    if (sync && !out->Sync())
        return Report(msg::kDestinationWrite, u'\n' + ErrnoText(out->Error()) + QStringLiteral("\n\n") + to);
    return 0;
}

CEncryptIn::Step CEncryptIn::MakeDurable(const QString& target) {
    int error = 0;
    std::unique_ptr<File> file = m_files.Open(target, OpenMode::Read, error);
    if (file && !file->Sync())
        error = file->Error() != 0 ? file->Error() : EIO;
    if (file && error == 0)
        error = m_files.SyncFolder(QFileInfo(target).absolutePath());
    if (error != 0) {
        Report(msg::kDestinationWrite, u'\n' + ErrnoText(error) + QStringLiteral("\n\n") + target);
        return kStop;
    }
    return kNext;
}

CEncryptIn::Step CEncryptIn::RemoveSource(const QString& source, const QString& name, const FileIdentity* read) {
    // Messages are pumped here, so another program may have taken the source away meanwhile.
    m_ui.Pump();
    struct stat st {};
    if (::lstat(NativePath(source).constData(), &st) != 0) {
        Report(kMsgSourceGone, name, Icon::Warning);
        return kNext;
    }
    // A link is removed, never wiped: wiping would zero the file it points to.
    if (S_ISLNK(st.st_mode)) {
        if (const int rc = m_files.Remove(source); rc != 0) {
            Report(kMsgSourceNotDeleted, ErrnoText(rc) + QStringLiteral("\n\n") + name);
            return kStop;
        }
        return kNext;
    }
    QString error;
    const int wiped = m_engine.WipeAndDelete(source, error, true, read);
    if (wiped == CCryptEngine::kWipeKeptChanged) {
        // Its container holds what was read; the newer save stays where it is. A write-back goes round
        // again by itself, anyone else is told.
        m_sourcesKeptChanged.append(source);
        if (m_replaceTarget.isEmpty())
            Report(kMsgSourceChangedKept, name, Icon::Warning);
        return kNext;
    }
    if (wiped != 0) {
        Report(kMsgSourceNotDeleted, error + QStringLiteral("\n\n") + name);
        return kStop;
    }
    return kNext;
}

// ---- "暗号化する(&U)" ----

int CEncryptIn::EncryptPlainFiles(const QStringList& plainFiles, const QString& shownFolder) {
    const QString folder = CleanPath(shownFolder);
    const QString root = m_nameFile.OwningRoot(folder);
    const int slot = m_registry.SlotOf(root);
    if (slot >= 0 && m_registry.ReadOnlyText(slot) == QStringLiteral("1"))
        return Report(kMsgReadOnlyFolder, QString(), Icon::Warning);
    if (m_ui.Message(m_messages.MsgA(kMsgPlainQuestion), Icon::Question, Buttons::YesNo, kAnswerNo,
                     kMsgPlainQuestion) != kAnswerYes)
        return -1;
    QStringList files;
    for (const QString& raw : plainFiles) {
        const QString path = CleanPath(raw);
        struct stat st {};
        const bool found = ::lstat(NativePath(path).constData(), &st) == 0;
        if (found && SourceKindOf(path) == SourceKind::kSpecial && !S_ISLNK(st.st_mode)) {
            SkipSpecial(path);
            continue;
        }
        QString detail;
        if (!found || !S_ISREG(st.st_mode) || QFileInfo(path).absolutePath() != folder ||
            m_access.CheckAccess(path, 2, detail) != 0) {
            return Report(kMsgPlainCheck,
                          (detail.isEmpty() ? QString() : u'\n' + detail) + QStringLiteral("\n\n") + ShownName(path));
        }
        files.append(raw);
    }
    if (files.isEmpty())
        return 0;
    m_key = root;
    const QString area = CreationArea();
    // Files a failed put-back of an earlier run left listed go back with this run's.
    ParkedFiles parked(m_files, m_engine, area);
    if (const int rc = area.isEmpty() ? 0 : parked.Load(); rc != 0)
        return Report(kMsgPlainTempFolder, WithPath(ErrnoText(rc), ParkedFiles::JournalOf(area), PathSeparator::Line));
    QString unique;
    UniqueNameText(false, unique);
    const QString aside = area.isEmpty() ? QString() : ChildPath(area, unique);
    if (aside.isEmpty() || WorkAreas::MakePrivateFolder(aside) != 0)
        return Report(kMsgPlainTempFolder, WithPath(QString(), aside, PathSeparator::Line));

    SetBusy(true);
    m_parked = &parked;
    // Whatever is still aside at the end (a stop, a failure) goes back where the user left it.
    const auto putBack = [&]() {
        m_parked = nullptr;
        for (const ParkedFiles::Failure& failure : parked.PutBackAll())
            Report(ParkedFiles::kMsgPutBackFailed, ParkedFiles::FailureText(failure));
        QDir().rmdir(aside);
    };
    EncryptInRequest request;
    request.mode = EncryptInRequest::kMove;
    request.destination = folder;
    for (const QString& raw : files) {
        const QString path = CleanPath(raw);
        const QString moved = ChildPath(aside, QFileInfo(path).fileName());
        // Each file is in the journal before it moves: a run cut short finds it again at the next start.
        if (const int rc = parked.Park(path, moved); rc != 0) {
            Report(kMsgPlainMove, u'\n' + ErrnoText(rc) + QStringLiteral("\n\n") + path);
            putBack();
            SetBusy(false);
            return -1;
        }
        request.sources.append(moved);
    }
    const int rc = Run(request);
    putBack();
    SetBusy(false);
    return rc;
}

} // namespace korimbo
