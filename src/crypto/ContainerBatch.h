#pragma once

#include "crypto/EngineResult.h"
#include "util/FileSystem.h"

#include <QString>
#include <QStringList>
#include <QVector>

#include <memory>
#include <optional>
#include <thread>

namespace korimbo {

// New containers written one after another (many small files taken in at once): each is written and
// verified under its hidden name, and the batch makes them durable together and renames them into
// place. One journal commit covers the whole batch instead of one per file, and no container shows
// under its own name before its bytes are on disk. Where the file layer marks the volume, one sync of
// the volume stands for the syncs of every file on it. A container that replaces another never waits here.
// A full batch can be committed on a thread of its own while the next one fills: its syncs wait on the
// disk, not on the processor.
class CContainerBatch {
public:
    static constexpr int kMaxFiles = 512;
    static constexpr qint64 kMaxBytes = 64ll * 1024 * 1024;

    // A committed container, or why one was not: `error` is the errno of the step that failed.
    struct Outcome {
        QString container;
        int error = 0;
    };

    explicit CContainerBatch(FileSystem& files) : m_files(files) {}
    ~CContainerBatch();
    CContainerBatch(const CContainerBatch&) = delete;
    CContainerBatch& operator=(const CContainerBatch&) = delete;

    // Opens a batch for containers written into `folder` and below; its volume is marked before the first
    // of them is written.
    void Open(const QString& folder);
    [[nodiscard]] bool IsOpen() const { return m_open; }
    // Takes a verified container that lies at `temp` until the commit; false when no batch is open.
    bool Hold(const QString& temp, const QString& container, qint64 bytes);
    // Where `container` lies now: its hidden name while it waits, else itself.
    [[nodiscard]] QString PathOf(const QString& container) const;
    [[nodiscard]] bool Full() const { return m_pending.size() >= kMaxFiles || m_bytes >= kMaxBytes; }
    [[nodiscard]] bool Empty() const { return m_pending.isEmpty(); }
    // Syncs every waiting file, renames each into place and syncs each folder once. A file that could not
    // be synced or renamed is removed; one whose folder could not be synced stays in place. Both are
    // named in the outcomes with their error. The batch stays open.
    // A commit handed to its thread ends first; the outcomes are those of both.
    [[nodiscard]] QVector<Outcome> Commit();
    // Hands what waits to a thread of its own to commit, once the commit handed over before has ended;
    // the outcomes are that earlier commit's. Its containers are out of PathOf's reach from now on.
    [[nodiscard]] QVector<Outcome> Pass();
    // Ends the batch. Commit first: what still waited would be put in place without a word on failure.
    void Close();

private:
    struct Pending {
        QString temp;
        QString container;
    };
    QVector<Outcome> CommitAll(const QVector<Pending>& pending);
    QVector<Outcome> Join();
    int SyncOne(const QString& path, std::optional<int>& volumeError);

    FileSystem& m_files;
    std::unique_ptr<VolumeSync> m_volume; // null where each file is synced on its own
    QVector<Pending> m_pending;
    // The batch handed over: only its thread touches these until it is joined.
    QVector<Pending> m_passed;
    QVector<Outcome> m_passedOutcomes;
    std::thread m_committer;
    qint64 m_bytes = 0;
    bool m_open = false;
};

} // namespace korimbo
