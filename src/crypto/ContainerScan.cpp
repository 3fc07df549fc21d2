#include "crypto/ContainerScan.h"

#include "crypto/CryptEngine.h"
#include "util/TreeWalk.h"

#include <QFileInfo>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <thread>

namespace korimbo {

namespace {

constexpr auto kPumpInterval = std::chrono::milliseconds(40);

// What the workers and the calling thread share: the next file to take, the count done, the stop flag.
// Each result slot is written by the one worker that took its index and read after the join.
struct Shared {
    std::atomic<int> next{0};
    std::atomic<int> done{0};
    std::atomic<bool> stop{false};
    std::mutex mutex;
    std::condition_variable changed;
};

} // namespace

CContainerScan::CContainerScan(std::shared_ptr<const ProbeKeys> keys, FileSystem& files, Interaction& ui)
    : m_keys(std::move(keys)), m_files(files), m_ui(ui) {}

int CContainerScan::WorkerCount(int files) const {
    const int wanted = m_workers > 0 ? m_workers : static_cast<int>(std::max(1U, std::thread::hardware_concurrency()));
    return std::clamp(files, 1, wanted);
}

CContainerScan::Result CContainerScan::Run(const QStringList& paths) {
    Result result;
    result.total = static_cast<int>(paths.size());
    std::vector<ContainerVerdict> verdicts(paths.size());
    std::vector<char> checked(paths.size(), 0);
    Shared shared;
    const auto work = [&] {
        CContainerProbe probe(m_keys, m_files);
        for (;;) {
            if (shared.stop.load())
                return;
            const int index = shared.next.fetch_add(1);
            if (index >= result.total)
                return;
            verdicts[index] = probe.Check(paths.at(index));
            checked[index] = 1;
            shared.done.fetch_add(1);
            const std::lock_guard lock(shared.mutex);
            shared.changed.notify_one();
        }
    };
    std::vector<std::thread> workers;
    for (int i = WorkerCount(result.total); i > 0; --i)
        workers.emplace_back(work);

    // Woken by each file done, or after a while to pump the window and look at the stop button.
    int seen = 0;
    while (seen < result.total && !result.stopped) {
        {
            std::unique_lock lock(shared.mutex);
            shared.changed.wait_for(lock, kPumpInterval, [&] { return shared.done.load() != seen; });
        }
        m_ui.Pump();
        result.stopped = m_ui.StopRequested();
        shared.stop.store(result.stopped);
        // At a stop the count so far shows at once, while the workers end the files they hold.
        if (const int done = shared.done.load(); done != seen || result.stopped) {
            seen = done;
            if (progress)
                progress(done, result.total);
        }
    }
    for (std::thread& worker : workers)
        worker.join();
    if (progress)
        progress(shared.done.load(), result.total);

    for (int i = 0; i < result.total; ++i)
        if (checked[i])
            result.files.push_back({paths.at(i), std::move(verdicts[i])});
    // A stop that came after the last file changed nothing.
    result.stopped = result.stopped && static_cast<int>(result.files.size()) < result.total;
    return result;
}

QStringList CContainerScan::FilesBelow(const QString& root, QStringList* unreadable) {
    QStringList files;
    const WalkResult walked = WalkTree(root, [&files](const TreeEntry& entry) {
        const QString name = QFileInfo(entry.path).fileName();
        if (name.startsWith(u'.'))
            return entry.kind == ItemKind::Folder ? Visit::Prune : Visit::Continue;
        if (entry.kind == ItemKind::File && !CCryptEngine::IsTempName(name) && !CCryptEngine::IsWipeName(name))
            files.append(entry.path);
        return Visit::Continue;
    });
    if (unreadable)
        *unreadable = walked.unreadable;
    return files;
}

} // namespace korimbo
