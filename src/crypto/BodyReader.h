#pragma once

#include "crypto/AesCipher.h"
#include "crypto/EngineResult.h"
#include "util/FileSystem.h"
#include "util/Interaction.h"

#include <QString>

#include <cstdint>
#include <vector>

namespace korimbo {

class CInflater;
class CPieceWriter;

// Reads the body of a container: deciphers it in pieces of 128000 bytes on one running chain, drops
// the padding of the last piece and inflates the one zlib stream. A decryption hands the output to a
// writer thread (CPieceWriter); a check without output only counts it and keeps its last piece for
// the comparison with the source. The reader never talks to the user: its failure is a message
// number and detail the engine reports.
class CBodyReader {
public:
    static constexpr int kPieceSize = 128000;

    // What went wrong, for the engine to turn into its message.
    struct Failure {
        int message = 0; // catalogue number, 0 when the failure needs no message of its own
        QString detail;  // zlib's text, an error text or the sizes
        int error = 0;   // errno of a failed read or write
        // The body stops before its stream ends: a file cut off.
        bool endedShort = false;
    };

    // The last piece a check without output produced.
    struct LastPiece {
        qint64 offset = 0;
        int length = 0;
        std::vector<std::uint8_t> bytes;
    };

    CBodyReader(CAesCipher& cipher, Interaction& ui);

    // `bodyBytes` is the body's length, `padCount` the padding of its last piece, `chain` the running
    // chaining value. kWriteFailed means writing `out` failed; every other failure is kFailed.
    EngineResult Read(File& in, File* out, qint64 bodyBytes, int padCount, std::uint8_t chain[16]);

    qint64 Output() const { return m_output; }
    // The last 16 bytes of the output (fewer for a shorter one, at the end).
    const std::uint8_t* Tail() const { return m_tail; }
    LastPiece& Last() { return m_last; }
    const Failure& LastFailure() const { return m_failure; }

private:
    EngineResult Run(File& in, CInflater& inflater, std::uint8_t chain[16]);
    EngineResult Feed(File& in, CInflater& inflater, std::uint8_t chain[16]);
    EngineResult Inflate(CInflater& inflater, bool& ended);
    EngineResult Finish(CInflater& inflater);
    bool TakePiece(int length);
    EngineResult WriteFailed();
    EngineResult Fail(int message, const QString& detail = QString(), int error = 0);
    EngineResult EndedShort();
    QString SizesText() const;

    CAesCipher& m_cipher;
    Interaction& m_ui;
    std::vector<std::uint8_t> m_input = std::vector<std::uint8_t>(kPieceSize + 16);
    std::vector<std::uint8_t> m_kept; // the output piece of a check without output
    CPieceWriter* m_writer = nullptr;
    std::uint8_t* m_piece = nullptr;
    qint64 m_bodyBytes = 0;
    int m_padCount = 0;
    qint64 m_read = 0;
    bool m_inputEnded = false;
    qint64 m_output = 0;
    std::uint8_t m_tail[16] = {};
    LastPiece m_last;
    Failure m_failure;
};

} // namespace korimbo
