#pragma once

#include "crypto/AesCipher.h"
#include "crypto/EngineResult.h"
#include "util/FileSystem.h"
#include "util/Interaction.h"

#include <QString>

#include <cstdint>
#include <vector>

namespace korimbo {

class CBodyVerifier;

// Writes the body of a container: the source compressed as one zlib stream, cut into pieces of
// 128000 bytes, each enciphered on one running chain and written at once. The last piece is padded
// with '0' bytes to a whole block. Only fixed buffers are held.
//
// A source larger than one block is compressed on two worker threads (CBlockDeflater) while this
// thread reads, enciphers, writes and keeps the window responsive; a verifier, when given, is told
// what reached the file after every piece so that it can check behind the writer.
class CBodyWriter {
public:
    static constexpr int kPieceSize = 128000;
    static constexpr int kWorkers = 2;

    // What went wrong, for the engine to turn into its message.
    struct Failure {
        int message = 0; // catalogue number, 0 when the failure needs no message of its own
        QString detail;  // zlib's text, or the sizes
        int error = 0;   // errno of a failed read or write
    };

    CBodyWriter(CAesCipher& cipher, Interaction& ui);

    // kReadFailed means reading the source failed, kWriteFailed writing the container.
    // `workers` < 0 chooses: threads for a source of more than one block, none for a smaller one.
    EngineResult Write(File& in, File& out, qint64 expectedSize, std::uint8_t chain[16],
                       CBodyVerifier* verifier = nullptr, int workers = -1);
    // The same for a source compressed beforehand into one zlib stream (CDeflateAhead).
    EngineResult WriteStream(File& out, const std::vector<std::uint8_t>& stream, std::uint8_t chain[16],
                             CBodyVerifier* verifier = nullptr);
    // The worker count Write chooses for a source of `size` bytes.
    static int WorkersFor(qint64 size);

    qint64 BodyBytes() const { return m_bodyBytes; }
    int PadCount() const { return m_padCount; }
    const Failure& LastFailure() const { return m_failure; }

private:
    void Begin(CBodyVerifier* verifier);
    // The last, padded piece, and the verifier told the body is complete.
    EngineResult End(File& out, std::uint8_t chain[16]);
    EngineResult WritePiece(File& out, int length, std::uint8_t chain[16]);
    EngineResult Emit(File& out, const std::uint8_t* data, int length, std::uint8_t chain[16]);
    EngineResult Fail(EngineResult result, int message, const QString& detail = QString(), int error = 0);

    CAesCipher& m_cipher;
    Interaction& m_ui;
    std::vector<std::uint8_t> m_input;
    std::vector<std::uint8_t> m_output;
    CBodyVerifier* m_verifier = nullptr;
    int m_fill = 0; // compressed bytes waiting in m_output for their piece
    qint64 m_bodyBytes = 0;
    int m_padCount = 0;
    Failure m_failure;
};

} // namespace korimbo
