#pragma once

#include "util/DeferredRound.h"

#include <QHash>
#include <QObject>
#include <QString>

#include <functional>
#include <memory>

class QSocketNotifier;

namespace korimbo {

class CDecryptedFileModel;

// Keeps the decrypted-file list current: inotify on the editing area's whole subtree (a watch per
// directory, one more for each directory made later, followed by a rescan so that files made before the
// watch was in place are not missed; a full rescan when the kernel's queue overflowed) marks a rebuild as
// pending, and a 100 ms timer runs it once the window is no longer busy, so a write-back in progress is
// never listed half-done. Past the system's watch limit every round rescans instead.
class EditingAreaWatcher : public QObject {
    Q_OBJECT

public:
    static constexpr int kRoundMs = 100;
    static constexpr int kPollRounds = 10;

    explicit EditingAreaWatcher(QObject* parent = nullptr);
    // Follows the model: its area is watched, its refresh requests are taken, its Rebuild is the update.
    explicit EditingAreaWatcher(CDecryptedFileModel& model, QObject* parent = nullptr);
    ~EditingAreaWatcher() override;

    std::function<bool()> isBusy;
    std::function<void()> update;
    // At most this many directories get a watch (-1: as many as the system allows); past it the rounds
    // rescan, as past the system's limit.
    int maxWatches = -1;

    // Watches `directory` and everything below it from now on; an empty path suspends the watcher. A new
    // directory starts with a pending update.
    void Watch(const QString& directory);
    QString Watched() const { return m_directory; }
    void Request();
    bool Pending() const { return m_round.Pending(); }
    // True when inotify could not cover the subtree and each round rescans.
    bool Polling() const { return m_polling; }
    // Runs the pending update now unless the window is busy; true when it ran.
    bool RunPending();

private:
    void Close();
    void AddTree(const QString& directory);
    bool AddWatch(const QString& directory);
    void OnReadable();
    void Rewatch();

    DeferredRound m_round{kRoundMs};
    QString m_directory;
    int m_fd = -1;
    std::unique_ptr<QSocketNotifier> m_notifier;
    QHash<int, QString> m_watches; // watch descriptor -> directory
    bool m_polling = false;
    int m_rounds = 0;
};

} // namespace korimbo
