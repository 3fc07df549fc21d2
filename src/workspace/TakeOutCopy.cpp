#include "workspace/TakeOutCopy.h"

#include "util/ErrorText.h"
#include "util/FileCopy.h"
#include "util/FileNames.h"
#include "util/MessageNumbers.h"
#include "util/MessageText.h"
#include "util/PathIdentity.h"
#include "util/TreeWalk.h"
#include "workspace/WorkingCopies.h"

#include <QFileInfo>

#include <algorithm>
#include <cerrno>

namespace korimbo {

namespace {

// Copied files waiting for their names: a bound on the temporary files a crash can leave.
constexpr qsizetype kCommitEvery = 1000;

} // namespace

CTakeOutCopy::CTakeOutCopy(CWorkingCopies& copies, FileSystem& files, Interaction& ui, MessageSource& messages,
                           const QStringList& staged, bool move, Progress progress)
    : m_copies(copies), m_files(files), m_ui(ui), m_messages(messages), m_move(move), m_progress(std::move(progress)) {
    for (const QString& item : staged)
        m_total += TreeBytes(item);
}

int CTakeOutCopy::CopyItem(const QString& from, const QString& to) {
    if (!m_volume && !m_move)
        m_volume = m_files.MarkVolume(ParentOf(to));
    // What was copied before a failure or a stop keeps its place, as each file did when it was done.
    const int rc = CopyTree(from, to);
    return Commit() == 0 ? rc : -1;
}

int CTakeOutCopy::CopyTree(const QString& from, const QString& to) {
    const Step first = CopyEntry(from, to);
    if (first != Step::Into)
        return first == Step::Done ? 0 : -1;
    bool failed = false;
    QStringList entered{from};
    WalkTree(from, [&](const TreeEntry& entry) {
        const Step step = CopyEntry(entry.path, to + entry.path.mid(from.size()));
        if (step == Step::Failed) {
            failed = true;
            return Visit::Stop;
        }
        if (step == Step::Done)
            return Visit::Prune;
        entered.append(entry.path);
        return Visit::Continue;
    });
    // A moved folder goes once everything in it has gone; one still holding something stays.
    if (m_move && !failed)
        for (auto it = entered.crbegin(); it != entered.crend(); ++it)
            static_cast<void>(m_files.RemoveFolder(*it));
    return failed ? -1 : 0;
}

CTakeOutCopy::Step CTakeOutCopy::CopyEntry(const QString& from, const QString& to) {
    const ItemKind kind = KindOf(from);
    if (kind == ItemKind::Missing)
        return Failed(msg::kStagedMissing, WithPath(QString(), from, PathSeparator::Paragraph), Icon::Warning);
    // A pipe or a device (in a folder taken out as it is) is never opened: it would block the copy.
    if (kind == ItemKind::Special)
        return Step::Done;
    return kind == ItemKind::Folder ? EnterFolder(from, to) : CopyFile(from, to);
}

// Into a folder of the same name, or renamed there whole when a move finds none.
CTakeOutCopy::Step CTakeOutCopy::EnterFolder(const QString& from, const QString& to) {
    const QFileInfo target(to);
    if (target.exists() && !target.isDir())
        return Failed(msg::kCopyOutFailed, WithPath(QString(), to, PathSeparator::Paragraph));
    if (!target.exists() && m_move && m_files.Rename(from, to).Ok()) {
        m_done += TreeBytes(to);
        return Step::Done;
    }
    if (const int rc = m_files.MakeFolderPath(to).error; rc != 0)
        return Failed(msg::kCopyOutFailed, WithPath(ErrnoText(rc), to, PathSeparator::Paragraph));
    return Step::Into;
}

CTakeOutCopy::Step CTakeOutCopy::CopyFile(const QString& from, const QString& to) {
    const qint64 size = TreeBytes(from);
    if (ItemExists(to)) {
        if (IsFolderItem(to))
            return Failed(msg::kCopyOutFailed, WithPath(QString(), to, PathSeparator::Paragraph));
        if (m_ui.Message(m_messages.MsgA(msg::kReplaceQuestion) + to, Icon::Question, Buttons::YesNo, kAnswerNo,
                         msg::kReplaceQuestion) != kAnswerYes) {
            m_done += size;
            return Step::Done;
        }
    }
    if (m_move && m_files.Rename(from, to).Ok()) {
        m_done += size;
        return Step::Done;
    }
    const qint64 before = m_done;
    CopyOptions options;
    options.temp = TempKind::Plain;
    options.keepMode = true;
    // A copy waits under a temporary name to be renamed with the others of its folder, synced through the
    // handle that wrote it (which is told of any failure to write it back) or later with its volume. A
    // move removes its source next, so its copy is synced and takes its name at once.
    const QString target = m_move ? to : TempPathBeside(to, TempKind::Plain);
    const bool withVolume = !m_move && m_volume && m_volume->Holds(ParentOf(to));
    options.sync = !withVolume;
    options.syncFolder = m_move;
    options.progress = [&](qint64 bytes) {
        m_done = before + bytes;
        return GoOn();
    };
    const CopyResult copied = CopyFileTo(m_files, from, target, options);
    // The user's own stop needs no message.
    if (copied.step == CopyStep::Stopped)
        return Step::Failed;
    // Too large for the target's volume (FAT's 4 GiB): refused before writing, or cut off by the volume.
    if (copied.error == EFBIG && !copied.SourceFailed())
        return Failed(msg::kTooLargeForVolume, WithPath(QString(), to, PathSeparator::Paragraph));
    if (!copied.Ok())
        return Failed(msg::kCopyOutFailed, WithPath(ErrnoText(copied.error), to, PathSeparator::Paragraph));
    m_done = before + size;
    if (!m_move) {
        m_pending.append({target, to, withVolume});
        return m_pending.size() < kCommitEvery || Commit() == 0 ? Step::Done : Step::Failed;
    }
    QString error;
    // A moved decrypted copy leaves no plaintext behind in the take-out area.
    if (m_copies.EraseCopy(from, error) != 0)
        static_cast<void>(m_files.Remove(from));
    return Step::Done;
}

CTakeOutCopy::Step CTakeOutCopy::Failed(int number, const QString& tail, Icon icon) {
    ReportMessage(m_ui, m_messages, number, tail, icon);
    return Step::Failed;
}

int CTakeOutCopy::Commit() {
    QStringList folders;
    int rc = SyncVolume();
    for (const Pending& pending : std::as_const(m_pending)) {
        if (rc != 0 || Place(pending.temp, pending.to) != 0) {
            static_cast<void>(m_files.Remove(pending.temp));
            rc = -1;
            continue;
        }
        if (const QString folder = ParentOf(pending.to); !folders.contains(folder))
            folders.append(folder);
    }
    m_pending.clear();
    for (const QString& folder : std::as_const(folders))
        static_cast<void>(m_files.SyncFolder(folder));
    return rc;
}

int CTakeOutCopy::SyncVolume() {
    const auto unsynced = std::find_if(m_pending.cbegin(), m_pending.cend(), [](const Pending& p) { return p.unsynced; });
    if (unsynced == m_pending.cend())
        return 0;
    // Which file failed is not known: none of them takes its name.
    if (const int error = m_volume->Sync().error; error != 0)
        return ReportMessage(m_ui, m_messages, msg::kCopyOutFailed,
                             WithPath(ErrnoText(error), unsynced->to, PathSeparator::Paragraph));
    return 0;
}

int CTakeOutCopy::Place(const QString& temp, const QString& to) {
    // A read-only file being replaced would refuse the rename on some file systems.
    const bool readOnly = KindOf(to) == ItemKind::File && (QFileInfo(to).permissions() & QFile::WriteOwner) == 0;
    if (readOnly)
        static_cast<void>(m_files.MakeWritable(to));
    const int error = m_files.Rename(temp, to).error;
    if (error == 0)
        return 0;
    if (readOnly)
        static_cast<void>(m_files.SetReadOnly(to));
    return ReportMessage(m_ui, m_messages, msg::kCopyOutFailed,
                         WithPath(ErrnoText(error), to, PathSeparator::Paragraph));
}

bool CTakeOutCopy::GoOn() {
    m_ui.Pump();
    return !m_ui.StopRequested() && (!m_progress || m_progress(m_done, m_total));
}

} // namespace korimbo
