#include "workspace/EditingAreaWatcher.h"

#include "util/TreeWalk.h"
#include "workspace/DecryptedFileModel.h"

#include <QFile>
#include <QFileInfo>
#include <QSocketNotifier>

#include <cerrno>
#include <climits>
#include <sys/inotify.h>
#include <unistd.h>

namespace korimbo {

namespace {

constexpr uint32_t kEvents = IN_CREATE | IN_DELETE | IN_MOVED_FROM | IN_MOVED_TO | IN_CLOSE_WRITE | IN_ATTRIB |
                             IN_DELETE_SELF | IN_MOVE_SELF | IN_ONLYDIR;

} // namespace

EditingAreaWatcher::EditingAreaWatcher(QObject* parent) : QObject(parent) {
    m_round.isBusy = [this] { return isBusy && isBusy(); };
    m_round.run = [this] {
        if (update)
            update();
        Rewatch();
    };
    // Without notifications the area is rescanned every kPollRounds rounds: a rebuild reads the
    // containers' headers, too much for every round.
    m_round.beforeRound = [this] {
        if (m_polling && ++m_rounds >= kPollRounds) {
            m_rounds = 0;
            m_round.MarkPending();
        }
    };
}

EditingAreaWatcher::EditingAreaWatcher(CDecryptedFileModel& model, QObject* parent) : EditingAreaWatcher(parent) {
    update = [&model] { static_cast<void>(model.Rebuild()); };
    connect(&model, &CDecryptedFileModel::directoryChanged, this, &EditingAreaWatcher::Watch);
    connect(&model, &CDecryptedFileModel::refreshRequested, this, &EditingAreaWatcher::Request);
}

EditingAreaWatcher::~EditingAreaWatcher() {
    Close();
}

void EditingAreaWatcher::Close() {
    m_notifier.reset();
    if (m_fd >= 0)
        ::close(m_fd);
    m_fd = -1;
    m_watches.clear();
    m_polling = false;
}

void EditingAreaWatcher::Watch(const QString& directory) {
    Close();
    m_directory = directory;
    m_round.Clear();
    if (directory.isEmpty()) {
        m_round.Stop();
        return;
    }
    m_fd = inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
    if (m_fd < 0) {
        m_polling = true;
    } else {
        m_notifier = std::make_unique<QSocketNotifier>(m_fd, QSocketNotifier::Read);
        connect(m_notifier.get(), &QSocketNotifier::activated, this, &EditingAreaWatcher::OnReadable);
        AddTree(directory);
    }
    m_round.Start();
    Request();
}

bool EditingAreaWatcher::AddWatch(const QString& directory) {
    if (m_fd < 0)
        return false;
    if (maxWatches >= 0 && m_watches.size() >= maxWatches && !m_watches.values().contains(directory)) {
        m_polling = true;
        return false;
    }
    const int wd = inotify_add_watch(m_fd, QFile::encodeName(directory).constData(), kEvents);
    if (wd < 0) {
        // At the watch limit (ENOSPC) or out of memory the rounds rescan; a directory that vanished
        // meanwhile needs nothing.
        if (errno == ENOSPC || errno == ENOMEM)
            m_polling = true;
        return false;
    }
    m_watches.insert(wd, directory);
    return true;
}

void EditingAreaWatcher::AddTree(const QString& directory) {
    if (!AddWatch(directory))
        return;
    // Not entered where the watch failed: the folder vanished, or the rounds rescan everything.
    WalkTree(directory, [this](const TreeEntry& entry) {
        if (entry.kind != ItemKind::Folder)
            return Visit::Continue;
        return AddWatch(entry.path) ? Visit::Continue : Visit::Prune;
    });
}

void EditingAreaWatcher::Request() {
    if (m_directory.isEmpty())
        return;
    // Idle: the list follows at once; during a command it waits for the first round after it.
    m_round.Request();
}

void EditingAreaWatcher::OnReadable() {
    alignas(inotify_event) char buffer[16 * (sizeof(inotify_event) + NAME_MAX + 1)];
    bool changed = false;
    bool rescanTree = false;
    for (;;) {
        const ssize_t length = ::read(m_fd, buffer, sizeof buffer);
        if (length <= 0)
            break;
        for (ssize_t at = 0; at < length;) {
            const auto* event = reinterpret_cast<const inotify_event*>(buffer + at);
            at += static_cast<ssize_t>(sizeof(inotify_event) + event->len);
            changed = true;
            if (event->mask & IN_Q_OVERFLOW) {
                rescanTree = true;
                continue;
            }
            if (event->mask & IN_IGNORED) {
                m_watches.remove(event->wd);
                continue;
            }
            const QString parent = m_watches.value(event->wd);
            if (parent.isEmpty() || event->len == 0)
                continue;
            if ((event->mask & IN_ISDIR) && (event->mask & (IN_CREATE | IN_MOVED_TO))) {
                // Whatever was made inside before this watch exists is found by the rescan that follows. A
                // directory moved within the area keeps its watches; adding them again renews their paths.
                AddTree(parent + u'/' + QFile::decodeName(event->name));
            }
        }
    }
    if (rescanTree) {
        // Events were lost: directories made meanwhile may have no watch yet. Watching one twice
        // gives back the same descriptor, so walking the whole tree again is harmless.
        AddTree(m_directory);
    }
    if (changed)
        Request();
}

bool EditingAreaWatcher::RunPending() {
    if (m_directory.isEmpty())
        return false;
    return m_round.RunPending();
}

// The area itself may have been removed and made again: its watch is gone with it.
void EditingAreaWatcher::Rewatch() {
    if (m_fd >= 0 && !m_polling && m_watches.key(m_directory, -1) < 0 && QFileInfo(m_directory).isDir())
        AddTree(m_directory);
}

} // namespace korimbo
