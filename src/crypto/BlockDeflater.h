#pragma once

#include <QString>

#include <array>
#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

struct z_stream_s;

namespace korimbo {

// Compresses a stream in independent blocks on worker threads and joins them into one zlib stream:
// one two-byte header, every block raw-deflated with the 32 KiB before it as dictionary and ended
// with a sync flush (the last one with finish), and the blocks' checksums combined into the trailer.
// Any inflater reads the result as one ordinary stream at the default level. Blocks come back in the
// order they went in. Memory is fixed: kSlots blocks in flight, whatever the length of the stream.
//
// Only the owning thread calls the public methods; the workers touch a slot only between Submit and
// Collect.
class CBlockDeflater {
public:
    static constexpr int kBlockSize = 4 * 128000; // whole pieces of the body writer's reads
    static constexpr int kWindow = 32768;
    static constexpr int kSlots = 4;

    // workers == 0 compresses on the calling thread inside Submit (small files need no threads).
    explicit CBlockDeflater(int workers);
    ~CBlockDeflater();
    CBlockDeflater(const CBlockDeflater&) = delete;
    CBlockDeflater& operator=(const CBlockDeflater&) = delete;

    // 0, or a zlib code with its text in ErrorText. Starts the workers.
    int Init();

    // Room for kBlockSize bytes of the next block, or nullptr while every slot is in flight (Collect first).
    std::uint8_t* NextInput();
    // Hands the block filled through NextInput to the workers; `last` ends the stream.
    void Submit(int length, bool last);
    // Whether a submitted block is still to be collected.
    bool Pending() const { return m_collected < m_submitted; }
    // Waits for the oldest block and gives its compressed bytes, with the stream header before the first
    // block and the trailer after the last; valid until the next Submit. 0, or a zlib code.
    int Collect(const std::uint8_t*& data, int& length);
    const QString& ErrorText() const { return m_errorText; }

private:
    struct Slot {
        // Made on first use and never cleared: a small file touches one slot, and only its own bytes.
        std::unique_ptr<std::uint8_t[]> input;  // kWindow bytes of room for the dictionary, then the block
        std::unique_ptr<std::uint8_t[]> output; // header room, the deflate bound, trailer room
        int dictLength = 0;
        int length = 0;
        bool first = false;
        bool last = false;
        bool done = false;
        int outLength = 0;
        unsigned long adler = 0;
        int rc = 0;
        QString error;
    };

    void Compress(z_stream_s& stream, Slot& slot) const;
    void WorkerLoop(z_stream_s& stream);
    void Stop();

    int m_workerCount;
    std::size_t m_outputSize = 0;
    std::array<Slot, kSlots> m_slots;
    std::vector<z_stream_s*> m_streams; // one per worker, or one for inline work
    std::vector<std::thread> m_threads;
    std::mutex m_mutex;
    std::condition_variable m_work;
    std::condition_variable m_done;
    bool m_quit = false;
    long long m_submitted = 0;
    long long m_taken = 0;
    long long m_collected = 0;
    unsigned long m_adler = 1;
    QString m_errorText;
};

} // namespace korimbo
