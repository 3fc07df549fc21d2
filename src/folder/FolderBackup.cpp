#include "folder/FolderBackup.h"

#include "crypto/ContainerHeader.h"
#include "util/BusySection.h"
#include "util/ErrorText.h"
#include "util/FileCopy.h"
#include "util/MessageNumbers.h"
#include "util/MessageText.h"
#include "util/PathIdentity.h"
#include "util/TreeWalk.h"

#include <QFileInfo>

#include <cerrno>
#include <cstdlib>
#include <cstring>

namespace korimbo {

namespace {

constexpr qint64 kNsPerSecond = 1000000000;
// FAT keeps modification times in steps of two seconds: a copy there may be a second behind its source.
constexpr qint64 kTimeSlackSeconds = 2;
constexpr int kTailBytes = 16;

// Up to `count` bytes into `buffer`, fewer only at the end of the file; -1 on a read error.
qint64 ReadFull(File& file, char* buffer, qint64 count) {
    qint64 done = 0;
    while (done < count) {
        const qint64 n = file.Read(buffer + done, count - done);
        if (n < 0)
            return -1;
        if (n == 0)
            break;
        done += n;
    }
    return done;
}

// The bytes of `file` at `offset`, as many as `bytes` holds; false when they cannot all be read.
bool ReadAt(File& file, qint64 offset, Whence whence, QByteArray& bytes) {
    return file.Seek(offset, whence) >= 0 && ReadFull(file, bytes.data(), bytes.size()) == bytes.size();
}

// The header and the last bytes of a file: what a rewrite of a container changes even when its size and
// time stay, and where a copy damaged on the way most often shows.
bool EndsOf(FileSystem& files, const QString& path, qint64 size, QByteArray& ends) {
    int error = 0;
    const std::unique_ptr<File> file = files.Open(path, OpenMode::Read, error);
    if (!file || size < ContainerHeader::kSize + kTailBytes)
        return false;
    QByteArray head(ContainerHeader::kSize, '\0');
    QByteArray tail(kTailBytes, '\0');
    if (!ReadAt(*file, 0, Whence::Begin, head) || !ReadAt(*file, -kTailBytes, Whence::End, tail))
        return false;
    ends = head + tail;
    return true;
}

} // namespace

CFolderBackup::CFolderBackup(CCryptEngine& engine, FileSystem& files, Interaction& ui, MessageSource& messages)
    : m_engine(engine), m_files(files), m_ui(ui), m_messages(messages) {}

QString CFolderBackup::TargetOf(const QString& root, const QString& destination) {
    QString base = destination;
    while (base.size() > 1 && base.endsWith(u'/'))
        base.chop(1);
    return (base == QStringLiteral("/") ? QString() : base) + u'/' + QFileInfo(root).fileName();
}

OpResult CFolderBackup::Run(const QString& root, const QString& destination) {
    m_counts = {};
    m_key = root; // the folder's key slot is named after its registered path
    const QString target = TargetOf(root, destination);
    if (!PlacementAllowed(root, target))
        return OpResult::kFailed;
    Step step = Step::Done;
    {
        // The summary below is read after the busy time: the stop button is gone by then.
        const BusySection section(busy);
        step = CopyAll(root, target);
        m_ui.SetStatusText(QString());
    }
    if (step == Step::Stopped)
        return OpResult::kDeclined;
    if (step == Step::Failed)
        return OpResult::kFailed;
    ShowSummary();
    return OpResult::kDone;
}

CFolderBackup::Step CFolderBackup::CopyAll(const QString& root, const QString& target) {
    QStringList folders;
    QStringList files;
    Step step = Collect(root, folders, files);
    if (step == Step::Done)
        step = MakeFolders(root, target, folders);
    for (int i = 0; step == Step::Done && i < files.size(); ++i) {
        const QString relative = files[i].mid(root.size());
        m_ui.SetStatusText(m_messages.MsgA(msg::kBackupProgress) + relative.mid(1) +
                           QStringLiteral(" (%1/%2)").arg(i + 1).arg(files.size()));
        m_ui.Pump();
        step = m_ui.StopRequested() ? Stop() : CarryFile(files[i], target + relative);
    }
    return step;
}

// A backup inside the folder would copy itself into itself; a backup around the folder would hold it.
bool CFolderBackup::PlacementAllowed(const QString& root, const QString& target) {
    if (!IsWithinResolved(target, root) && !IsWithinResolved(root, target))
        return true;
    ReportMessage(m_ui, m_messages, msg::kBackupInsideFolder, WithPath(QString(), target, PathSeparator::Paragraph),
                  Icon::Warning);
    return false;
}

// Every folder and file below the root, links and special files counted and left out (a link is never
// followed, so nothing outside the folder is reached through one), our own leftovers passed over.
CFolderBackup::Step CFolderBackup::Collect(const QString& root, QStringList& folders, QStringList& files) {
    const WalkResult walk = WalkTree(root, [&](const TreeEntry& entry) {
        const QString name = QFileInfo(entry.path).fileName();
        if (entry.kind == ItemKind::Folder)
            folders.append(entry.path);
        else if (entry.kind == ItemKind::File && !CCryptEngine::IsTempName(name) && !CCryptEngine::IsWipeName(name))
            files.append(entry.path);
        else if (entry.kind == ItemKind::Link || entry.kind == ItemKind::Special)
            ++m_counts.notContainers;
        return Visit::Continue;
    });
    if (walk.unreadable.isEmpty())
        return Step::Done;
    return CopyFailed(walk.unreadable.first(), 0); // the walk keeps no errno
}

CFolderBackup::Step CFolderBackup::MakeFolders(const QString& root, const QString& target, const QStringList& folders) {
    for (const QString& folder : QStringList{root} + folders) {
        const QString made = target + folder.mid(root.size());
        if (const int rc = m_files.MakeFolderPath(made).error; rc != 0) {
            ReportMessage(m_ui, m_messages, msg::kBackupFolderFailed,
                          WithPath(ErrnoText(rc), made, PathSeparator::Paragraph));
            return Step::Failed;
        }
    }
    return Step::Done;
}

CFolderBackup::Step CFolderBackup::CarryFile(const QString& from, const QString& to) {
    int error = 0;
    if (!m_files.Open(from, OpenMode::Read, error))
        return CopyFailed(from, error);
    if (!IsContainerOfKey(from)) {
        ++m_counts.notContainers;
        return Step::Done;
    }
    if (SameCopy(from, to)) {
        ++m_counts.unchanged;
        return Step::Done;
    }
    return CopyVerified(from, to);
}

// A container the folder's key opens. Anything else (a plain file, a container of another password or of
// a newer version) is not carried: plaintext stays off the backup disk, and a copy could not be verified.
bool CFolderBackup::IsContainerOfKey(const QString& path) {
    ContainerInfo info;
    const std::optional<ContainerCheck> check = m_engine.CheckContainer(path, info, m_key, false);
    return check && check->Usable();
}

// The destination holds this container already: same size, same time, same header and last bytes.
bool CFolderBackup::SameCopy(const QString& from, const QString& to) {
    FileIdentity source;
    FileIdentity copy;
    if (KindOf(to) != ItemKind::File || !m_files.Identify(from, source).Ok() || !m_files.Identify(to, copy).Ok())
        return false;
    if (source.size != copy.size ||
        std::llabs(source.modifiedNs / kNsPerSecond - copy.modifiedNs / kNsPerSecond) >= kTimeSlackSeconds)
        return false;
    QByteArray sourceEnds;
    QByteArray copyEnds;
    return EndsOf(m_files, from, source.size, sourceEnds) && EndsOf(m_files, to, copy.size, copyEnds) &&
           sourceEnds == copyEnds;
}

// The copy goes to a hidden name beside its target, is verified there and only then takes the target's
// place; a copy that fails its verification is removed and the original is left as it is.
CFolderBackup::Step CFolderBackup::CopyVerified(const QString& from, const QString& to) {
    const QString staged = CCryptEngine::TempPathBeside(to, TempKind::Sealed);
    CopyOptions options;
    options.temp = TempKind::Sealed;
    options.keepMode = true;
    options.progress = [this](qint64) {
        m_ui.Pump();
        return !m_ui.StopRequested();
    };
    const CopyResult copied = CopyFileTo(m_files, from, staged, options);
    if (copied.step == CopyStep::Stopped)
        return Stop();
    if (!copied.Ok())
        return CopyFailed(copied.SourceFailed() ? from : to, copied.error);
    if (!Verified(from, staged)) {
        static_cast<void>(m_files.Remove(staged));
        if (m_ui.StopRequested())
            return Stop();
        ++m_counts.rejected;
        ReportMessage(m_ui, m_messages, msg::kBackupCopyRejected, WithPath(QString(), from, PathSeparator::Paragraph),
                      Icon::Warning);
        return Step::Done;
    }
    if (const int rc = m_files.Rename(staged, to).error; rc != 0) {
        static_cast<void>(m_files.Remove(staged));
        return CopyFailed(to, rc);
    }
    static_cast<void>(m_files.SyncFolder(QFileInfo(to).path()));
    ++m_counts.copied;
    return Step::Done;
}

// The copy holds the source's bytes (what the disk or the way there damaged shows here, the fields no
// key protects too), and its header and body check out with the folder's key as a decryption checks them.
bool CFolderBackup::Verified(const QString& from, const QString& copy) {
    return SameBytes(from, copy) && IsContainerOfKey(copy) && m_engine.VerifyContainer(copy, m_key) == kOk;
}

bool CFolderBackup::SameBytes(const QString& first, const QString& second) {
    int error = 0;
    const std::unique_ptr<File> one = m_files.Open(first, OpenMode::Read, error);
    const std::unique_ptr<File> two = m_files.Open(second, OpenMode::Read, error);
    if (!one || !two)
        return false;
    QByteArray a(CCryptEngine::kPieceSize, '\0');
    QByteArray b(CCryptEngine::kPieceSize, '\0');
    for (;;) {
        m_ui.Pump();
        if (m_ui.StopRequested())
            return false;
        const qint64 n = ReadFull(*one, a.data(), a.size());
        if (n < 0 || ReadFull(*two, b.data(), b.size()) != n ||
            std::memcmp(a.constData(), b.constData(), std::size_t(n)) != 0)
            return false;
        if (n < a.size())
            return true;
    }
}

CFolderBackup::Step CFolderBackup::CopyFailed(const QString& path, int error) {
    ReportMessage(m_ui, m_messages, msg::kBackupCopyFailed,
                  WithPath(error != 0 ? ErrnoText(error) : QString(), path, PathSeparator::Paragraph));
    return Step::Failed;
}

void CFolderBackup::ShowSummary() {
    QString text = m_messages.MsgA(msg::kBackupFinished) + u'\n' + m_messages.MsgA(msg::kBackupCopiedCount) +
                   QString::number(m_counts.copied) + u'\n' + m_messages.MsgA(msg::kBackupUnchangedCount) +
                   QString::number(m_counts.unchanged);
    if (m_counts.notContainers > 0)
        text += u'\n' + m_messages.MsgA(msg::kBackupNotContainersCount) + QString::number(m_counts.notContainers);
    if (m_counts.rejected > 0)
        text += u'\n' + m_messages.MsgA(msg::kBackupRejectedCount) + QString::number(m_counts.rejected);
    m_ui.Message(text, m_counts.rejected > 0 ? Icon::Warning : Icon::Information, Buttons::Ok, 0, msg::kBackupFinished);
}

CFolderBackup::Step CFolderBackup::Stop() {
    ReportMessage(m_ui, m_messages, msg::kBackupStopped, QString(), Icon::Information);
    return Step::Stopped;
}

} // namespace korimbo
