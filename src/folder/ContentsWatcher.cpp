#include "folder/ContentsWatcher.h"

namespace korimbo {

ContentsWatcher::ContentsWatcher(QObject* parent) : QObject(parent) {
    m_round.isBusy = [this] { return isBusy && isBusy(); };
    m_round.run = [this] {
        if (update)
            update();
        Rewatch();
    };
    connect(&m_watcher, &QFileSystemWatcher::directoryChanged, this, &ContentsWatcher::OnChanged);
}

void ContentsWatcher::Watch(const QString& directory) {
    if (!m_watcher.directories().isEmpty())
        m_watcher.removePaths(m_watcher.directories());
    m_directory = directory;
    // A change seen before this listing is already in it.
    m_round.Clear();
    if (directory.isEmpty()) {
        m_round.Stop();
        return;
    }
    // Past the system's watch limit the timer still finds what changed at the next explicit update;
    // the directory simply is not watched.
    m_watcher.addPath(directory);
    m_round.Start();
}

void ContentsWatcher::OnChanged() {
    if (m_directory.isEmpty())
        return;
    // A change while idle shows at once; during a command it waits for the next round after it.
    m_round.Request();
}

bool ContentsWatcher::RunPending() {
    if (m_directory.isEmpty())
        return false;
    return m_round.RunPending();
}

// A directory that was removed and made again loses its watch.
void ContentsWatcher::Rewatch() {
    if (!m_watcher.directories().contains(m_directory))
        m_watcher.addPath(m_directory);
}

} // namespace korimbo
