#include "crypto/BodyReader.h"

#include "crypto/Inflater.h"
#include "crypto/PieceWriter.h"
#include "util/ErrorText.h"
#include "util/MessageNumbers.h"

#include <cstring>
#include <optional>

namespace korimbo {

namespace {

const QString kEndedShort = QStringLiteral("データが途中で終わっています。");

// Keeps the last 16 bytes that passed through.
void RollTail(std::uint8_t tail[16], const std::uint8_t* data, int length) {
    if (length >= 16) {
        std::memcpy(tail, data + length - 16, 16);
    } else if (length > 0) {
        std::memmove(tail, tail + length, static_cast<std::size_t>(16 - length));
        std::memcpy(tail + 16 - length, data, static_cast<std::size_t>(length));
    }
}

} // namespace

CBodyReader::CBodyReader(CAesCipher& cipher, Interaction& ui) : m_cipher(cipher), m_ui(ui) {}

EngineResult CBodyReader::Read(File& in, File* out, qint64 bodyBytes, int padCount, std::uint8_t chain[16]) {
    m_bodyBytes = bodyBytes;
    m_padCount = padCount;
    CInflater inflater;
    if (!inflater.Ready())
        return Fail(msg::kInflateStart, inflater.Error());
    std::optional<CPieceWriter> writer;
    if (out)
        writer.emplace(*out, kPieceSize);
    else
        m_kept.resize(kPieceSize);
    m_writer = writer ? &*writer : nullptr;
    const EngineResult result = Run(in, inflater, chain);
    m_writer = nullptr;
    return result;
}

EngineResult CBodyReader::Run(File& in, CInflater& inflater, std::uint8_t chain[16]) {
    m_piece = m_writer ? m_writer->NextBuffer() : m_kept.data();
    inflater.Output(m_piece, kPieceSize);
    bool ended = false;
    while (!ended) {
        if (inflater.InputLeft() == 0 && !m_inputEnded) {
            if (const EngineResult rc = Feed(in, inflater, chain); rc != kOk)
                return rc;
        }
        if (const EngineResult rc = Inflate(inflater, ended); rc != kOk)
            return rc;
    }
    return Finish(inflater);
}

// The next piece of the body, deciphered, to the inflater; the last one without its padding.
EngineResult CBodyReader::Feed(File& in, CInflater& inflater, std::uint8_t chain[16]) {
    m_ui.Pump();
    qint64 n = in.Read(m_input.data(), kPieceSize);
    if (n < 0)
        return Fail(msg::kBodyDamaged, u'\n' + ErrnoText(in.Error()), in.Error());
    m_read += n;
    m_inputEnded = n < kPieceSize || m_read >= m_bodyBytes;
    if (n % 16 != 0)
        return Fail(msg::kBodyLength);
    if (n == 0 || (m_inputEnded && n < m_padCount))
        return EndedShort();
    if (m_cipher.DecryptCbc(m_input.data(), m_input.data(), static_cast<std::size_t>(n), chain) != 0)
        return Fail(msg::kBodyDecipher);
    if (m_inputEnded)
        n -= m_padCount;
    inflater.Input(m_input.data(), static_cast<std::size_t>(n));
    return kOk;
}

// One run of the inflater; a full piece goes out.
EngineResult CBodyReader::Inflate(CInflater& inflater, bool& ended) {
    const std::size_t inputBefore = inflater.InputLeft();
    const std::size_t roomBefore = inflater.OutputLeft();
    const CInflater::Step step = inflater.Run();
    if (step == CInflater::Step::Failed)
        return Fail(msg::kBodyDamaged, inflater.Error());
    ended = step == CInflater::Step::End;
    if (inflater.OutputLeft() == 0) {
        if (!TakePiece(kPieceSize))
            return WriteFailed();
        inflater.Output(m_piece, kPieceSize);
    } else if (!ended && m_inputEnded && inflater.InputLeft() == inputBefore && inflater.OutputLeft() == roomBefore) {
        // All of the body is in and nothing moves: the stream stops short of its end.
        return EndedShort();
    }
    return kOk;
}

EngineResult CBodyReader::Finish(CInflater& inflater) {
    // Bytes after the end of the stream are no part of a container this program writes.
    if (inflater.InputLeft() > 0)
        return Fail(msg::kBodySize, SizesText());
    if (const int last = kPieceSize - static_cast<int>(inflater.OutputLeft()); last > 0 && !TakePiece(last))
        return WriteFailed();
    if (m_writer && !m_writer->Finish())
        return WriteFailed();
    if (m_read != m_bodyBytes)
        return Fail(msg::kBodySize, SizesText());
    return kOk;
}

// The piece's bytes go to the writer, or, in a check without output, stay for the comparison of the
// last piece with its source. False when the writer failed.
bool CBodyReader::TakePiece(int length) {
    RollTail(m_tail, m_piece, length);
    if (!m_writer) {
        m_last.offset = m_output;
        m_last.length = length;
        m_last.bytes.assign(m_piece, m_piece + length);
    }
    m_output += length;
    return !m_writer || (m_writer->Submit(length) && (m_piece = m_writer->NextBuffer()) != nullptr);
}

EngineResult CBodyReader::WriteFailed() {
    m_writer->Finish();
    m_failure = Failure{0, QString(), m_writer->Error()};
    return kWriteFailed;
}

EngineResult CBodyReader::Fail(int message, const QString& detail, int error) {
    m_failure = Failure{message, detail, error};
    return kFailed;
}

EngineResult CBodyReader::EndedShort() {
    m_failure = Failure{msg::kBodyDamaged, kEndedShort, 0, true};
    return kFailed;
}

QString CBodyReader::SizesText() const {
    return QStringLiteral("（%1,%2）").arg(m_bodyBytes).arg(m_read);
}

} // namespace korimbo
