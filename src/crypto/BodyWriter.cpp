#include "crypto/BodyWriter.h"

#include "crypto/BlockDeflater.h"
#include "crypto/BodyVerifier.h"
#include "util/MessageNumbers.h"

#include <zlib.h>

#include <cstring>

namespace korimbo {

static_assert(CBlockDeflater::kBlockSize % CBodyWriter::kPieceSize == 0, "a block is read in whole pieces");

CBodyWriter::CBodyWriter(CAesCipher& cipher, Interaction& ui)
    : m_cipher(cipher), m_ui(ui), m_output(kPieceSize + 16) {}

EngineResult CBodyWriter::Fail(EngineResult result, int message, const QString& detail, int error) {
    m_failure = {message, detail, error};
    if (m_verifier)
        m_verifier->Abort();
    return result;
}

int CBodyWriter::WorkersFor(qint64 size) {
    return size > CBlockDeflater::kBlockSize ? kWorkers : 0;
}

EngineResult CBodyWriter::Write(File& in, File& out, qint64 expectedSize, std::uint8_t chain[16],
                                CBodyVerifier* verifier, int workers) {
    Begin(verifier);

    CBlockDeflater deflater(workers < 0 ? WorkersFor(expectedSize) : workers);
    if (const int rc = deflater.Init(); rc != Z_OK)
        return Fail(kFailed, msg::kDeflateStart, deflater.ErrorText());

    // Blocks are read in pieces so that the window is pumped once per piece; a short read ends the source.
    qint64 totalRead = 0;
    bool ended = false;
    for (;;) {
        while (!ended) {
            std::uint8_t* block = deflater.NextInput();
            if (!block)
                break;
            int length = 0;
            while (length < CBlockDeflater::kBlockSize) {
                m_ui.Pump();
                if (m_ui.StopRequested())
                    return Fail(kStopped, 0);
                const qint64 n = in.Read(block + length, kPieceSize);
                if (n < 0)
                    return Fail(kReadFailed, 0, QString(), in.Error());
                length += static_cast<int>(n);
                totalRead += n;
                if (n < kPieceSize) {
                    ended = true;
                    break;
                }
            }
            deflater.Submit(length, ended);
        }
        if (!deflater.Pending())
            break;
        const std::uint8_t* data = nullptr;
        int length = 0;
        if (deflater.Collect(data, length) != Z_OK)
            return Fail(kFailed, msg::kDeflateRun, deflater.ErrorText());
        if (const EngineResult piece = Emit(out, data, length, chain); piece != kOk)
            return piece;
    }
    if (totalRead != expectedSize)
        return Fail(kFailed, msg::kReadSizeMismatch, QStringLiteral("（%1,%2）").arg(expectedSize).arg(totalRead));
    return End(out, chain);
}

EngineResult CBodyWriter::WriteStream(File& out, const std::vector<std::uint8_t>& stream, std::uint8_t chain[16],
                                      CBodyVerifier* verifier) {
    Begin(verifier);
    m_ui.Pump();
    if (m_ui.StopRequested())
        return Fail(kStopped, 0);
    if (const EngineResult emitted = Emit(out, stream.data(), static_cast<int>(stream.size()), chain); emitted != kOk)
        return emitted;
    return End(out, chain);
}

void CBodyWriter::Begin(CBodyVerifier* verifier) {
    m_bodyBytes = 0;
    m_padCount = 0;
    m_fill = 0;
    m_failure = {};
    m_verifier = verifier;
}

EngineResult CBodyWriter::End(File& out, std::uint8_t chain[16]) {
    if (m_fill > 0) {
        if (const EngineResult piece = WritePiece(out, m_fill, chain); piece != kOk)
            return piece;
    }
    if (m_verifier)
        m_verifier->Finish(m_bodyBytes, m_padCount);
    return kOk;
}

// Cuts the compressed bytes into whole pieces; the rest waits for the next block or the end.
EngineResult CBodyWriter::Emit(File& out, const std::uint8_t* data, int length, std::uint8_t chain[16]) {
    while (length > 0) {
        const int take = std::min(length, kPieceSize - m_fill);
        std::memcpy(m_output.data() + m_fill, data, static_cast<std::size_t>(take));
        m_fill += take;
        data += take;
        length -= take;
        if (m_fill == kPieceSize) {
            if (const EngineResult piece = WritePiece(out, kPieceSize, chain); piece != kOk)
                return piece;
        }
    }
    return kOk;
}

EngineResult CBodyWriter::WritePiece(File& out, int length, std::uint8_t chain[16]) {
    m_fill = 0;
    const int rounded = (length + 15) / 16 * 16;
    m_padCount = rounded - length;
    std::memset(m_output.data() + length, 0x30, static_cast<std::size_t>(m_padCount));
    if (m_cipher.EncryptCbc(m_output.data(), m_output.data(), static_cast<std::size_t>(rounded), chain) != 0)
        return Fail(kFailed, msg::kBodyEncipher);
    const qint64 written = out.Write(m_output.data(), rounded);
    if (written != rounded)
        return Fail(kWriteFailed, 0, QString(), out.Error());
    m_bodyBytes += rounded;
    if (m_verifier)
        m_verifier->Published(m_bodyBytes);
    return kOk;
}

} // namespace korimbo
