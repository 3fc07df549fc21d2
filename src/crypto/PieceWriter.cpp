#include "crypto/PieceWriter.h"

#include "util/FileSystem.h"

namespace korimbo {

CPieceWriter::CPieceWriter(File& out, int pieceSize)
    : m_out(out), m_buffers(kSlots, std::vector<std::uint8_t>(static_cast<std::size_t>(pieceSize))),
      m_lengths(kSlots, 0), m_thread([this] { Run(); }) {}

CPieceWriter::~CPieceWriter() {
    Finish();
}

std::uint8_t* CPieceWriter::NextBuffer() {
    std::unique_lock lock(m_mutex);
    // The slot is free once the piece submitted kSlots pieces ago is written.
    m_wake.wait(lock, [this] { return m_failed || m_queued - m_written < kSlots; });
    if (m_failed)
        return nullptr;
    return m_buffers[static_cast<std::size_t>(m_next)].data();
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
    m_wake.notify_all();
    return true;
}

bool CPieceWriter::Finish() {
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
        const std::size_t slot = static_cast<std::size_t>(piece % kSlots);
        const int length = m_lengths[slot];
        const bool written = m_out.Write(m_buffers[slot].data(), length) == length;
        {
            std::lock_guard lock(m_mutex);
            if (!written) {
                m_failed = true;
                m_error = m_out.Error();
            }
            ++m_written;
        }
        m_wake.notify_all();
        if (!written)
            return;
    }
}

} // namespace korimbo
