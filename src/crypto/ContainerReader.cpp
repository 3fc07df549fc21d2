// Reading containers: header records, password and signature checks, decryption and verification.
#include "crypto/CryptEngine.h"
#include "util/DisplayText.h"

#include <QDateTime>
#include <QFileInfo>

#include <zlib.h>

#include <cstring>
#include <limits.h>

namespace korimbo {

struct CCryptEngine::DecodeResult {
    qint64 size = 0;        // container size
    qint64 plainSize = 0;   // from the header
    qint64 totalOutput = 0; // bytes the body decoded to
    int error = 0;          // errno of the failed read or write
    std::uint8_t tail[16] = {};
};

namespace {

// The first `units` code units of a text as they are written into a header.
QString Units(const QString& text, int units, QChar filler) {
    QString result = text.left(units);
    while (result.size() < units)
        result.append(filler);
    return result;
}

QString ZlibText(const z_stream& stream, int rc) {
    return QString::fromLatin1(stream.msg ? stream.msg : zError(rc));
}

// "YYYYMMDDhhmmss" as "YYYY/MM/DD hh:mm:ss".
QString CutDateText(const QString& digits) {
    return digits.mid(0, 4) + u'/' + digits.mid(4, 2) + u'/' + digits.mid(6, 2) + u' ' + digits.mid(8, 2) + u':' +
           digits.mid(10, 2) + u':' + digits.mid(12, 2);
}

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

int CCryptEngine::MaxPathLength() {
    return PATH_MAX - 1;
}

// ---- header records ----

int CCryptEngine::ReadContainerInfo(const QString& path, ContainerInfo& info, const QString& key, bool show) {
    info = ContainerInfo();
    info.nameArea.fill(u' ');
    std::unique_ptr<File> file;
    int error = 0;
    for (int attempt = 1; attempt <= 3 && !file; ++attempt) {
        file = m_files.Open(path, OpenMode::Read, error);
        if (!file && attempt < 3)
            m_ui.Sleep(100);
    }
    if (!file) {
        if (show)
            Report(384, u'\n' + ErrorDetail(error) + QStringLiteral("\n\n") + path);
        return -1;
    }
    ContainerHeader& header = info.header;
    if (file->Seek(0, Whence::Begin) < 0) {
        Report(385, u'\n' + ErrorDetail(file->Error()) + QStringLiteral("\n\n") + path);
        return 0;
    }
    const qint64 n = file->Read(header.Data(), ContainerHeader::kSize);
    if (n < 0) {
        header.Fill(0x30);
        Report(386, u'\n' + ErrorDetail(file->Error()) + QStringLiteral("\n\n") + path);
        return 0;
    }
    if (n < ContainerHeader::kSize || DecipherBuffer(header.Data(), ContainerHeader::kSize, m_builtInName) != 0) {
        header.Fill(0x30);
        return 0;
    }
    if (header.Signature() != Units(m_messages.MsgB(6), ContainerHeader::kSignatureUnits, u' '))
        return 0;

    info.padCount = header.PadCount();
    info.nameBlockLength = header.NameBlockLength();
    info.hint = header.Hint();
    info.plainSize = header.PlainSize();
    info.reservedText = header.ReservedText();

    int ok = 0;
    if (VerifyPassword(header.Data() + ContainerHeader::kCheckOffset, key, show, ok) != 0)
        return 0;
    if (DecipherBuffer(header.Data() + ContainerHeader::kTailOffset, ContainerHeader::kTailRunBytes, key) != 0 ||
        DecipherBuffer(header.Data() + ContainerHeader::kDatesOffset, ContainerHeader::kDatesRunBytes, key) != 0)
        return 0;

    const int k = info.nameBlockLength;
    std::uint8_t block[ContainerHeader::kMaxNameBlockLength];
    const qint64 got = ContainerHeader::NameBlockLengthValid(k) ? file->Read(block, k) : 0;
    if (got < 0) {
        Report(387, u'\n' + ErrorDetail(file->Error()) + QStringLiteral("\n\n") + path);
        return 0;
    }
    if (got < k || !ContainerHeader::NameBlockLengthValid(k)) {
        header.Fill(0x30);
        return 0;
    }
    if (DecipherBuffer(block, k, key) != 0)
        return 0;
    for (int i = 0; i < k / 2; ++i)
        info.nameArea[i] = static_cast<char16_t>(block[2 * i] | (block[2 * i + 1] << 8));
    info.nameLength = std::min<int>(info.nameArea[0], std::min(k / 2 - 1, ContainerHeader::kMaxNameUnits));
    info.name = QString::fromUtf16(info.nameArea.data() + 1, info.nameLength);

    info.encryptedAtText = CutDateText(QString::number(header.EncryptedAt()));
    info.modifiedText = CutDateText(
        QDateTime::fromSecsSinceEpoch(header.ModifiedTime()).toLocalTime().toString(QStringLiteral("yyyyMMddHHmmss")));
    return 0;
}

int CCryptEngine::VerifyPassword(const std::uint8_t encrypted[32], const QString& key, bool show, int& ok) {
    ok = 0;
    std::uint8_t copy[32];
    std::memcpy(copy, encrypted, 32);
    if (DecipherBuffer(copy, 32, key) != 0)
        return Report(388, QString());
    const QString expected = Units(m_messages.MsgB(7), ContainerHeader::kCheckUnits, QChar());
    bool equal = true;
    for (int i = 0; i < ContainerHeader::kCheckUnits; ++i)
        equal &= static_cast<char16_t>(copy[2 * i] | (copy[2 * i + 1] << 8)) == expected.at(i).unicode();
    if (equal) {
        ok = 1;
        return 0;
    }
    if (show)
        Report(389, QString(), Icon::Warning);
    return -1;
}

int CCryptEngine::CheckSignature(const ContainerHeader& header, int& status, QString& text) {
    text.clear();
    if (header.Signature() != Units(m_messages.MsgB(6), ContainerHeader::kSignatureUnits, u' ')) {
        status = kNotContainer;
        text = m_messages.MsgA(423);
    } else if (header.Version() > QStringLiteral("001")) {
        status = kNewerVersion;
        text = m_messages.MsgA(424);
    } else {
        status = kUsable;
    }
    return 0;
}

int CCryptEngine::CheckContainer(const QString& path, ContainerInfo& info, const QString& key, bool show, int& status,
                                 QString& text) {
    text.clear();
    if (ReadContainerInfo(path, info, key, show) != 0)
        return -1;
    CheckSignature(info.header, status, text);
    if (status != kUsable) {
        text += u'\n' + path;
        return 0;
    }
    int ok = 0;
    if (VerifyPassword(info.header.Data() + ContainerHeader::kCheckOffset, key, false, ok) == 0) {
        status = kUsable;
        return 0;
    }
    QString hint = info.header.Hint();
    while (!hint.isEmpty() && hint.back().isSpace())
        hint.chop(1);
    status = kWrongPassword;
    text = m_messages.MsgA(421) + path + m_messages.MsgA(422) + hint + QStringLiteral(" 」です。　");
    return 0;
}

// ---- decoding ----

int CCryptEngine::Decode(File& in, File* out, const QString& key, DecodeResult& result) {
    std::uint8_t bodyChain[16];
    if (SelectKey(KeyDirection::Decrypt, key, bodyChain) != 0)
        return -1;
    if (in.Seek(0, Whence::End) < 0) {
        result.error = in.Error();
        Report(369, u'\n' + ErrorDetail(result.error));
        return -7;
    }
    result.size = in.Position();
    if (result.size < 0) {
        result.error = in.Error();
        Report(370, u'\n' + ErrorDetail(result.error));
        return -7;
    }
    if (result.size == 0)
        return Report(371, QString()), -7;
    if (in.Seek(0, Whence::Begin) < 0) {
        result.error = in.Error();
        Report(372, u'\n' + ErrorDetail(result.error));
        return -7;
    }
    ContainerHeader header;
    if (in.Read(header.Data(), ContainerHeader::kSize) != ContainerHeader::kSize)
        return Report(373, QString()), -7;
    if (DecipherBufferHeld(header.Data(), ContainerHeader::kSize, m_builtInName) != 0)
        return -7;

    std::uint8_t chain[16];
    if (SelectKey(KeyDirection::Decrypt, key, chain) != 0)
        return -1;
    std::uint8_t check[32];
    std::memcpy(check, header.Data() + ContainerHeader::kCheckOffset, 32);
    if (m_decryptor.DecryptCbc(check, check, 32, chain) != 0)
        return Report(374, QString());
    const QString expected = Units(m_messages.MsgB(7), ContainerHeader::kCheckUnits, QChar());
    for (int i = 0; i < ContainerHeader::kCheckUnits; ++i) {
        if (static_cast<char16_t>(check[2 * i] | (check[2 * i + 1] << 8)) != expected.at(i).unicode()) {
            Report(375, QString(), Icon::Warning);
            return -1;
        }
    }

    // Lengths from the file are bounded before use: a damaged header must not steer the reads.
    const int k = header.NameBlockLength();
    std::uint8_t block[ContainerHeader::kMaxNameBlockLength];
    if (!ContainerHeader::NameBlockLengthValid(k) || in.Read(block, k) != k)
        return Report(376, QString()), -7;
    result.plainSize = header.PlainSize();
    const int padCount = header.PadCount();
    if (padCount > 15)
        return Report(379, QStringLiteral("invalid padding")), -1;
    const qint64 remaining = result.size - ContainerHeader::kSize - k;
    if (const int rc = DecodeBody(in, out, remaining, padCount, bodyChain, result); rc != 0)
        return rc;
    if (result.totalOutput != result.plainSize)
        return Report(377, QStringLiteral("（%1,%2）").arg(result.plainSize).arg(result.totalOutput));
    return 0;
}

int CCryptEngine::DecodeBody(File& in, File* out, qint64 remaining, int padCount, std::uint8_t chain[16],
                             DecodeResult& result) {
    z_stream stream{};
    int rc = inflateInit(&stream);
    if (rc != Z_OK)
        return Report(378, ZlibText(stream, rc));
    std::vector<std::uint8_t> input(kPieceSize + 16);
    std::vector<std::uint8_t> output(kPieceSize);
    qint64 totalRead = 0;
    auto fail = [&](int code) {
        inflateEnd(&stream);
        return code;
    };
    auto flushOutput = [&](int length) -> int {
        if (length <= 0)
            return 0;
        if (out && out->Write(output.data(), length) != length) {
            result.error = out->Error();
            return -8;
        }
        m_lastPiece.offset = result.totalOutput;
        m_lastPiece.length = length;
        m_lastPiece.bytes.assign(output.begin(), output.begin() + length);
        RollTail(result.tail, output.data(), length);
        result.totalOutput += length;
        return 0;
    };

    stream.next_out = output.data();
    stream.avail_out = kPieceSize;
    do {
        if (stream.avail_in == 0) {
            m_ui.Pump();
            qint64 n = in.Read(input.data(), kPieceSize);
            if (n < 0) {
                result.error = in.Error();
                return fail(Report(379, u'\n' + ErrorDetail(result.error)));
            }
            totalRead += n;
            const bool atEnd = n < kPieceSize || totalRead >= remaining;
            if (n % 16 != 0)
                return fail(Report(382, QString()));
            if (n == 0 || (atEnd && n < padCount))
                return fail(Report(379, QStringLiteral("unexpected end of data")));
            if (m_decryptor.DecryptCbc(input.data(), input.data(), static_cast<std::size_t>(n), chain) != 0)
                return fail(Report(383, QString()));
            if (atEnd)
                n -= padCount;
            stream.next_in = input.data();
            stream.avail_in = static_cast<uInt>(n);
        }
        rc = inflate(&stream, Z_NO_FLUSH);
        if (rc != Z_OK && rc != Z_STREAM_END) {
            const QString text = ZlibText(stream, rc);
            return fail(Report(379, text));
        }
        if (stream.avail_out == 0) {
            if (const int w = flushOutput(kPieceSize); w != 0)
                return fail(w);
            stream.next_out = output.data();
            stream.avail_out = kPieceSize;
        }
    } while (rc != Z_STREAM_END);
    if (const int w = flushOutput(kPieceSize - static_cast<int>(stream.avail_out)); w != 0)
        return fail(w);
    rc = inflateEnd(&stream);
    if (rc != Z_OK)
        return Report(380, ZlibText(stream, rc));
    if (totalRead != remaining)
        return Report(381, QStringLiteral("（%1,%2）").arg(remaining).arg(totalRead));
    return 0;
}

int CCryptEngine::ReadFileTail(const QString& path, qint64& size, std::uint8_t tail[16], int openMsg, int seekMsg,
                               int sizeMsg) {
    int error = 0;
    std::unique_ptr<File> file = m_files.Open(path, OpenMode::Read, error);
    if (!file)
        return Report(openMsg, u'\n' + ErrorDetail(error));
    if (file->Seek(0, Whence::End) < 0)
        return Report(seekMsg, u'\n' + ErrorDetail(file->Error()));
    size = file->Position();
    if (size < 0)
        return Report(sizeMsg, u'\n' + ErrorDetail(file->Error()));
    return ReadTail(*file, size, tail, seekMsg, sizeMsg);
}

int CCryptEngine::DecryptFile(const QString& container, const QString& destination, const QString& key) {
    if (destination.size() > MaxPathLength()) {
        Report(468, QString::number(MaxPathLength()) + m_messages.MsgA(469) + u'\n' + destination, Icon::Warning);
        Report(336, container);
        return -1;
    }
    int result = 0;
    int error = 0;
    qint64 containerSize = 0;
    if (m_files.Size(container, containerSize) == 0 && CheckFreeSpace(destination, containerSize) != 0)
        result = -1;

    // The destination is made beside itself and renamed into place once checked, so a file that was
    // there before survives a failed decryption.
    const QString temp = TempPathBeside(destination);
    std::unique_ptr<File> in;
    std::unique_ptr<File> out;
    if (result == 0) {
        in = m_files.Open(container, OpenMode::Read, error);
        if (!in)
            result = Report(339, u'\n' + ErrorDetail(error) + QStringLiteral("\n\n") + container);
    }
    if (result == 0) {
        out = m_files.Open(temp, OpenMode::WriteTruncate, error);
        if (!out)
            result = Report(340, u'\n' + ErrorDetail(error) + QStringLiteral("\n\n") + destination);
    }
    DecodeResult decoded;
    if (result == 0) {
        if (TakeBusy(368) != 0) {
            result = -1;
        } else {
            result = Decode(*in, out.get(), key, decoded);
            error = decoded.error;
            if (result == 0 && !out->Sync()) {
                error = out->Error();
                result = -8;
            }
            ReleaseBusy();
        }
    }
    in.reset();
    out.reset();

    if (result == 0) {
        qint64 actual = 0;
        if (!m_files.Exists(container))
            result = Report(343, container);
        else if (!m_files.Exists(temp))
            result = Report(344, destination);
        else if (m_files.Size(temp, actual) != 0)
            result = Report(345, destination);
        else if (actual != decoded.totalOutput)
            result = Report(346, QStringLiteral("（%1：%2）\n\n").arg(decoded.totalOutput).arg(actual) + destination);
    }
    ContainerInfo info;
    if (result == 0) {
        qint64 producedSize = 0;
        std::uint8_t producedTail[16];
        ReadContainerInfo(container, info, key, false);
        if (ReadFileTail(temp, producedSize, producedTail, 437, 438, 439) != 0)
            result = -1;
        else if (producedSize != info.header.PlainSize())
            result = Report(440, QString());
        else if (std::memcmp(producedTail, info.header.Tail(), 16) != 0)
            result = Report(441, QString());
    }
    if (result == 0) {
        if (const int rc = m_files.SetModificationTime(temp, info.header.ModifiedTime()); rc != 0)
            result = Report(629, u'\n' + ErrorDetail(rc) + u'\n' + destination);
    }
    if (result == 0) {
        if (const int rc = m_files.Rename(temp, destination); rc != 0) {
            error = rc;
            result = -8;
        }
    }
    if (result == -7)
        Report(341, u'\n' + ErrorDetail(error) + QStringLiteral("\n\n") + container);
    else if (result == -8)
        Report(342, u'\n' + ErrorDetail(error) + QStringLiteral("\n\n") + destination);
    if (result != 0)
        result = DeletePartial(temp, destination, result);
    if (result == -9)
        Report(334, QString(), Icon::Information);
    else if (result != 0)
        Report(336, container);
    return result;
}

int CCryptEngine::VerifyNewContainer(const QString& source, const QString& container, const QString& key) {
    m_lastPiece = LastPiece();
    int error = 0;
    std::unique_ptr<File> in = m_files.Open(container, OpenMode::Read, error);
    if (!in)
        return Report(425, u'\n' + ErrorDetail(error));
    if (TakeBusy(368) != 0)
        return Report(426, QString());
    DecodeResult decoded;
    const int rc = Decode(*in, nullptr, key, decoded);
    ReleaseBusy();
    if (rc != 0)
        return Report(426, QString());

    std::unique_ptr<File> original = m_files.Open(source, OpenMode::Read, error);
    if (!original)
        return Report(427, u'\n' + ErrorDetail(error));
    if (original->Seek(m_lastPiece.offset, Whence::Begin) < 0)
        return Report(428, u'\n' + ErrorDetail(original->Error()));
    std::vector<std::uint8_t> bytes(kPieceSize);
    const qint64 n = original->Read(bytes.data(), kPieceSize);
    if (n != m_lastPiece.length)
        return Report(429, QString());
    if (n > 0 && std::memcmp(bytes.data(), m_lastPiece.bytes.data(), static_cast<std::size_t>(n)) != 0)
        return Report(430, QString());
    return 0;
}

int CCryptEngine::VerifyContainer(const QString& container, const QString& key) {
    int error = 0;
    std::unique_ptr<File> in = m_files.Open(container, OpenMode::Read, error);
    if (!in)
        return Report(425, u'\n' + ErrorDetail(error) + QStringLiteral("\n\n") + container);
    if (TakeBusy(368) != 0)
        return -1;
    DecodeResult decoded;
    const int rc = Decode(*in, nullptr, key, decoded);
    ReleaseBusy();
    if (rc == -7)
        Report(341, u'\n' + ErrorDetail(decoded.error) + QStringLiteral("\n\n") + container);
    if (rc != 0)
        return -1;
    ContainerInfo info;
    ReadContainerInfo(container, info, key, false);
    // A file shorter than 16 bytes is stored as its content followed by zero bytes.
    if (decoded.totalOutput < 16) {
        const auto kept = static_cast<std::size_t>(decoded.totalOutput);
        std::memmove(decoded.tail, decoded.tail + 16 - kept, kept);
        std::memset(decoded.tail + kept, 0, 16 - kept);
    }
    if (std::memcmp(decoded.tail, info.header.Tail(), 16) != 0)
        return Report(441, u'\n' + container);
    return 0;
}

} // namespace korimbo
