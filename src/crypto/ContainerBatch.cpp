#include "crypto/ContainerBatch.h"

#include <QFileInfo>
#include <QSet>

#include <cerrno>

namespace korimbo {

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

int CContainerBatch::SyncOne(const QString& path) {
    int error = 0;
    const std::unique_ptr<File> file = m_files.Open(path, OpenMode::Read, error);
    if (!file)
        return error != 0 ? error : EIO;
    if (!file->Sync())
        return file->Error() != 0 ? file->Error() : EIO;
    return 0;
}

QVector<CContainerBatch::Outcome> CContainerBatch::Commit() {
    QVector<Outcome> outcomes;
    // Every file was handed to the disk as it was closed; the first sync commits them all, the rest
    // find their data already there.
    QSet<QString> folders;
    for (const Pending& pending : std::as_const(m_pending)) {
        Outcome outcome{pending.container, SyncOne(pending.temp)};
        if (outcome.error == 0)
            outcome.error = m_files.Rename(pending.temp, pending.container).error;
        if (outcome.error == 0) {
            // A container left writable is no loss of data.
            static_cast<void>(m_files.SetReadOnly(pending.container));
            folders.insert(QFileInfo(pending.container).absolutePath());
        } else {
            static_cast<void>(m_files.MakeWritable(pending.temp));
            static_cast<void>(m_files.Remove(pending.temp));
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
    m_pending.clear();
    m_bytes = 0;
    return outcomes;
}

void CContainerBatch::Close() {
    if (!m_pending.isEmpty())
        static_cast<void>(Commit());
    m_open = false;
}

} // namespace korimbo
