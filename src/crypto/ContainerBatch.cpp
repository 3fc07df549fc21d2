#include "crypto/ContainerBatch.h"

#include "util/FileNames.h"

#include <QFileInfo>
#include <QSet>

#include <cerrno>
#include <utility>

namespace korimbo {

void CContainerBatch::Open(const QString& folder) {
    m_volume = m_files.MarkVolume(folder);
    m_open = true;
}

bool CContainerBatch::Hold(const QString& temp, const QString& container, qint64 bytes) {
    if (!m_open)
        return false;
    m_pending.append({temp, container});
    m_bytes += bytes;
    return true;
}

QString CContainerBatch::PathOf(const QString& container) const {
    for (const Pending& pending : m_pending)
        if (pending.container == container)
            return pending.temp;
    return container;
}

// Puts a waiting file's bytes on the disk before it is renamed: on the marked volume through one sync of
// the volume, run at the first such file of a commit, else through the file's own sync.
int CContainerBatch::SyncOne(const QString& path, std::optional<int>& volumeError) {
    if (m_volume && m_volume->Holds(ParentOf(path))) {
        if (!volumeError)
            volumeError = m_volume->Sync().error;
        return *volumeError;
    }
    int error = 0;
    const std::unique_ptr<File> file = m_files.Open(path, OpenMode::Read, error);
    if (!file)
        return error != 0 ? error : EIO;
    if (!file->Sync())
        return file->Error() != 0 ? file->Error() : EIO;
    return 0;
}

CContainerBatch::~CContainerBatch() {
    static_cast<void>(Join());
}

QVector<CContainerBatch::Outcome> CContainerBatch::Commit() {
    QVector<Outcome> outcomes = Join();
    outcomes += CommitAll(std::exchange(m_pending, {}));
    m_bytes = 0;
    return outcomes;
}

QVector<CContainerBatch::Outcome> CContainerBatch::Pass() {
    QVector<Outcome> outcomes = Join();
    m_passed = std::exchange(m_pending, {});
    m_bytes = 0;
    m_committer = std::thread([this] { m_passedOutcomes = CommitAll(m_passed); });
    return outcomes;
}

QVector<CContainerBatch::Outcome> CContainerBatch::Join() {
    if (!m_committer.joinable())
        return {};
    m_committer.join();
    m_passed.clear();
    return std::exchange(m_passedOutcomes, {});
}

QVector<CContainerBatch::Outcome> CContainerBatch::CommitAll(const QVector<Pending>& pending) {
    QVector<Outcome> outcomes;
    // Every file was handed to the disk as it was closed; the first sync commits them all, the rest
    // find their data already there.
    std::optional<int> volumeError;
    QSet<QString> folders;
    for (const Pending& one : pending) {
        Outcome outcome{one.container, SyncOne(one.temp, volumeError)};
        if (outcome.error == 0)
            outcome.error = m_files.Rename(one.temp, one.container).error;
        if (outcome.error == 0) {
            // A container left writable is no loss of data.
            static_cast<void>(m_files.SetReadOnly(one.container));
            folders.insert(QFileInfo(one.container).absolutePath());
        } else {
            static_cast<void>(m_files.MakeWritable(one.temp));
            static_cast<void>(m_files.Remove(one.temp));
        }
        outcomes.append(outcome);
    }
    for (const QString& folder : std::as_const(folders)) {
        const int error = m_files.SyncFolder(folder).error;
        // The files are whole and in place, but their names may not outlive a power cut: a move must
        // keep their sources.
        for (Outcome& outcome : outcomes)
            if (error != 0 && outcome.error == 0 && QFileInfo(outcome.container).absolutePath() == folder)
                outcome.error = error;
    }
    return outcomes;
}

void CContainerBatch::Close() {
    if (!m_pending.isEmpty() || m_committer.joinable())
        static_cast<void>(Commit());
    m_volume.reset();
    m_open = false;
}

} // namespace korimbo
