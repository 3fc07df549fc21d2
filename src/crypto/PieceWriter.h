#pragma once

#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

namespace korimbo {

class File;

// Writes the pieces a decoder produces on a thread of its own, so that copying them into the file
// and the disk's write-behind run beside the decompression instead of after it. The thread starts with
// the second piece: a file of one piece is written by the owner, without a thread's start and end.
// Memory is fixed: at most kSlots pieces of `pieceSize` bytes, whatever the length of the file. Pieces
// are written in the order they were submitted; the first failed write stops the writer, and its error
// is kept.
//
// Only the owning thread calls the public methods; the writer thread touches a slot only between
// Submit and the moment it hands the slot back.
class CPieceWriter {
public:
    static constexpr int kSlots = 4;

    CPieceWriter(File& out, int pieceSize);
    ~CPieceWriter();
    CPieceWriter(const CPieceWriter&) = delete;
    CPieceWriter& operator=(const CPieceWriter&) = delete;

    // Room for the next piece, waiting while every slot is being written; nullptr once a write failed.
    std::uint8_t* NextBuffer();
    // Queues the first `length` bytes of the buffer NextBuffer gave last. False once a write failed.
    bool Submit(int length);
    // Waits until every queued piece is written and ends the thread. True when all were written;
    // otherwise Error() holds the error of the file.
    bool Finish();
    int Error() const { return m_error; }

private:
    void Run();
    // Writes one piece, on the writer thread or on the owner's before there is one; false (and the error
    // kept) when it failed.
    bool WritePiece(int piece);

    File& m_out;
    const int m_pieceSize;
    std::vector<std::unique_ptr<std::uint8_t[]>> m_buffers; // each made when first given out
    std::vector<int> m_lengths;
    int m_next = 0;    // the slot NextBuffer gives next (owner)
    int m_queued = 0;  // pieces submitted (guarded)
    int m_written = 0; // pieces done (guarded)
    bool m_finishing = false;
    bool m_failed = false;
    int m_error = 0;
    std::mutex m_mutex;
    std::condition_variable m_wake;
    std::thread m_thread;
};

} // namespace korimbo
