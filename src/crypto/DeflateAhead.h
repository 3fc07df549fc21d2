#pragma once

#include "util/FileSystem.h"

#include <QString>
#include <QStringList>

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <mutex>
#include <thread>
#include <vector>

namespace korimbo {

// Compresses the small files an operation is about to encrypt, in the order it will take them, on a thread
// of its own while the engine writes the containers of those before them: with many small files the second
// core compresses the next file instead of idling. A stream made ahead is used only for the file it was
// made from (same device, inode, size and modification time, unchanged while it was read); anything else
// is compressed by the writer as usual, and every container is verified against its source either way.
// Memory is fixed: kReady streams of one block at most.
class CDeflateAhead {
public:
    static constexpr int kReady = 4;

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
    // Forgets the plan and what was made; the thread ends.
    void Clear();

private:
    struct Made {
        QString path;
        FileIdentity identity;
        std::vector<std::uint8_t> stream;
    };
    void Run(QStringList items);
    bool MakeOne(const QString& path);
    // The file's whole zlib stream, or false when it is no small regular file or changed while read.
    bool Compress(const QString& path, Made& made);

    FileSystem& m_files;
    std::thread m_thread;
    std::mutex m_mutex;
    std::condition_variable m_changed;
    std::deque<Made> m_ready;
    QString m_current; // the path the thread is compressing
    bool m_quit = false;
};

} // namespace korimbo
