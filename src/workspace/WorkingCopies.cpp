#include "workspace/WorkingCopies.h"

#include "state/WorkAreas.h"
#include "util/BusySection.h"
#include "util/EditorFiles.h"
#include "util/ErrorText.h"
#include "util/FileNames.h"
#include "util/MessageNumbers.h"
#include "util/MessageText.h"
#include "util/PathIdentity.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QCoreApplication>
#include <QFileInfo>
#include <QSet>

#include <cerrno>
#include <sys/stat.h>
#include <vector>

namespace korimbo {

namespace {

constexpr int kLaunchSettleMs = 10;  // a program that hands its document over has ended by then
constexpr int kWatchRoundMs = 300;   // timer 1
constexpr int kWriteBackDelayMs = 50; // lets the ended program's last writes land
// Rounds of timer 1 (about three seconds) a slot looks for who has its document before it lets go: a
// launcher that hands the document over ends before the instance shows it, an activation over the bus
// gives no process at all.
constexpr int kSearchRounds = 10;
// A copy saved over while it was written back is written again, a few times at most.
constexpr int kWriteBackRounds = 3;

} // namespace

int WatchTable::FreeSlot() const {
    for (int i = 0; i < kSlots; ++i)
        if (!InUse(i))
            return i;
    return -1;
}

int WatchTable::Watched() const {
    int count = 0;
    for (int i = 0; i < kSlots; ++i)
        if (InUse(i))
            ++count;
    return count;
}

void WatchTable::Free(int slot) {
    pid[slot] = 0;
    path[slot].clear();
    appId[slot].clear();
    executable[slot].clear();
    searching[slot] = 0;
    followed[slot] = false;
}

CWorkingCopies::CWorkingCopies(const FolderServices& s, Associations& associations, Launcher& launcher,
                               ProcessProbe& processes, EncryptInPrompts& prompts)
    : m_services(s), m_engine(s.engine), m_registry(s.registry), m_nameFile(s.nameFile), m_access(s.access),
      m_settings(s.settings), m_workFolder(s.workFolder), m_files(s.files), m_ui(s.ui), m_messages(s.messages),
      m_associations(associations), m_launcher(launcher), m_processes(processes), m_prompts(prompts),
      m_origins(s.files) {}

int CWorkingCopies::Report(int number, const QString& tail, Icon icon) {
    return ReportMessage(m_ui, m_messages, number, tail, icon);
}

OpResult CWorkingCopies::Fail(int number, const QString& tail, Icon icon) {
    Report(number, tail, icon);
    return OpResult::kFailed;
}

bool CWorkingCopies::ReadOnlyFolder(int slot) const {
    return slot >= 0 && m_registry.ReadOnlyText(slot) == QStringLiteral("1");
}

// ---- where copies live ----

QString CWorkingCopies::KnownPlainName(const QString& directory, const QString& diskName, const QString& root) const {
    const auto known = m_plainNames.constFind(root + u'\n' + directory);
    if (known == m_plainNames.constEnd())
        return QString();
    const auto entry = known->constFind(diskName);
    if (entry == known->constEnd() || entry->kind != NameEntry::kContainer)
        return QString();
    return entry->diskTime == CNameFile::DiskTimeOf(ChildPath(directory, diskName)) ? entry->displayName : QString();
}

QString CWorkingCopies::PlainNameOf(const QString& container, const QString& root) {
    constexpr qsizetype kKnownDirectories = 64;
    const QString directory = QFileInfo(container).absolutePath();
    const QString diskName = QFileInfo(container).fileName();
    QString name = KnownPlainName(directory, diskName, root);
    QList<NameEntry> entries;
    if (name.isEmpty() && m_nameFile.RefreshNameFile(directory, root) == 0 &&
        m_nameFile.LoadNameEntries(directory, root, false, entries) == 0) {
        if (m_plainNames.size() >= kKnownDirectories)
            m_plainNames.clear();
        m_plainNames.insert(root + u'\n' + directory, IndexByDiskName(entries));
        name = KnownPlainName(directory, diskName, root);
    }
    if (name.isEmpty()) {
        ContainerInfo info;
        if (m_engine.ReadContainerInfo(container, info, root, false) == 0)
            name = info.name;
    }
    return UsableFileName(name, diskName);
}

QString CWorkingCopies::WorkingCopyPath(const QString& container, const QString& area) {
    const QString path = CleanPath(container);
    const QString root = m_nameFile.OwningRoot(path);
    const int slot = m_registry.SlotOf(root);
    const QString base =
        slot < 0 ? QString()
                 : WorkAreas::AreaOf(QDir::cleanPath(m_workFolder.RootOf(area)), m_registry.WorkIdText(slot), area);
    if (base.isEmpty()) {
        Report(msg::kNoFolder, WithPath(QString(), path, PathSeparator::Paragraph), Icon::Warning);
        return QString();
    }
    const QString relative = QFileInfo(path).absolutePath().mid(root.size()); // "" or "/sub/dir"
    return base + relative + u'/' + PlainNameOf(path, root);
}

bool CWorkingCopies::MayHoldCopiesBelow(const QString& folder, const QString& area) {
    const QString path = CleanPath(folder);
    const QString root = m_nameFile.OwningRoot(path);
    const int slot = m_registry.SlotOf(root);
    if (slot < 0)
        return true;
    // The copies of the folder's containers lie below the same relative path in the area (WorkingCopyPath).
    const QString base =
        WorkAreas::AreaOf(QDir::cleanPath(m_workFolder.RootOf(area)), m_registry.WorkIdText(slot), area);
    return base.isEmpty() || ItemExists(base + path.mid(root.size()));
}

bool CWorkingCopies::Locate(const QString& workingCopy, Place& place) const {
    const QString path = CleanPath(workingCopy);
    // Ac, To and Re: the areas of plaintext.
    const QString workRoot = QDir::cleanPath(m_workFolder.PlainRoot());
    for (const auto& [slot, folder] : m_registry.RegisteredFolders()) {
        const QString base = WorkAreas::BaseOf(workRoot, m_registry.WorkIdText(slot));
        if (base.isEmpty())
            continue;
        for (const QString& area : {WorkAreas::kEditing, WorkAreas::kTakeOut, WorkAreas::kReturn}) {
            const QString prefix = base + u'/' + area + u'/';
            if (path == prefix.chopped(1) || !IsWithinPath(path, prefix))
                continue;
            const QString rest = path.mid(prefix.size() - 1); // "/sub/dir/name"
            const qsizetype cut = rest.lastIndexOf(u'/');
            place.slot = slot;
            place.root = folder;
            place.directory = place.root + rest.left(cut);
            place.area = area;
            place.name = rest.mid(cut + 1);
            return true;
        }
    }
    return false;
}

QString CWorkingCopies::ContainerOf(const QString& workingCopy, QString& proposed, bool quiet) {
    proposed.clear();
    Place place;
    if (!Locate(workingCopy, place))
        return QString();
    if (QFileInfo(place.directory).isDir() && m_engine.HasKey(place.root)) {
        QList<NameEntry> entries;
        if (m_nameFile.RefreshNameFile(place.directory, place.root) == 0 &&
            m_nameFile.LoadNameEntries(place.directory, place.root, false, entries) == 0) {
            for (const NameEntry& entry : entries)
                if (entry.kind == NameEntry::kContainer && entry.displayName == place.name)
                    return ChildPath(place.directory, entry.diskName);
        }
    }
    QString diskName;
    if (m_engine.MakeContainerName(place.directory, diskName) == 0)
        proposed = ChildPath(place.directory, diskName);
    if (!quiet)
        Report(msg::kNoContainer, WithPath(QString(), CleanPath(workingCopy), PathSeparator::Paragraph), Icon::Warning);
    return QString();
}

bool CWorkingCopies::IsChanged(const QString& workingCopy, const QString& container) {
    if (container.isEmpty())
        return true;
    const QFileInfo copy(workingCopy);
    const QFileInfo original(container);
    if (!original.exists())
        return true;
    // The copy got a time at whole seconds. A copy whose time has a fraction was saved since, even within
    // the same second as the container's last write: taking that for unchanged would erase the only copy
    // of the edit.
    struct stat st {};
    if (::stat(QFile::encodeName(workingCopy).constData(), &st) != 0 || st.st_mtim.tv_nsec != 0)
        return true;
    // Judged against what the copy was given, not against the container now: a container rewritten since
    // does not make an untouched copy an edit.
    ContainerOrigin origin;
    QString base;
    QString relative;
    if (OriginKey(workingCopy, base, relative) && m_origins.Lookup(base, relative, origin))
        return qint64(st.st_mtim.tv_sec) != origin.copyTime || qint64(st.st_size) != origin.plainSize;
    if (qint64(st.st_mtim.tv_sec) != original.lastModified().toSecsSinceEpoch())
        return true;
    // An edit that put the old time back still shows in the size.
    ContainerInfo info;
    if (m_engine.ReadContainerInfo(container, info, m_nameFile.OwningRoot(CleanPath(container)), false) != 0)
        return true;
    return info.plainSize != copy.size();
}

bool CWorkingCopies::IsInUse(const QString& workingCopy) {
    const QString copy = CleanPath(workingCopy);
    for (int slot = 0; slot < WatchTable::kSlots; ++slot) {
        if (m_table.path[slot] != copy)
            continue;
        if (m_table.searching[slot] > 0 || (m_table.pid[slot] != 0 && m_processes.IsRunning(m_table.pid[slot])))
            return true;
    }
    return m_processes.IsOpenElsewhere(copy);
}

// ---- where a copy came from ----

bool CWorkingCopies::OriginKey(const QString& workingCopy, QString& base, QString& relative) const {
    Place place;
    if (!Locate(workingCopy, place) || place.area != WorkAreas::kEditing)
        return false;
    base =
        WorkAreas::BaseOf(QDir::cleanPath(m_workFolder.RootOf(WorkAreas::kEditing)), m_registry.WorkIdText(place.slot));
    relative = CleanPath(workingCopy).mid(base.size() + 1 + WorkAreas::kEditing.size() + 1);
    return !base.isEmpty();
}

void CWorkingCopies::RecordOrigin(const QString& workingCopy, const QString& container, qint64 plainSize,
                                  qint64 copyTime) {
    QString base;
    QString relative;
    ContainerOrigin origin;
    if (!OriginKey(workingCopy, base, relative) || !m_origins.Identify(container, origin))
        return;
    origin.plainSize = plainSize;
    origin.copyTime = copyTime;
    // Without the record the copy is judged as before, against the container as it is at write-back.
    static_cast<void>(m_origins.Record(base, relative, origin));
}

void CWorkingCopies::ForgetOrigin(const QString& workingCopy) {
    QString base;
    QString relative;
    if (OriginKey(workingCopy, base, relative))
        m_origins.Forget(base, relative);
}

bool CWorkingCopies::StillTheOrigin(const QString& workingCopy, const QString& container) {
    QString base;
    QString relative;
    ContainerOrigin recorded;
    if (!OriginKey(workingCopy, base, relative) || !m_origins.Lookup(base, relative, recorded))
        return true;
    ContainerOrigin now;
    return m_origins.Identify(container, now) && now.SameContainer(recorded);
}

// ---- open ----

OpResult CWorkingCopies::Open(const QStringList& containers, const QString& program) {
    if (m_settings.procEndMsgFlg == 1 && openNotice) {
        bool stopShowing = true;
        if (!openNotice(stopShowing))
            return OpResult::kDeclined;
        if (stopShowing)
            m_settings.procEndMsgFlg = 0;
    }
    OpResult rc = OpResult::kDone;
    for (const QString& container : containers) {
        if (QFileInfo(container).isDir())
            continue;
        // Each file stands alone: one that cannot be opened does not keep the others closed.
        if (OpenOne(container, true, program, WorkAreas::kEditing) != OpResult::kDone)
            rc = OpResult::kFailed;
    }
    return rc;
}

OpResult CWorkingCopies::DecryptOnly(const QStringList& containersOrFolders) {
    OpResult rc = OpResult::kDone;
    QStringList left;
    for (const QString& item : containersOrFolders) {
        const QString path = CleanPath(item);
        const ItemKind kind = KindOf(path);
        if (kind == ItemKind::Link || kind == ItemKind::Special) {
            left.append(path);
        } else if (kind == ItemKind::Folder) {
            const QString root = m_nameFile.OwningRoot(path);
            if (m_registry.SlotOf(root) < 0) {
                Report(msg::kNoFolder, WithPath(QString(), path, PathSeparator::Paragraph), Icon::Warning);
                rc = OpResult::kFailed;
            } else if (DecryptFolder(path, root, left) != 0) {
                rc = OpResult::kFailed;
            }
        } else if (OpenOne(path, false, QString(), WorkAreas::kEditing) != OpResult::kDone) {
            rc = OpResult::kFailed;
        }
    }
    if (!left.isEmpty())
        Report(msg::kLeftAsTheyAre, left.join(u'\n'), Icon::Information);
    if (refreshDecryptedList)
        refreshDecryptedList();
    return rc;
}

// A folder's containers into the matching directory of the editing area, its subfolders likewise; the
// directory is made even for a folder without containers, so that the tree shows up as the user knows it.
int CWorkingCopies::DecryptFolder(const QString& folder, const QString& root, QStringList& left) {
    const int slot = m_registry.SlotOf(root);
    const QString area = WorkAreas::AreaOf(QDir::cleanPath(m_workFolder.RootOf(WorkAreas::kEditing)),
                                           m_registry.WorkIdText(slot), WorkAreas::kEditing);
    if (area.isEmpty() || MakeCopyFolder(area, area + folder.mid(root.size())) != 0)
        return -1;
    QList<NameEntry> entries;
    if (m_nameFile.RefreshNameFile(folder, root) != 0 || m_nameFile.LoadNameEntries(folder, root, true, entries) != 0)
        return -1;
    int rc = 0;
    for (const NameEntry& entry : entries) {
        const QString child = ChildPath(folder, entry.diskName);
        // A link is not followed (one to an ancestor would run away), a pipe or a device not opened.
        if (const ItemKind kind = KindOf(child); kind != ItemKind::File && kind != ItemKind::Folder) {
            left.append(child);
            continue;
        }
        if (entry.kind == NameEntry::kFolder && DecryptFolder(child, root, left) != 0)
            rc = -1;
        else if (entry.kind == NameEntry::kContainer &&
                 OpenOne(child, false, QString(), WorkAreas::kEditing) != OpResult::kDone)
            rc = -1;
    }
    return rc;
}

int CWorkingCopies::MakeCopyFolder(const QString& area, const QString& directory) {
    // Working copies are plaintext: only their owner may enter their folders or read them.
    if (const int rc = m_files.MakePrivateFolder(directory).error; rc != 0)
        return Report(msg::kCopyFolder, directory + u'\n' + ErrnoText(rc));
    // The area and every folder between it and the copy, also those an earlier login made with the
    // default mode.
    for (QString folder = directory;; folder = QFileInfo(folder).absolutePath()) {
        static_cast<void>(m_files.SetPermissions(folder, kPrivateFolderMode));
        if (folder == area || !IsWithinPath(folder, area))
            break;
    }
    return 0;
}

int CWorkingCopies::CopyTime(const QString& container, const QString& workingCopy) {
    const QFileInfo original(container);
    if (!original.exists())
        return Report(msg::kContainerTime, WithPath(QString(), container, PathSeparator::Paragraph));
    if (m_files.SetModificationTime(workingCopy, original.lastModified().toSecsSinceEpoch()).Failed())
        return Report(msg::kCopyTime, WithPath(QString(), workingCopy, PathSeparator::Paragraph));
    return 0;
}

OpResult CWorkingCopies::OpenOne(const QString& container, bool launch, const QString& program, const QString& area,
                                 QString* workingCopy) {
    const QString path = CleanPath(container);
    const QString root = m_nameFile.OwningRoot(path);
    const int slot = m_registry.SlotOf(root);
    if (slot < 0)
        return Fail(msg::kNoFolder, WithPath(QString(), path, PathSeparator::Paragraph), Icon::Warning);
    const bool readOnly = ReadOnlyFolder(slot);

    QString detail;
    if (m_access.CheckAccess(path, 1, detail) != 0)
        return OpResult::kFailed;
    ContainerInfo info;
    const std::optional<ContainerCheck> check = m_engine.CheckContainer(path, info, root, true);
    if (!check)
        return OpResult::kFailed;
    if (!check->Usable()) {
        m_ui.Message(QFileInfo(path).fileName() + m_messages.MsgA(msg::kUnusable), Icon::Error, Buttons::Ok, 0,
                     msg::kUnusable);
        return OpResult::kFailed;
    }

    const QString copy = WorkingCopyPath(path, area);
    if (copy.isEmpty())
        return OpResult::kFailed;
    const QString name = QFileInfo(copy).fileName();
    QString associated;
    if (launch && program.isEmpty()) {
        const QString extension = QFileInfo(name).suffix();
        QString appId;
        if ((m_associations.DefaultProgramOf(extension, associated) != 0 || associated.isEmpty()) &&
            (m_associations.DefaultAppIdOf(extension, appId) != 0 || appId.isEmpty())) {
            m_ui.Message(QStringLiteral(" '") + name + m_messages.MsgA(msg::kNoProgram), Icon::Warning, Buttons::Ok, 0,
                         msg::kNoProgram);
            return OpResult::kFailed;
        }
    }

    const QString areaPath =
        WorkAreas::AreaOf(QDir::cleanPath(m_workFolder.RootOf(area)), m_registry.WorkIdText(slot), area);
    // An area that folds case takes "report.txt" for the copy of "Report.txt", a subfolder "docs" for
    // "Docs": that copy is another item's, and a write-back would cross the two.
    if (const QString holder = HeldUnderOtherNameBelow(areaPath, copy); !holder.isEmpty())
        return Fail(msg::kCopyNameHeldOtherCase, WithPath(QString(), holder, PathSeparator::Paragraph), Icon::Warning);
    if (!QFileInfo::exists(copy)) {
        if (MakeCopyFolder(areaPath, QFileInfo(copy).absolutePath()) != 0)
            return OpResult::kFailed;
        // A staged take-out copy lives while the take-out window is open, then is wiped; a crash meanwhile
        // leaves it to the next staging, which empties the area first.
        const auto durability = area == WorkAreas::kTakeOut ? CCryptEngine::Durability::kTransient
                                                            : CCryptEngine::Durability::kDurable;
        if (m_engine.DecryptFile(path, copy, root, durability) != kOk)
            return OpResult::kFailed;
        static_cast<void>(m_files.SetPermissions(copy, kPrivateFileMode));
        if (CopyTime(path, copy) != 0)
            return OpResult::kFailed;
        // The time the copy's file system kept, which FAT cuts to even seconds: compared with the
        // container's, an untouched copy would count as an edit.
        if (area == WorkAreas::kEditing)
            RecordOrigin(copy, path, QFileInfo(copy).size(), QFileInfo(copy).lastModified().toSecsSinceEpoch());
        if (readOnly)
            static_cast<void>(m_files.SetReadOnly(copy));
    } else if (m_ui.Message(m_messages.MsgA(msg::kAlreadyDecrypted) + name, Icon::Question, Buttons::YesNo, kAnswerNo,
                            msg::kAlreadyDecrypted) != kAnswerYes) {
        return OpResult::kDeclined;
    }

    // Decrypt only asks once for the whole selection.
    if (launch && refreshDecryptedList)
        refreshDecryptedList();
    // The program may write the copy back over its container only when it is done; until then the
    // container is writable like a file being edited.
    if (area == WorkAreas::kEditing && !readOnly)
        static_cast<void>(m_files.MakeWritable(path));
    m_lastOpened = copy;
    if (workingCopy)
        *workingCopy = copy;
    if (!launch)
        return OpResult::kDone;

    qint64 pid = 0;
    QString appId;
    QString executable;
    if (m_launcher.Launch(copy, program, pid, appId, executable) != 0)
        return Fail(msg::kLaunchFailed, QString(), Icon::Warning);
    if (m_settings.execProcEndWaitFlg == 1)
        Register(copy, pid, appId, executable.isEmpty() ? (program.isEmpty() ? associated : program) : executable);
    return OpResult::kDone;
}

// ---- watch ----

// The launched process when it still runs; otherwise (it handed the document to a running instance and
// ended, or the desktop started the program over the bus) the instance that has it, found the best way the
// desktop allows, now or on the next rounds.
void CWorkingCopies::Register(const QString& workingCopy, qint64 pid, const QString& appId,
                              const QString& executable) {
    const int slot = m_table.FreeSlot();
    if (slot < 0) {
        Report(msg::kWatchFull, QString(), Icon::Warning);
        return;
    }
    m_table.Free(slot);
    m_table.path[slot] = workingCopy;
    m_table.appId[slot] = appId;
    m_table.executable[slot] = executable;
    if (pid > 0) {
        m_ui.Sleep(kLaunchSettleMs);
        if (m_processes.IsRunning(pid))
            m_table.pid[slot] = pid;
    }
    if (m_table.pid[slot] == 0)
        m_table.pid[slot] = FindHolder(slot, pid);
    m_table.followed[slot] = m_table.pid[slot] != 0;
    if (m_table.pid[slot] == 0)
        m_table.searching[slot] = kSearchRounds;
    if (armWatchTimer)
        armWatchTimer(kWatchRoundMs);
}

qint64 CWorkingCopies::FindHolder(int slot, qint64 ended) {
    const qint64 self = QCoreApplication::applicationPid();
    const auto usable = [&](qint64 pid) { return pid > 0 && pid != ended && pid != self; };
    const QString& copy = m_table.path[slot];
    if (const QString& appId = m_table.appId[slot]; !appId.isEmpty())
        if (const qint64 owner = m_processes.DBusOwnerOf(appId); usable(owner))
            return owner;
    if (const qint64 holder = m_processes.HolderOf(copy); usable(holder))
        return holder;
    if (const qint64 window = m_processes.WindowOwnerOf(QFileInfo(copy).fileName()); usable(window))
        return window;
    if (const QString& executable = m_table.executable[slot]; !executable.isEmpty())
        if (const qint64 same = m_processes.RunningWithExecutable(executable); usable(same))
            return same;
    return 0;
}

// The same copy opened twice: the slot whose program runs on speaks for it.
bool CWorkingCopies::AnotherSlotFollows(int slot) {
    for (int other = 0; other < WatchTable::kSlots; ++other)
        if (other != slot && m_table.path[other] == m_table.path[slot] && m_table.pid[other] != 0 &&
            m_processes.IsRunning(m_table.pid[other]))
            return true;
    return false;
}

void CWorkingCopies::WatchTick() {
    int counted = 0;
    for (int slot = 0; slot < WatchTable::kSlots; ++slot) {
        if (shuttingDown && shuttingDown())
            return; // the timer stays off
        if (!m_table.InUse(slot))
            continue;
        ++counted;
        // A command is running: this slot waits for a later round, and nothing of it is asked meanwhile
        // (asking reaps an ended child, whose number could then be given to another process).
        if (isBusy && isBusy())
            continue;
        WatchSlot(slot);
    }
    if (armWatchTimer)
        armWatchTimer(counted > 0 && !(shuttingDown && shuttingDown()) ? kWatchRoundMs : 0);
}

void CWorkingCopies::WatchSlot(int slot) {
    const qint64 pid = m_table.pid[slot];
    if (pid != 0 && m_processes.IsRunning(pid))
        return;
    if (AnotherSlotFollows(slot)) {
        m_table.Free(slot);
        return;
    }
    m_table.pid[slot] = 0;
    if (const qint64 holder = FindHolder(slot, pid); holder != 0) {
        m_table.pid[slot] = holder;
        m_table.followed[slot] = true;
        m_table.searching[slot] = 0;
        return;
    }
    // Still open or locked by a program we cannot name: looked at again on the next rounds.
    if (m_processes.IsOpenElsewhere(m_table.path[slot])) {
        m_table.searching[slot] = kSearchRounds;
        return;
    }
    if (pid != 0 || --m_table.searching[slot] <= 0) {
        m_table.searching[slot] = 0;
        // Never seen with a process: the copy waits in the decrypted-file list, as an unwatched one does.
        if (!m_table.followed[slot])
            m_table.Free(slot);
        else
            WriteBackSlot(slot);
    }
}

void CWorkingCopies::WriteBackSlot(int slot) {
    const QString copy = m_table.path[slot];
    {
        const BusySection section(busy);
        // A failure is shown and the copy stays in the decrypted-file list.
        static_cast<void>(WriteBackOne(copy));
        m_table.Free(slot);
    }
    if (refreshDecryptedList)
        refreshDecryptedList();
}

// ---- write back ----

OpResult CWorkingCopies::WriteBackOne(const QString& workingCopy) {
    m_ui.Sleep(kWriteBackDelayMs);
    const QString copy = CleanPath(workingCopy);
    if (!QFileInfo::exists(copy))
        return OpResult::kDone;
    Place place;
    if (!Locate(copy, place))
        return Fail(msg::kNoFolder, WithPath(QString(), copy, PathSeparator::Paragraph), Icon::Warning);
    const bool readOnly = ReadOnlyFolder(place.slot);
    // A removed medium or a deleted folder: the copy is all there is of the changes, so it stays.
    if (!QFileInfo(place.root).isDir()) {
        if (!readOnly)
            Report(msg::kUnreachable, place.root, Icon::Warning);
        return OpResult::kFailed;
    }
    for (int round = 0; round < kWriteBackRounds && QFileInfo::exists(copy); ++round) {
        QString proposed;
        const QString container = ContainerOf(copy, proposed, true);
        if (!container.isEmpty() && !QFileInfo::exists(container))
            return Fail(msg::kContainerMissing, WithPath(QString(), container, PathSeparator::Paragraph));

        const bool changed = IsChanged(copy, container);
        if (changed && readOnly) {
            Report(msg::kReadOnlyChangedHead, place.root + m_messages.MsgA(msg::kReadOnlyChangedTail), Icon::Warning);
            if (Erase(copy, msg::kEraseReadOnly) != OpResult::kDone)
                return OpResult::kFailed;
        } else if (changed && !container.isEmpty() && !StillTheOrigin(copy, container)) {
            return WriteBackAsConflict(copy, place, container);
        } else if (changed) {
            // Without a container the copy becomes a new one where its directory says; a directory
            // deleted meanwhile is made again rather than losing the file.
            const QString destination = container.isEmpty() ? place.directory : QFileInfo(container).absolutePath();
            if (EncryptBack(copy, destination, container) != OpResult::kDone) {
                // The old container stays in force, so it carries its attribute again; the copy waits.
                if (!container.isEmpty() && QFileInfo::exists(container))
                    static_cast<void>(m_files.SetReadOnly(container));
                return OpResult::kFailed;
            }
            if (QFileInfo::exists(copy)) {
                // Saved over while it was encrypted: the container holds what was read, and the copy, now
                // an edit of that container, goes round again.
                const QString written = ContainerOf(copy, proposed, true);
                if (!written.isEmpty())
                    RecordOrigin(copy, written, -1, -1);
                continue;
            }
        } else {
            if (Erase(copy, msg::kEraseUnchanged) != OpResult::kDone)
                return OpResult::kFailed;
            if (!readOnly)
                static_cast<void>(m_files.SetReadOnly(container));
        }
        ForgetOrigin(copy);
        break;
    }
    if (refreshContents)
        refreshContents();
    return OpResult::kDone;
}

OpResult CWorkingCopies::EncryptBack(const QString& workingCopy, const QString& destination,
                                     const QString& replaceTarget) {
    m_ui.SetStatusText(m_messages.MsgA(msg::kWritingBack));
    // A folder that cannot be made fails the encrypt-in below, with its message.
    static_cast<void>(m_files.MakeFolderPath(destination));
    CEncryptIn encrypt(m_services, m_prompts);
    EncryptInRequest request;
    request.mode = EncryptInRequest::kMove;
    request.sources = {workingCopy};
    request.destination = destination;
    request.replaceTarget = replaceTarget;
    // The engine writes the new container beside the old one, verifies it and renames it over; the copy is
    // wiped only after that rename is on disk, and only when it is still the file that was read.
    const OpResult rc = encrypt.Run(request);
    m_ui.SetStatusText(QString());
    return rc;
}

// "<name> (競合 YYYY-MM-DD HHMM).<ext>", with a number added while the folder already has the name.
OpResult CWorkingCopies::WriteBackAsConflict(const QString& workingCopy, const Place& place, const QString& container) {
    QList<NameEntry> entries;
    if (m_nameFile.RefreshNameFile(place.directory, place.root) != 0 ||
        m_nameFile.LoadNameEntries(place.directory, place.root, false, entries) != 0)
        return OpResult::kFailed;
    QSet<QString> taken;
    for (const NameEntry& entry : entries)
        taken.insert(entry.displayName);
    const QFileInfo original(place.name);
    const bool dotName = original.completeBaseName().isEmpty();
    const QString stem = dotName ? place.name : original.completeBaseName();
    const QString extension = dotName || original.suffix().isEmpty() ? QString() : u'.' + original.suffix();
    const QString stamp = QDateTime::currentDateTime().toString(QStringLiteral("yyyy-MM-dd HHmm"));
    const QString directory = QFileInfo(workingCopy).absolutePath();
    QString name;
    for (int n = 1;; ++n) {
        name = stem + QStringLiteral(" (競合 ") + stamp + (n > 1 ? QStringLiteral(" %1").arg(n) : QString()) + u')' +
               extension;
        if (!taken.contains(name) && !QFileInfo::exists(ChildPath(directory, name)))
            break;
    }
    const QString renamed = ChildPath(directory, name);
    if (const int rc = m_files.Rename(workingCopy, renamed).error; rc != 0)
        return Fail(msg::kCopyMissing, ErrnoText(rc) + QStringLiteral("\n\n") + workingCopy);
    ForgetOrigin(workingCopy);
    // The edit is safe in the editing area under its new name whatever happens next: a failed encryption
    // leaves it listed there as a file without a container.
    if (EncryptBack(renamed, place.directory, QString()) != OpResult::kDone)
        return OpResult::kFailed;
    static_cast<void>(m_files.SetReadOnly(container));
    m_ui.Message(m_messages.MsgA(msg::kConflictCopy) + name, Icon::Warning, Buttons::Ok, 0, msg::kConflictCopy);
    if (refreshContents)
        refreshContents();
    return OpResult::kDone;
}

OpResult CWorkingCopies::Erase(const QString& path, int failureMessage) {
    m_ui.SetStatusText(m_messages.MsgA(msg::kErasing));
    QString error;
    const int rc = EraseCopy(path, error);
    m_ui.SetStatusText(QString());
    if (rc != 0)
        return Fail(failureMessage, error.contains(path) ? error : error + u'\n' + path);
    return OpResult::kDone;
}

int CWorkingCopies::EraseCopy(const QString& path, QString& error) {
    const QFileInfo info(path);
    if (!info.isDir() || info.isSymLink()) {
        // A link is removed, never wiped: wiping would zero the file it points to.
        if (info.isSymLink()) {
            const int rc = m_files.Remove(path).error;
            if (rc != 0)
                error = ErrnoText(rc) + QStringLiteral("\n\n") + path;
            return rc == 0 ? 0 : -1;
        }
        // Gone already: it went with a copy as one of its companions.
        if (!info.exists())
            return 0;
        // Editors' companions whose owners have ended go with the copy (swap and auto-save files hold its
        // text); one that is a container's copy of its own stays.
        const QStringList companions = EndedCompanionsOf(path);
        if (const int rc = m_engine.WipeAndDelete(path, error, true); rc != 0)
            return rc;
        for (const QString& companion : companions) {
            QString proposed;
            if (!ContainerOf(companion, proposed, true).isEmpty())
                continue;
            // Best effort (a link is only removed): a start-up wipes a ".delf" a wipe leaves.
            QString ignored;
            static_cast<void>(m_engine.WipeAndDelete(companion, ignored, true));
        }
        return 0;
    }
    static_cast<void>(m_files.SetPermissions(path, kPrivateFolderMode));
    // Listed once: a companion wiped with its copy is simply gone when its turn comes.
    QStringList entries;
    static_cast<void>(EntriesOf(path, entries));
    for (const QString& entry : entries)
        if (EraseCopy(entry, error) != 0)
            return -1;
    if (const int rc = m_files.RemoveFolder(path).error; rc != 0) {
        error = ErrnoText(rc) + QStringLiteral("\n\n") + path;
        return -1;
    }
    return 0;
}

} // namespace korimbo
