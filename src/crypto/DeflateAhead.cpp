#include "crypto/DeflateAhead.h"

#include "crypto/BlockDeflater.h"
#include "util/PathIdentity.h"
#include "util/TreeWalk.h"

#include <zlib.h>

#include <algorithm>

namespace korimbo {

CDeflateAhead::~CDeflateAhead() {
    Clear();
}

void CDeflateAhead::Plan(const QStringList& items) {
    Clear();
    m_quit = false;
    m_walked = false;
    m_threads.emplace_back([this, items] { Walk(items); });
    const int cores = static_cast<int>(std::thread::hardware_concurrency());
    for (int i = 0; i < std::clamp(cores - 1, 1, kWorkers); ++i)
        m_threads.emplace_back([this] { Work(); });
}

void CDeflateAhead::Clear() {
    {
        const std::lock_guard lock(m_mutex);
        m_quit = true;
    }
    m_changed.notify_all();
    for (std::thread& thread : m_threads)
        thread.join();
    m_threads.clear();
    m_jobs.clear();
    m_passed.clear();
    m_queued = 0;
}

void CDeflateAhead::Walk(QStringList items) {
    for (const QString& item : std::as_const(items)) {
        FileIdentity identity;
        if (m_files.Identify(item, identity).Failed() || identity.link)
            continue;
        bool quit = false;
        if (KindOf(item) == ItemKind::Folder) {
            static_cast<void>(WalkTree(item, [&](const TreeEntry& entry) {
                if (entry.kind == ItemKind::File)
                    quit = !Queue(entry.path);
                return quit ? Visit::Stop : Visit::Continue;
            }));
        } else {
            quit = !Queue(item);
        }
        if (quit)
            return;
    }
    const std::lock_guard lock(m_mutex);
    m_walked = true;
    m_changed.notify_all();
}

// False when the plan was cleared.
bool CDeflateAhead::Queue(const QString& path) {
    std::unique_lock lock(m_mutex);
    m_changed.wait(lock, [this] { return m_quit || m_jobs.size() < kAhead; });
    if (m_quit)
        return false;
    // The writer got there first: on to the files it has not reached.
    if (m_passed.remove(path))
        return true;
    Job job;
    job.order = m_queued++;
    job.path = path;
    m_jobs.push_back(std::move(job));
    m_changed.notify_all();
    return true;
}

void CDeflateAhead::Work() {
    std::unique_lock lock(m_mutex);
    for (;;) {
        auto job = m_jobs.end();
        m_changed.wait(lock, [&] {
            job = NextQueued();
            return m_quit || job != m_jobs.end();
        });
        if (m_quit)
            return;
        Run(lock, job);
    }
}

std::deque<CDeflateAhead::Job>::iterator CDeflateAhead::NextQueued() {
    return std::find_if(m_jobs.begin(), m_jobs.end(), [](const Job& j) { return !j.working && !j.made; });
}

// Compresses a queued job outside the lock; `lock` is held on entry and on return.
void CDeflateAhead::Run(std::unique_lock<std::mutex>& lock, std::deque<Job>::iterator job) {
    job->working = true;
    Job work;
    work.order = job->order;
    work.path = job->path;
    lock.unlock();
    const bool made = Compress(work);
    lock.lock();
    // The job may have been taken by the writer meanwhile; it is found again by its number.
    const auto at = std::find_if(m_jobs.begin(), m_jobs.end(), [&](const Job& j) { return j.order == work.order; });
    if (at != m_jobs.end()) {
        if (made) {
            at->identity = work.identity;
            at->stream = std::move(work.stream);
            at->made = true;
            at->working = false;
        } else {
            m_jobs.erase(at);
        }
    }
    m_changed.notify_all();
}

bool CDeflateAhead::Compress(Job& job) {
    if (m_files.Identify(job.path, job.identity).Failed() || job.identity.link || job.identity.size < 0 ||
        job.identity.size > CBlockDeflater::kBlockSize)
        return false;
    int error = 0;
    const std::unique_ptr<File> in = m_files.Open(job.path, OpenMode::Read, error);
    if (!in)
        return false;
    CBlockDeflater deflater(0);
    if (deflater.Init() != Z_OK)
        return false;
    std::uint8_t* block = deflater.NextInput();
    // A file that grew, shrank or was saved over while it was read is not taken.
    const qint64 length = in->Read(block, CBlockDeflater::kBlockSize);
    FileIdentity after;
    if (length != job.identity.size || m_files.Identify(job.path, after).Failed() ||
        !after.SameContent(job.identity))
        return false;
    deflater.Submit(static_cast<int>(length), true);
    const std::uint8_t* data = nullptr;
    int outLength = 0;
    if (deflater.Collect(data, outLength) != Z_OK)
        return false;
    job.stream.assign(data, data + outLength);
    return true;
}

std::deque<CDeflateAhead::Job>::iterator CDeflateAhead::Find(const QString& path) {
    return std::find_if(m_jobs.begin(), m_jobs.end(), [&](const Job& j) { return j.path == path; });
}

bool CDeflateAhead::Holds(const QString& path) {
    const std::lock_guard lock(m_mutex);
    const auto job = Find(path);
    return job != m_jobs.end() && job->made;
}

bool CDeflateAhead::Take(const QString& path, qint64 size, std::vector<std::uint8_t>& stream) {
    if (m_threads.empty())
        return false; // no plan: a single encryption (a write-back, the command line)
    std::unique_lock lock(m_mutex);
    auto job = Find(path);
    if (job == m_jobs.end()) {
        // Not in the plan, or not reached yet: the walk will pass it by.
        m_passed.insert(path);
        return false;
    }
    // The files before it in the plan were skipped by the operation: their jobs go.
    const long long order = job->order;
    m_jobs.erase(std::remove_if(m_jobs.begin(), m_jobs.end(),
                                [&](const Job& j) { return j.order < order && !j.working; }),
                 m_jobs.end());
    m_changed.notify_all();
    // While a thread compresses this file, the writer compresses one that follows instead of idling: the
    // writer is the faster of the two, and would otherwise wait on every file.
    for (job = Find(path); job != m_jobs.end() && job->working; job = Find(path)) {
        if (const auto next = NextQueued(); next != m_jobs.end())
            Run(lock, next);
        else
            m_changed.wait(lock);
    }
    if (job == m_jobs.end() || !job->made) {
        if (job != m_jobs.end())
            m_jobs.erase(job); // queued only: the writer compresses it itself
        m_changed.notify_all();
        return false;
    }
    Job taken = std::move(*job);
    m_jobs.erase(job);
    lock.unlock();
    m_changed.notify_all();
    FileIdentity now;
    if (taken.identity.size != size || m_files.Identify(path, now).Failed() || !now.SameContent(taken.identity))
        return false;
    stream = std::move(taken.stream);
    return true;
}

} // namespace korimbo
