#include "folder/EncryptIn.h"

#include "folder/IncomingFile.h"
#include "folder/ParkedFiles.h"
#include "state/WorkAreas.h"
#include "util/BusySection.h"
#include "util/DisplayText.h"
#include "util/EditorFiles.h"
#include "util/ErrorText.h"
#include "util/FileCopy.h"
#include "util/FileNames.h"
#include "util/MessageNumbers.h"
#include "util/MessageText.h"
#include "util/PathIdentity.h"
#include "util/TreeWalk.h"

#include <QFileInfo>

#include <algorithm>
#include <cerrno>
#include <sys/stat.h>

#include <utility>

namespace korimbo {

namespace {

// Messages inside a folder that is being taken in.
// Messages of the sources themselves.
// "暗号化する(&U)".

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

} // namespace

CEncryptIn::CEncryptIn(const FolderServices& s, EncryptInPrompts& prompts)
    : m_engine(s.engine), m_registry(s.registry), m_nameFile(s.nameFile), m_access(s.access), m_settings(s.settings),
      m_workFolder(s.workFolder), m_files(s.files), m_ui(s.ui), m_messages(s.messages),
      m_prompts(prompts), m_incoming{s.engine, s.files, s.ui, s.messages, prompts, QString(), QString(), true},
      m_folders(s.files, s.nameFile, s.ui, s.messages, prompts) {}

int CEncryptIn::Report(int number, const QString& tail, Icon icon) {
    return ReportMessage(m_ui, m_messages, number, tail, icon);
}

OpResult CEncryptIn::Fail(int number, const QString& tail, Icon icon) {
    Report(number, tail, icon);
    return OpResult::kFailed;
}

// The stop command, honoured between sources and between files.
bool CEncryptIn::Stopped() {
    if (!m_ui.StopRequested())
        return false;
    Report(msg::kStoppedKeepingDone, QString(), Icon::Information);
    return true;
}

QString CEncryptIn::CreationArea() const {
    const int slot = m_registry.SlotOf(m_key);
    return slot < 0 ? QString()
                    : WorkAreas::AreaOf(m_workFolder.RootOf(WorkAreas::kCreation), m_registry.WorkIdText(slot),
                                        WorkAreas::kCreation);
}

OpResult CEncryptIn::Run(EncryptInRequest& request) {
    m_overwriteAllFiles = false;
    m_incoming.showNotice = true;
    m_namesWritten.clear();
    m_skippedIdentical = 0;
    m_sourcesKeptChanged.clear();
    m_folders.Begin();
    m_entries.clear();
    m_byName.clear();
    request.folderIncluded = false;

    const BusySection section(busy);
    const QString root = m_nameFile.OwningRoot(CleanPath(request.destination));
    const int slot = m_registry.SlotOf(root);
    if (slot >= 0 && m_registry.ReadOnlyText(slot) == QStringLiteral("1")) {
        Report(msg::kReadOnlyFolder, QString(), Icon::Warning);
        return OpResult::kFailed;
    }
    const OpResult rc = Operate(request);
    m_ui.SetStatusText(QString());
    if (clearUndo)
        clearUndo();
    if (m_settings.outsideReWriteSkipFlg == 1 && m_skippedIdentical > 0) {
        m_ui.Message(m_messages.MsgA(msg::kSkippedHead) + QString::number(m_skippedIdentical) +
                         m_messages.MsgA(msg::kSkippedTail),
                     Icon::Information, Buttons::Ok, 0, msg::kSkippedHead);
    }
    return rc;
}

OpResult CEncryptIn::Operate(EncryptInRequest& request) {
    m_destination = CleanPath(request.destination);
    m_key = m_nameFile.OwningRoot(m_destination);
    if (m_key.isEmpty()) {
        Report(msg::kDestinationNotRegistered, m_destination);
        return OpResult::kFailed;
    }
    if (m_nameFile.RefreshNameFile(m_destination, m_key) != 0 ||
        m_nameFile.LoadNameEntries(m_destination, m_key, true, m_entries) != 0)
        return OpResult::kFailed;
    m_byName.clear();
    for (qsizetype i = 0; i < m_entries.size(); ++i)
        m_byName.insert(m_entries.at(i).displayName, i);
    m_incoming.key = m_key;
    m_incoming.creationArea = CreationArea();
    m_singleItem = request.sources.size() == 1;
    m_replaceTarget = request.replaceTarget.isEmpty() ? QString() : QFileInfo(request.replaceTarget).fileName();
    const bool move = request.mode == EncryptInRequest::kMove;
    // New containers are made durable a batch at a time; a move removes their sources after that.
    m_engine.Batch().Open(m_destination);
    m_movedWaiting.clear();
    m_movedCommitting.clear();
    QStringList planned;
    for (const QString& raw : request.sources)
        planned.append(CleanPath(raw));
    m_engine.Ahead().Plan(planned);

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
            step = FolderSteps(source, move);
        } else if (kind == SourceKind::kFile) {
            step = FileSteps(source, m_destination, true, move);
        } else if (kind == SourceKind::kSpecial) {
            step = SkipSpecial(source);
        } else {
            Report(msg::kCannotTakeIn, WithPath(QString(), source, PathSeparator::Line));
            step = kStop;
        }
        if (step == kStop || step == kEnd)
            break;
        if (Stopped()) {
            step = kEnd;
            break;
        }
    }
    if (const Step settled = SettleBatch(); settled != kNext && step != kEnd)
        step = settled;
    m_engine.Batch().Close();
    m_engine.Ahead().Clear();
    const int refreshed = m_nameFile.RefreshNameFile(m_destination, m_key);
    m_folders.ReportLeftBehind();
    return step == kStop || step == kEnd || refreshed != 0 ? OpResult::kFailed : OpResult::kDone;
}

// ---- folders ----

CEncryptIn::Step CEncryptIn::FolderSteps(const QString& source, bool move) {
    const CIncomingFolder::Hooks hooks{
        [this, move](const QString& file, const QString& directory) { return FileSteps(file, directory, false, move); },
        [this] { return Stopped(); }, isOpenInWorkspace, [this] { return SettleBatch(); }};
    return m_folders.Take(source, m_destination, move, m_entries, hooks);
}

// A pipe, socket or device has no contents to take in; reading one could wait for ever.
CEncryptIn::Step CEncryptIn::SkipSpecial(const QString& source) {
    Report(msg::kSpecialSkipped, WithPath(QString(), ShownName(source), PathSeparator::Paragraph), Icon::Warning);
    return kNext;
}

// ---- files ----

CEncryptIn::Step CEncryptIn::FileSteps(const QString& source, const QString& directory, bool topLevel, bool move) {
    CIncomingFile in(m_incoming, source, topLevel);
    if (const Step opened = in.Open(); opened != kNext)
        return opened;
    return WriteFile(source, directory, topLevel, move, in);
}

// The container of that name the file goes over, or none; `step` is set when the name cannot be taken.
const NameEntry* CEncryptIn::ExistingFor(const QString& name, const QString& directory, bool topLevel, Step& step) {
    step = kNext;
    if (topLevel && !m_replaceTarget.isEmpty()) {
        // A write-back names its container: the working copy goes over it whatever its name file says
        // about other containers of the same name.
        for (const NameEntry& entry : m_entries)
            if (entry.kind == NameEntry::kContainer && entry.diskName == m_replaceTarget)
                return &entry;
    }
    if (!topLevel)
        return nullptr;
    if (m_namesWritten.contains(name)) {
        Report(msg::kSameSourceName, name);
        step = kStop;
        return nullptr;
    }
    m_namesWritten.insert(name);
    const NameEntry* existing = nullptr;
    const NameEntry* plain = nullptr;
    for (auto it = m_byName.constFind(name); it != m_byName.cend() && it.key() == name; ++it) {
        const NameEntry& entry = m_entries.at(it.value());
        if (entry.kind == NameEntry::kContainer)
            existing = &entry;
        else if (entry.kind == NameEntry::kPlain)
            plain = &entry;
    }
    if (!existing && plain) {
        Report(msg::kPlainSameName, name);
        step = kStop;
    } else if (IsFolderItem(ChildPath(directory, name))) {
        Report(msg::kFolderSameName, Quoted(name));
        step = kStop;
    }
    return existing;
}

CEncryptIn::Step CEncryptIn::WriteFile(const QString& source, const QString& directory, bool topLevel, bool move,
                                       const CIncomingFile& in) {
    const QString& name = in.Name();
    Step step = kNext;
    const NameEntry* existing = ExistingFor(name, directory, topLevel, step);
    if (step != kNext)
        return step;
    const bool replacing = existing && topLevel && !m_replaceTarget.isEmpty() && existing->diskName == m_replaceTarget;
    QString target;
    if (existing) {
        target = ChildPath(directory, existing->diskName);
        // A container of this folder dropped on itself (under any path) is already where it belongs.
        if (SameItem(m_files, target, source))
            return kSkipped;
        if (!m_overwriteAllFiles && !replacing) {
            if (m_settings.outsideReWriteSkipFlg == 1 && in.SameAs(*existing)) {
                ++m_skippedIdentical;
                return kSkipped;
            }
            const EncryptInPrompts::FileSide old{target, name, true, existing->plainSize, existing->modifiedAt};
            const OverwriteStep answer =
                StepForAnswer(m_prompts.AskFileOverwrite(old, in.Side(), m_singleItem), m_overwriteAllFiles);
            if (answer != OverwriteStep::kReplace)
                return answer == OverwriteStep::kSkip ? kSkipped : kEnd;
        }
        if (!replacing && isOpenInWorkspace && isOpenInWorkspace(target)) {
            Report(msg::kOpenInWorkspace, Quoted(name));
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
    const bool identified = move && m_files.Identify(source, read).Ok();
    m_ui.SetStatusText(name);
    const Step written = in.Usable() ? CopyContainer(source, target, name, topLevel, in.Info().plainSize)
                                     : EncryptPlain(in.PlainPath(), target, name, topLevel);
    if (written != kNext)
        return written;
    const bool waiting = m_engine.Batch().PathOf(target) != target;
    if (const int rc = waiting ? 0 : m_files.SetReadOnly(target).error; rc != 0) {
        Report(msg::kAttributesNotSet, u'\n' + ErrnoText(rc) + QStringLiteral("\n\n") + target);
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
        return m_engine.Batch().Full() ? PassBatch() : kNext;
    // A working copy written back: its editors' lock, swap and backup files whose owners have ended go
    // with it, since some hold its text.
    const bool writtenBack = topLevel && m_singleItem && IsWorkingCopy(source);
    MovedSource moved{source, name, identified ? std::optional(read) : std::nullopt,
                      writtenBack ? EndedCompanionsOf(source) : QStringList()};
    // The source goes only once its container is on disk for good: a power cut after this point must
    // find the container, not lose both.
    if (waiting) {
        m_movedWaiting.append(std::move(moved));
        return m_engine.Batch().Full() ? PassBatch() : kNext;
    }
    if (const Step durable = MakeDurable(target); durable != kNext)
        return durable;
    return RemoveMoved(moved);
}

CEncryptIn::Step CEncryptIn::RemoveMoved(const MovedSource& moved) {
    const Step removed = RemoveSource(moved.source, moved.name, moved.read ? &*moved.read : nullptr);
    if (removed == kNext && !m_sourcesKeptChanged.contains(moved.source)) {
        RemoveCompanions(moved.companions);
        if (m_parked)
            m_parked->Forget(moved.source);
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
    const QString temp = TempPathBeside(target, TempKind::Sealed);
    const auto fail = [&]() {
        if (m_files.Exists(temp)) {
            static_cast<void>(m_files.MakeWritable(temp));
            static_cast<void>(m_files.Remove(temp));
        }
        return kStop;
    };
    if (CopyBytes(source, temp) != 0)
        return fail();
    QString hint;
    if (m_registry.GetFolderHint(m_key, hint) != OpResult::kDone)
        return fail();
    if (m_engine.UpdateHint(temp, WithoutTrailingSpaces(hint)) != kOk)
        return fail();
    ContainerInfo copied;
    if (m_engine.ReadContainerInfo(temp, copied, m_key, false) != 0 || copied.plainSize != plainSize) {
        Report(topLevel ? msg::kCopiedSize : msg::kCopySizeInFolder, name);
        return fail();
    }
    const bool replacing = m_files.Exists(target);
    if (replacing)
        static_cast<void>(m_files.MakeWritable(target));
    if (const int rc = m_files.Rename(temp, target).error; rc != 0) {
        if (replacing)
            static_cast<void>(m_files.SetReadOnly(target));
        Report(msg::kDestinationWrite, u'\n' + ErrnoText(rc) + QStringLiteral("\n\n") + target);
        return fail();
    }
    return kNext;
}

CEncryptIn::Step CEncryptIn::EncryptPlain(const QString& plain, const QString& target, const QString& name,
                                          bool topLevel) {
    qint64 size = 0;
    static_cast<void>(m_files.Size(plain, size));
    if (m_engine.EncryptFile(plain, target, m_key) != kOk)
        return kStop;
    const QString written = m_engine.Batch().PathOf(target);
    ContainerInfo info;
    if (m_engine.ReadContainerInfo(written, info, m_key, false) != 0 || info.plainSize != size) {
        Report(topLevel ? msg::kEncryptSize : msg::kEncryptSizeInFolder, name);
        return kStop;
    }
    // The refresh after the intake need not read this header a third time; the rename into place keeps
    // the time the offer is tied to.
    m_nameFile.OfferContainer(target, info, m_key, CNameFile::DiskTimeOf(written));
    return kNext;
}

// The bytes of a container through the file kit, pumping between pieces; messages as the engine words them.
int CEncryptIn::CopyBytes(const QString& from, const QString& to) {
    CopyOptions options;
    options.sync = false;
    options.progress = [this](qint64) {
        m_ui.Pump();
        return true;
    };
    const CopyResult copied = CopyFileTo(m_files, from, to, options);
    switch (copied.step) {
    case CopyStep::Done:
    case CopyStep::Stopped:
        return 0;
    case CopyStep::SourceOpen:
        return Report(msg::kSourceOpen, u'\n' + ErrnoText(copied.error) + QStringLiteral("\n\n") + from);
    case CopyStep::SourceRead:
        return Report(msg::kSourceRead, u'\n' + ErrnoText(copied.error) + QStringLiteral("\n\n") + from);
    case CopyStep::TargetOpen:
        return Report(msg::kDestinationOpen, u'\n' + ErrnoText(copied.error) + QStringLiteral("\n\n") + to);
    case CopyStep::TargetWrite:
        break;
    }
    return Report(msg::kDestinationWrite, u'\n' + ErrnoText(copied.error) + QStringLiteral("\n\n") + to);
}

CEncryptIn::Step CEncryptIn::MakeDurable(const QString& target) {
    int error = 0;
    std::unique_ptr<File> file = m_files.Open(target, OpenMode::Read, error);
    if (file && !file->Sync())
        error = file->Error() != 0 ? file->Error() : EIO;
    if (file && error == 0)
        error = m_files.SyncFolder(QFileInfo(target).absolutePath()).error;
    if (error != 0) {
        Report(msg::kDestinationWrite, u'\n' + ErrnoText(error) + QStringLiteral("\n\n") + target);
        return kStop;
    }
    return kNext;
}

// Everything written so far in place and durable, and the sources of a move removed.
CEncryptIn::Step CEncryptIn::SettleBatch() {
    QList<MovedSource> moved = std::exchange(m_movedCommitting, {});
    moved += std::exchange(m_movedWaiting, {});
    return Settled(m_engine.Batch().Commit(), moved);
}

// A full batch is committed while the next one fills; the one committed before it is settled.
CEncryptIn::Step CEncryptIn::PassBatch() {
    const QList<MovedSource> moved = std::exchange(m_movedCommitting, std::exchange(m_movedWaiting, {}));
    return Settled(m_engine.Batch().Pass(), moved);
}

// The outcomes of a committed batch told; then the sources a move took in go, unless something failed (a
// source is never removed after a failure).
CEncryptIn::Step CEncryptIn::Settled(const QVector<CContainerBatch::Outcome>& outcomes,
                                     const QList<MovedSource>& moved) {
    Step step = kNext;
    for (const CContainerBatch::Outcome& outcome : outcomes) {
        if (outcome.error != 0 && step == kNext) {
            Report(msg::kDestinationWrite,
                   u'\n' + ErrnoText(outcome.error) + QStringLiteral("\n\n") + outcome.container);
            step = kStop;
        }
    }
    for (const MovedSource& source : moved) {
        if (step != kNext)
            break;
        step = RemoveMoved(source);
    }
    return step;
}

CEncryptIn::Step CEncryptIn::RemoveSource(const QString& source, const QString& name, const FileIdentity* read) {
    // Messages are pumped here, so another program may have taken the source away meanwhile.
    m_ui.Pump();
    const ItemKind kind = KindOf(source);
    if (kind == ItemKind::Missing) {
        Report(msg::kMoveSourceGone, name, Icon::Warning);
        return kNext;
    }
    // A link is removed, never wiped: wiping would zero the file it points to.
    if (kind == ItemKind::Link) {
        if (const int rc = m_files.Remove(source).error; rc != 0) {
            Report(msg::kSourceNotDeleted, ErrnoText(rc) + QStringLiteral("\n\n") + name);
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
            Report(msg::kSourceChangedKept, name, Icon::Warning);
        return kNext;
    }
    if (wiped != 0) {
        Report(msg::kSourceNotDeleted, error + QStringLiteral("\n\n") + name);
        return kStop;
    }
    return kNext;
}

// ---- "暗号化する(&U)" ----

OpResult CEncryptIn::EncryptPlainFiles(const QStringList& plainFiles, const QString& shownFolder) {
    const QString folder = CleanPath(shownFolder);
    const QString root = m_nameFile.OwningRoot(folder);
    const int slot = m_registry.SlotOf(root);
    if (slot >= 0 && m_registry.ReadOnlyText(slot) == QStringLiteral("1"))
        return Fail(msg::kReadOnlyFolder, QString(), Icon::Warning);
    if (m_ui.Message(m_messages.MsgA(msg::kPlainQuestion), Icon::Question, Buttons::YesNo, kAnswerNo,
                     msg::kPlainQuestion) != kAnswerYes)
        return OpResult::kDeclined;
    QStringList files;
    for (const QString& raw : plainFiles) {
        const QString path = CleanPath(raw);
        const ItemKind kind = KindOf(path);
        if (kind == ItemKind::Special) {
            SkipSpecial(path);
            continue;
        }
        QString detail;
        if (kind != ItemKind::File || QFileInfo(path).absolutePath() != folder ||
            m_access.CheckAccess(path, 2, detail) != 0) {
            return Fail(msg::kPlainCheck,
                        (detail.isEmpty() ? QString() : u'\n' + detail) + QStringLiteral("\n\n") + ShownName(path));
        }
        files.append(raw);
    }
    if (files.isEmpty())
        return OpResult::kDone;
    m_key = root;
    const QString area = CreationArea();
    // Files a failed put-back of an earlier run left listed go back with this run's.
    ParkedFiles parked(m_files, m_engine, area);
    if (const int rc = area.isEmpty() ? 0 : parked.Load().error; rc != 0)
        return Fail(msg::kPlainTempFolder, WithPath(ErrnoText(rc), ParkedFiles::JournalOf(area), PathSeparator::Line));
    QString unique;
    UniqueNameText(false, unique);
    const QString aside = area.isEmpty() ? QString() : ChildPath(area, unique);
    if (aside.isEmpty() || m_files.MakePrivateFolder(aside).Failed())
        return Fail(msg::kPlainTempFolder, WithPath(QString(), aside, PathSeparator::Line));

    const BusySection section(busy);
    m_parked = &parked;
    // Whatever is still aside at the end (a stop, a failure) goes back where the user left it.
    const auto putBack = [&]() {
        m_parked = nullptr;
        for (const ParkedFiles::Failure& failure : parked.PutBackAll())
            Report(msg::kPutBackFailed, ParkedFiles::FailureText(failure));
        static_cast<void>(m_files.RemoveFolder(aside));
    };
    EncryptInRequest request;
    request.mode = EncryptInRequest::kMove;
    request.destination = folder;
    for (const QString& raw : files) {
        const QString path = CleanPath(raw);
        const QString moved = ChildPath(aside, QFileInfo(path).fileName());
        // Each file is in the journal before it moves: a run cut short finds it again at the next start.
        if (const int rc = parked.Park(path, moved).error; rc != 0) {
            Report(msg::kPlainMove, u'\n' + ErrnoText(rc) + QStringLiteral("\n\n") + path);
            putBack();
            return OpResult::kFailed;
        }
        request.sources.append(moved);
    }
    const OpResult rc = Run(request);
    putBack();
    return rc;
}

} // namespace korimbo
