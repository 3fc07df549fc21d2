#include "crypto/BodyWriter.h"

#include <zlib.h>

#include <cstring>

namespace korimbo {

namespace {

QString ZlibText(const z_stream& stream, int rc) {
    return QString::fromLatin1(stream.msg ? stream.msg : zError(rc));
}

} // namespace

CBodyWriter::CBodyWriter(CAesCipher& cipher, Interaction& ui)
    : m_cipher(cipher), m_ui(ui), m_input(kPieceSize), m_output(kPieceSize + 16) {}

EngineResult CBodyWriter::Fail(EngineResult result, int message, const QString& detail, int error) {
    m_failure = {message, detail, error};
    return result;
}

EngineResult CBodyWriter::Write(File& in, File& out, qint64 expectedSize, std::uint8_t chain[16]) {
    m_bodyBytes = 0;
    m_padCount = 0;
    m_failure = {};

    z_stream stream{};
    int rc = deflateInit(&stream, Z_DEFAULT_COMPRESSION);
    if (rc != Z_OK)
        return Fail(kFailed, 363, ZlibText(stream, rc));

    qint64 totalRead = 0;
    int flush = Z_NO_FLUSH;
    stream.next_out = m_output.data();
    stream.avail_out = kPieceSize;
    for (;;) {
        if (stream.avail_in == 0 && flush != Z_FINISH) {
            m_ui.Pump();
            const qint64 n = in.Read(m_input.data(), kPieceSize);
            if (n < 0) {
                deflateEnd(&stream);
                return Fail(kReadFailed, 0, QString(), in.Error());
            }
            totalRead += n;
            if (n < kPieceSize)
                flush = Z_FINISH;
            stream.next_in = m_input.data();
            stream.avail_in = static_cast<uInt>(n);
        }
        rc = deflate(&stream, flush);
        if (rc == Z_STREAM_END)
            break;
        if (rc != Z_OK && rc != Z_BUF_ERROR) {
            const QString text = ZlibText(stream, rc);
            deflateEnd(&stream);
            return Fail(kFailed, 364, text);
        }
        if (m_ui.StopRequested()) {
            deflateEnd(&stream);
            return Fail(kStopped, 0);
        }
        if (stream.avail_out == 0) {
            if (const EngineResult piece = WritePiece(out, kPieceSize, chain); piece != 0) {
                deflateEnd(&stream);
                return piece;
            }
            stream.next_out = m_output.data();
            stream.avail_out = kPieceSize;
        }
    }
    const int rest = kPieceSize - static_cast<int>(stream.avail_out);
    if (rest > 0) {
        if (const EngineResult piece = WritePiece(out, rest, chain); piece != 0) {
            deflateEnd(&stream);
            return piece;
        }
    }
    rc = deflateEnd(&stream);
    if (rc != Z_OK)
        return Fail(kFailed, 365, ZlibText(stream, rc));
    if (totalRead != expectedSize)
        return Fail(kFailed, 366, QStringLiteral("（%1,%2）").arg(expectedSize).arg(totalRead));
    return kOk;
}

EngineResult CBodyWriter::WritePiece(File& out, int length, std::uint8_t chain[16]) {
    const int rounded = (length + 15) / 16 * 16;
    m_padCount = rounded - length;
    std::memset(m_output.data() + length, 0x30, static_cast<std::size_t>(m_padCount));
    if (m_cipher.EncryptCbc(m_output.data(), m_output.data(), static_cast<std::size_t>(rounded), chain) != 0)
        return Fail(kFailed, 367);
    const qint64 written = out.Write(m_output.data(), rounded);
    if (written != rounded)
        return Fail(kWriteFailed, 0, QString(), out.Error());
    m_bodyBytes += rounded;
    return kOk;
}

} // namespace korimbo
