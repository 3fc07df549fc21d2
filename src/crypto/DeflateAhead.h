#pragma once

#include "util/FileSystem.h"

#include <QSet>
#include <QString>
#include <QStringList>

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <mutex>
#include <thread>
#include <vector>

namespace korimbo {

// Compresses the small files an operation is about to encrypt, in the order it will take them, on threads
// of their own while the engine writes the containers of those before them: with many small files both
// cores compress instead of one idling. One thread walks the plan; up to kWorkers threads compress what it
// found, one core being left to the writer, which compresses a later file itself whenever the one it needs
// is still in work. A stream made ahead is used only for the file it was made from (same device, inode,
// size and modification time, unchanged while it was read); anything else is compressed by the writer as
// usual, and every container is verified against its source either way. Memory is fixed: kAhead files of
// one block at most, queued, in work or made.
class CDeflateAhead {
public:
    static constexpr int kWorkers = 2;
    static constexpr int kAhead = 16;

    explicit CDeflateAhead(FileSystem& files) : m_files(files) {}
    ~CDeflateAhead();
    CDeflateAhead(const CDeflateAhead&) = delete;
    CDeflateAhead& operator=(const CDeflateAhead&) = delete;

    // The items the operation takes next, in its order: a file, or a folder whose files follow in the
    // order of a tree walk (folders first, by name).
    void Plan(const QStringList& items);
    // The zlib stream of `path` when one was made ahead from the file of `size` bytes that is there now.
    [[nodiscard]] bool Take(const QString& path, qint64 size, std::vector<std::uint8_t>& stream);
    // Whether a stream for `path` waits to be taken.
    [[nodiscard]] bool Holds(const QString& path);
    // Forgets the plan and what was made; the threads end.
    void Clear();

private:
    // A file of the plan, numbered in its order, from queued to made.
    struct Job {
        long long order = 0;
        QString path;
        bool working = false;
        bool made = false;
        FileIdentity identity;
        std::vector<std::uint8_t> stream;
    };
    void Walk(QStringList items);
    bool Queue(const QString& path);
    void Work();
    std::deque<Job>::iterator NextQueued();
    void Run(std::unique_lock<std::mutex>& lock, std::deque<Job>::iterator job);
    // The file's whole zlib stream, or false when it is no small regular file or changed while read.
    bool Compress(Job& job);
    std::deque<Job>::iterator Find(const QString& path);

    FileSystem& m_files;
    std::vector<std::thread> m_threads;
    std::mutex m_mutex;
    std::condition_variable m_changed;
    std::deque<Job> m_jobs;  // in the plan's order
    long long m_queued = 0;  // files queued so far
    QSet<QString> m_passed;  // files the writer took before the walk reached them
    bool m_walked = false;   // the walk is over
    bool m_quit = false;
};

} // namespace korimbo
