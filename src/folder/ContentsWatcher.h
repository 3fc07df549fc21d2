#pragma once

#include "util/DeferredRound.h"

#include <QFileSystemWatcher>
#include <QObject>
#include <QString>

#include <functional>

namespace korimbo {

// Keeps the shown directory's rows current: a change notification for the directory (not its subtree)
// marks an update as pending, and a 500 ms timer runs it once the window is no longer busy. Updates
// never run inside a busy section: a command that is running owns the list until it ends.
class ContentsWatcher : public QObject {
    Q_OBJECT

public:
    static constexpr int kRoundMs = 500;

    explicit ContentsWatcher(QObject* parent = nullptr);

    // What the watcher asks and does; set by the owner.
    std::function<bool()> isBusy;
    std::function<void()> update;

    // Watches `directory` from now on (the previous one is dropped); an empty path suspends the watcher.
    void Watch(const QString& directory);
    QString Watched() const { return m_directory; }
    bool Pending() const { return m_round.Pending(); }
    // Runs the pending update now unless the window is busy; true when it ran.
    bool RunPending();

private:
    void OnChanged();

    void Rewatch();

    QFileSystemWatcher m_watcher;
    DeferredRound m_round{kRoundMs};
    QString m_directory;
};

} // namespace korimbo
