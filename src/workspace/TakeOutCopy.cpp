#include "workspace/TakeOutCopy.h"

#include "util/ErrorText.h"
#include "util/FileCopy.h"
#include "util/MessageNumbers.h"
#include "util/MessageText.h"
#include "util/PathIdentity.h"
#include "util/TreeWalk.h"
#include "workspace/WorkingCopies.h"

#include <QFileInfo>

#include <cerrno>

namespace korimbo {

CTakeOutCopy::CTakeOutCopy(CWorkingCopies& copies, FileSystem& files, Interaction& ui, MessageSource& messages,
                           const QStringList& staged, bool move, Progress progress)
    : m_copies(copies), m_files(files), m_ui(ui), m_messages(messages), m_move(move), m_progress(std::move(progress)) {
    for (const QString& item : staged)
        m_total += TreeBytes(item);
}

int CTakeOutCopy::CopyItem(const QString& from, const QString& to) {
    const int rc = CopyTree(from, to);
    SyncFolders();
    return rc;
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
    // A move removes its source next: the copy's name must be on the disk first. A copy's names go to the
    // disk once per folder, each after its bytes.
    options.syncFolder = m_move;
    if (!m_move)
        m_unsyncedFolders.insert(ParentOf(to));
    options.progress = [&](qint64 bytes) {
        m_done = before + bytes;
        return GoOn();
    };
    const CopyResult copied = CopyFileTo(m_files, from, to, options);
    // The user's own stop needs no message.
    if (copied.step == CopyStep::Stopped)
        return Step::Failed;
    // Too large for the target's volume (FAT's 4 GiB): refused before writing, or cut off by the volume.
    if (copied.error == EFBIG && !copied.SourceFailed())
        return Failed(msg::kTooLargeForVolume, WithPath(QString(), to, PathSeparator::Paragraph));
    if (!copied.Ok())
        return Failed(msg::kCopyOutFailed, WithPath(ErrnoText(copied.error), to, PathSeparator::Paragraph));
    m_done = before + size;
    if (m_move) {
        QString error;
        // A moved decrypted copy leaves no plaintext behind in the take-out area.
        if (m_copies.EraseCopy(from, error) != 0)
            static_cast<void>(m_files.Remove(from));
    }
    return Step::Done;
}

CTakeOutCopy::Step CTakeOutCopy::Failed(int number, const QString& tail, Icon icon) {
    ReportMessage(m_ui, m_messages, number, tail, icon);
    return Step::Failed;
}

void CTakeOutCopy::SyncFolders() {
    for (const QString& folder : std::as_const(m_unsyncedFolders))
        static_cast<void>(m_files.SyncFolder(folder));
    m_unsyncedFolders.clear();
}

bool CTakeOutCopy::GoOn() {
    m_ui.Pump();
    return !m_ui.StopRequested() && (!m_progress || m_progress(m_done, m_total));
}

} // namespace korimbo
