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
    m_thread = std::thread([this, items] { Run(items); });
}

void CDeflateAhead::Clear() {
    {
        const std::lock_guard lock(m_mutex);
        m_quit = true;
    }
    m_changed.notify_all();
    if (m_thread.joinable())
        m_thread.join();
    m_ready.clear();
    m_current.clear();
}

void CDeflateAhead::Run(QStringList items) {
    for (const QString& item : std::as_const(items)) {
        FileIdentity identity;
        if (m_files.Identify(item, identity).Failed() || identity.link)
            continue;
        bool quit = false;
        if (KindOf(item) == ItemKind::Folder) {
            static_cast<void>(WalkTree(item, [&](const TreeEntry& entry) {
                if (entry.kind == ItemKind::File)
                    quit = !MakeOne(entry.path);
                return quit ? Visit::Stop : Visit::Continue;
            }));
        } else {
            quit = !MakeOne(item);
        }
        if (quit)
            return;
    }
}

// False when the plan was cleared.
bool CDeflateAhead::MakeOne(const QString& path) {
    {
        std::unique_lock lock(m_mutex);
        m_changed.wait(lock, [this] { return m_quit || m_ready.size() < kReady; });
        if (m_quit)
            return false;
        m_current = path;
    }
    Made made;
    const bool compressed = Compress(path, made);
    {
        const std::lock_guard lock(m_mutex);
        if (compressed)
            m_ready.push_back(std::move(made));
        m_current.clear();
    }
    m_changed.notify_all();
    return true;
}

bool CDeflateAhead::Compress(const QString& path, Made& made) {
    if (m_files.Identify(path, made.identity).Failed() || made.identity.link || made.identity.size < 0 ||
        made.identity.size > CBlockDeflater::kBlockSize)
        return false;
    int error = 0;
    const std::unique_ptr<File> in = m_files.Open(path, OpenMode::Read, error);
    if (!in)
        return false;
    CBlockDeflater deflater(0);
    if (deflater.Init() != Z_OK)
        return false;
    std::uint8_t* block = deflater.NextInput();
    // A file that grew, shrank or was saved over while it was read is not taken.
    const qint64 length = in->Read(block, CBlockDeflater::kBlockSize);
    FileIdentity after;
    if (length != made.identity.size || m_files.Identify(path, after).Failed() || !after.SameContent(made.identity))
        return false;
    deflater.Submit(static_cast<int>(length), true);
    const std::uint8_t* data = nullptr;
    int outLength = 0;
    if (deflater.Collect(data, outLength) != Z_OK)
        return false;
    made.path = path;
    made.stream.assign(data, data + outLength);
    return true;
}

bool CDeflateAhead::Holds(const QString& path) {
    const std::lock_guard lock(m_mutex);
    return std::any_of(m_ready.begin(), m_ready.end(), [&](const Made& m) { return m.path == path; });
}

bool CDeflateAhead::Take(const QString& path, qint64 size, std::vector<std::uint8_t>& stream) {
    std::unique_lock lock(m_mutex);
    // Streams come in the plan's order: those before this file's were for files the operation skipped.
    const auto found = std::find_if(m_ready.begin(), m_ready.end(), [&](const Made& m) { return m.path == path; });
    if (found == m_ready.end() && m_current == path) {
        m_ready.clear();
        m_changed.notify_all();
        m_changed.wait(lock, [&] { return m_current != path; });
        if (m_ready.empty() || m_ready.front().path != path)
            return false;
    } else if (found != m_ready.end()) {
        m_ready.erase(m_ready.begin(), found);
    } else {
        // Not in the plan, or not reached yet: when the thread waits on streams nobody takes, they go.
        if (m_ready.size() >= kReady)
            m_ready.clear();
        m_changed.notify_all();
        return false;
    }
    Made made = std::move(m_ready.front());
    m_ready.pop_front();
    lock.unlock();
    m_changed.notify_all();
    FileIdentity now;
    if (made.identity.size != size || m_files.Identify(path, now).Failed() || !now.SameContent(made.identity))
        return false;
    stream = std::move(made.stream);
    return true;
}

} // namespace korimbo
