#include "crypto/PieceWriter.h"

#include "util/FileSystem.h"

namespace korimbo {

CPieceWriter::CPieceWriter(File& out, int pieceSize)
    : m_out(out), m_pieceSize(pieceSize), m_buffers(kSlots), m_lengths(kSlots, 0) {}

CPieceWriter::~CPieceWriter() {
    Finish();
}

std::uint8_t* CPieceWriter::NextBuffer() {
    std::unique_lock lock(m_mutex);
    // The slot is free once the piece submitted kSlots pieces ago is written.
    m_wake.wait(lock, [this] { return m_failed || m_queued - m_written < kSlots; });
    if (m_failed)
        return nullptr;
    auto& buffer = m_buffers[static_cast<std::size_t>(m_next)];
    if (!buffer)
        buffer = std::make_unique_for_overwrite<std::uint8_t[]>(static_cast<std::size_t>(m_pieceSize));
    return buffer.get();
}

bool CPieceWriter::Submit(int length) {
    {
        std::lock_guard lock(m_mutex);
        if (m_failed)
            return false;
        m_lengths[static_cast<std::size_t>(m_next)] = length;
        ++m_queued;
    }
    m_next = (m_next + 1) % kSlots;
    if (m_queued == 2 && !m_thread.joinable())
        m_thread = std::thread([this] { Run(); });
    m_wake.notify_all();
    return true;
}

bool CPieceWriter::Finish() {
    // One piece, and no thread: the owner writes it.
    if (!m_thread.joinable() && m_written < m_queued) {
        static_cast<void>(WritePiece(0));
        m_written = m_queued;
    }
    if (m_thread.joinable()) {
        {
            std::lock_guard lock(m_mutex);
            m_finishing = true;
        }
        m_wake.notify_all();
        m_thread.join();
    }
    return !m_failed;
}

void CPieceWriter::Run() {
    for (int piece = 0;; ++piece) {
        {
            std::unique_lock lock(m_mutex);
            m_wake.wait(lock, [&] { return m_queued > piece || m_finishing; });
            if (m_queued <= piece)
                return; // finishing, and every piece is written
        }
        const bool written = WritePiece(piece);
        {
            std::lock_guard lock(m_mutex);
            ++m_written;
        }
        m_wake.notify_all();
        if (!written)
            return;
    }
}

bool CPieceWriter::WritePiece(int piece) {
    const std::size_t slot = static_cast<std::size_t>(piece % kSlots);
    const int length = m_lengths[slot];
    if (m_out.Write(m_buffers[slot].get(), length) == length)
        return true;
    std::lock_guard lock(m_mutex);
    m_failed = true;
    m_error = m_out.Error();
    return false;
}

} // namespace korimbo
