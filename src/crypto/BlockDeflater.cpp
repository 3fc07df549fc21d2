#include "crypto/BlockDeflater.h"

#include <zlib.h>

#ifdef KORIMBO_HAVE_ISAL
#include <isa-l/igzip_lib.h>
#endif

#include <cstring>

namespace korimbo {

namespace {

// The zlib header deflateInit writes at the default level with a 32 KiB window.
constexpr std::uint8_t kHeader[2] = {0x78, 0x9C};
constexpr int kHeaderRoom = 2;
constexpr int kTrailerRoom = 4;
// A sync flush adds an empty stored block (five bytes) and may have to close a partial one.
constexpr int kFlushRoom = 16;

// The block's checksum: ISA-L's vectorised adler32 where it is built in (zlib's runs byte by byte and
// cost the compressing threads about 2% of their time).
unsigned long BlockAdler(const std::uint8_t* data, int length) {
#ifdef KORIMBO_HAVE_ISAL
    return isal_adler32(1, data, static_cast<std::uint64_t>(length));
#else
    return adler32(adler32(0L, Z_NULL, 0), data, static_cast<uInt>(length));
#endif
}

} // namespace

CBlockDeflater::CBlockDeflater(int workers) : m_workerCount(workers) {}

CBlockDeflater::~CBlockDeflater() {
    Stop();
    for (z_stream_s* stream : m_streams) {
        deflateEnd(stream);
        delete stream;
    }
}

int CBlockDeflater::Init() {
    const int streams = m_workerCount > 0 ? m_workerCount : 1;
    for (int i = 0; i < streams; ++i) {
        auto* stream = new z_stream{};
        // Raw deflate: the one zlib header and trailer of the whole stream are written here.
        const int rc = deflateInit2(stream, Z_DEFAULT_COMPRESSION, Z_DEFLATED, -MAX_WBITS, 8, Z_DEFAULT_STRATEGY);
        if (rc != Z_OK) {
            m_errorText = QString::fromLatin1(stream->msg ? stream->msg : zError(rc));
            delete stream;
            return rc;
        }
        m_streams.push_back(stream);
    }
    m_outputSize =
        static_cast<std::size_t>(kHeaderRoom + deflateBound(m_streams.front(), kBlockSize) + kFlushRoom + kTrailerRoom);
    for (int i = 0; i < m_workerCount; ++i)
        m_threads.emplace_back([this, i] { WorkerLoop(*m_streams[static_cast<std::size_t>(i)]); });
    return Z_OK;
}

void CBlockDeflater::Stop() {
    {
        const std::lock_guard lock(m_mutex);
        m_quit = true;
    }
    m_work.notify_all();
    for (std::thread& thread : m_threads)
        thread.join();
    m_threads.clear();
}

std::uint8_t* CBlockDeflater::NextInput() {
    if (m_submitted - m_collected >= kSlots)
        return nullptr;
    Slot& slot = m_slots[static_cast<std::size_t>(m_submitted % kSlots)];
    if (!slot.input) {
        slot.input = std::make_unique_for_overwrite<std::uint8_t[]>(kWindow + kBlockSize);
        slot.output = std::make_unique_for_overwrite<std::uint8_t[]>(m_outputSize);
    }
    return slot.input.get() + kWindow;
}

void CBlockDeflater::Submit(int length, bool last) {
    Slot& slot = m_slots[static_cast<std::size_t>(m_submitted % kSlots)];
    slot.first = m_submitted == 0;
    slot.last = last;
    slot.length = length;
    slot.done = false;
    slot.dictLength = 0;
    if (!slot.first) {
        // The dictionary is the end of what came before: the previous slot still holds it, since slots are
        // refilled only after they were collected, in order.
        const Slot& previous = m_slots[static_cast<std::size_t>((m_submitted - 1) % kSlots)];
        const int available = previous.dictLength + previous.length;
        slot.dictLength = available < kWindow ? available : kWindow;
        std::memcpy(slot.input.get() + kWindow - slot.dictLength,
                    previous.input.get() + kWindow + previous.length - slot.dictLength,
                    static_cast<std::size_t>(slot.dictLength));
    }
    if (m_workerCount == 0) {
        ++m_submitted;
        ++m_taken;
        Compress(*m_streams.front(), slot);
        slot.done = true;
        return;
    }
    {
        // The slot was filled above; the workers see it once the count moves, under the lock.
        const std::lock_guard lock(m_mutex);
        ++m_submitted;
    }
    m_work.notify_one();
}

void CBlockDeflater::WorkerLoop(z_stream_s& stream) {
    std::unique_lock lock(m_mutex);
    for (;;) {
        m_work.wait(lock, [this] { return m_quit || m_taken < m_submitted; });
        if (m_quit)
            return;
        Slot& slot = m_slots[static_cast<std::size_t>(m_taken % kSlots)];
        ++m_taken;
        lock.unlock();
        Compress(stream, slot);
        lock.lock();
        slot.done = true;
        m_done.notify_all();
    }
}

void CBlockDeflater::Compress(z_stream_s& stream, Slot& slot) const {
    slot.error.clear();
    slot.rc = deflateReset(&stream);
    std::uint8_t* data = slot.input.get() + kWindow;
    if (slot.rc == Z_OK && slot.dictLength > 0)
        slot.rc = deflateSetDictionary(&stream, data - slot.dictLength, static_cast<uInt>(slot.dictLength));
    int at = 0;
    if (slot.first) {
        std::memcpy(slot.output.get(), kHeader, sizeof kHeader);
        at = kHeaderRoom;
    }
    if (slot.rc == Z_OK) {
        stream.next_in = data;
        stream.avail_in = static_cast<uInt>(slot.length);
        stream.next_out = slot.output.get() + at;
        stream.avail_out = static_cast<uInt>(m_outputSize) - static_cast<uInt>(at + kTrailerRoom);
        const int rc = deflate(&stream, slot.last ? Z_FINISH : Z_SYNC_FLUSH);
        // The output room covers the bound, so one call must finish the block.
        const bool complete = slot.last ? rc == Z_STREAM_END : rc == Z_OK && stream.avail_in == 0 && stream.avail_out > 0;
        slot.rc = complete ? Z_OK : (rc == Z_OK || rc == Z_STREAM_END ? Z_BUF_ERROR : rc);
    }
    if (slot.rc != Z_OK) {
        slot.error = QString::fromLatin1(stream.msg ? stream.msg : zError(slot.rc));
        return;
    }
    slot.outLength = static_cast<int>(stream.next_out - slot.output.get());
    slot.adler = BlockAdler(data, slot.length);
}

int CBlockDeflater::Collect(const std::uint8_t*& data, int& length) {
    Slot& slot = m_slots[static_cast<std::size_t>(m_collected % kSlots)];
    if (m_workerCount > 0) {
        std::unique_lock lock(m_mutex);
        m_done.wait(lock, [&slot] { return slot.done; });
    }
    ++m_collected;
    if (slot.rc != Z_OK) {
        m_errorText = slot.error;
        return slot.rc;
    }
    m_adler = adler32_combine(m_adler, slot.adler, slot.length);
    if (slot.last) {
        std::uint8_t* trailer = slot.output.get() + slot.outLength;
        trailer[0] = static_cast<std::uint8_t>(m_adler >> 24);
        trailer[1] = static_cast<std::uint8_t>(m_adler >> 16);
        trailer[2] = static_cast<std::uint8_t>(m_adler >> 8);
        trailer[3] = static_cast<std::uint8_t>(m_adler);
        slot.outLength += kTrailerRoom;
    }
    data = slot.output.get();
    length = slot.outLength;
    return Z_OK;
}

} // namespace korimbo
