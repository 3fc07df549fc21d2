#include "folder/ContentsWatcher.h"

namespace korimbo {

ContentsWatcher::ContentsWatcher(QObject* parent) : QObject(parent) {
    m_timer.setInterval(kRoundMs);
    connect(&m_timer, &QTimer::timeout, this, &ContentsWatcher::RunPending);
    connect(&m_watcher, &QFileSystemWatcher::directoryChanged, this, &ContentsWatcher::OnChanged);
}

void ContentsWatcher::Watch(const QString& directory) {
    if (!m_watcher.directories().isEmpty())
        m_watcher.removePaths(m_watcher.directories());
    m_directory = directory;
    // A change seen before this listing is already in it.
    m_pending = false;
    if (directory.isEmpty()) {
        m_timer.stop();
        return;
    }
    // Past the system's watch limit the timer still finds what changed at the next explicit update;
    // the directory simply is not watched.
    m_watcher.addPath(directory);
    m_timer.start();
}

void ContentsWatcher::OnChanged() {
    if (m_directory.isEmpty())
        return;
    m_pending = true;
    // A change while idle shows at once; during a command it waits for the next round after it.
    if (!isBusy || !isBusy())
        QTimer::singleShot(0, this, &ContentsWatcher::RunPending);
}

bool ContentsWatcher::RunPending() {
    if (!m_pending || m_directory.isEmpty())
        return false;
    if (isBusy && isBusy())
        return false;
    m_pending = false;
    if (update)
        update();
    // A directory that was removed and made again loses its watch.
    if (!m_watcher.directories().contains(m_directory))
        m_watcher.addPath(m_directory);
    return true;
}

} // namespace korimbo
