// Reading containers: header records, password and signature checks, decryption and verification.
#include "crypto/BodyVerifier.h"
#include "crypto/CryptEngine.h"
#include "crypto/Inflater.h"
#include "util/MessageNumbers.h"
#include "crypto/PieceWriter.h"
#include "util/DisplayText.h"
#include "util/FileNames.h"

#include <QDateTime>
#include <QFileInfo>

#include <cerrno>

#include <cstring>
#include <limits.h>
#include <optional>

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
        // Only a file held for a moment is worth waiting for; a missing or forbidden one stays so.
        const bool passing = error == EBUSY || error == EAGAIN || error == ETXTBSY || error == EINTR;
        if (!file && !passing)
            break;
        if (!file && attempt < 3)
            m_ui.Sleep(100);
    }
    if (!file) {
        if (show)
            Report(msg::kContainerOpen, u'\n' + ErrorDetail(error) + QStringLiteral("\n\n") + path);
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

EngineResult CCryptEngine::Decode(File& in, File* out, const QString& key, DecodeResult& result) {
    std::uint8_t bodyChain[16];
    if (SelectKey(KeyDirection::Decrypt, key, bodyChain) != 0)
        return kFailed;
    int padCount = 0;
    qint64 remaining = 0;
    if (const EngineResult rc = DecodeHeader(in, key, result, padCount, remaining); rc != kOk)
        return rc;
    if (const EngineResult rc = DecodeBody(in, out, remaining, padCount, bodyChain, result); rc != kOk)
        return rc;
    if (result.totalOutput != result.plainSize)
        return Refuse(377, QStringLiteral("（%1,%2）").arg(result.plainSize).arg(result.totalOutput));
    return kOk;
}

EngineResult CCryptEngine::DecodeHeader(File& in, const QString& key, DecodeResult& result, int& padCount,
                                        qint64& remaining) {
    if (in.Seek(0, Whence::End) < 0) {
        result.error = in.Error();
        Report(369, u'\n' + ErrorDetail(result.error));
        return kReadFailed;
    }
    result.size = in.Position();
    if (result.size < 0) {
        result.error = in.Error();
        Report(370, u'\n' + ErrorDetail(result.error));
        return kReadFailed;
    }
    if (result.size == 0)
        return Report(371, QString()), kReadFailed;
    if (in.Seek(0, Whence::Begin) < 0) {
        result.error = in.Error();
        Report(372, u'\n' + ErrorDetail(result.error));
        return kReadFailed;
    }
    ContainerHeader header;
    if (in.Read(header.Data(), ContainerHeader::kSize) != ContainerHeader::kSize)
        return Report(373, QString()), kReadFailed;
    if (DecipherBufferHeld(header.Data(), ContainerHeader::kSize, m_builtInName) != 0)
        return kReadFailed;

    std::uint8_t chain[16];
    if (SelectKey(KeyDirection::Decrypt, key, chain) != 0)
        return kFailed;
    std::uint8_t check[32];
    std::memcpy(check, header.Data() + ContainerHeader::kCheckOffset, 32);
    if (m_decryptor.DecryptCbc(check, check, 32, chain) != 0)
        return Refuse(374, QString());
    const QString expected = Units(m_messages.MsgB(7), ContainerHeader::kCheckUnits, QChar());
    for (int i = 0; i < ContainerHeader::kCheckUnits; ++i) {
        if (static_cast<char16_t>(check[2 * i] | (check[2 * i + 1] << 8)) != expected.at(i).unicode()) {
            return Refuse(375, QString(), Icon::Warning);
        }
    }

    // Lengths from the file are bounded before use: a damaged header must not steer the reads.
    const int k = header.NameBlockLength();
    std::uint8_t block[ContainerHeader::kMaxNameBlockLength];
    if (!ContainerHeader::NameBlockLengthValid(k) || in.Read(block, k) != k)
        return Report(376, QString()), kReadFailed;
    result.plainSize = header.PlainSize();
    padCount = header.PadCount();
    if (padCount > 15)
        return Report(msg::kBodyDamaged, QStringLiteral("invalid padding")), kFailed;
    remaining = result.size - ContainerHeader::kSize - k;
    return kOk;
}

EngineResult CCryptEngine::DecodeBody(File& in, File* out, qint64 remaining, int padCount, std::uint8_t chain[16],
                                      DecodeResult& result) {
    CInflater inflater;
    if (!inflater.Ready())
        return Refuse(378, inflater.Error());
    std::vector<std::uint8_t> input(kPieceSize + 16);
    // A decryption hands its pieces to a writer thread; a check without output keeps one piece here.
    std::vector<std::uint8_t> output(out ? 0 : kPieceSize);
    std::optional<CPieceWriter> writer;
    if (out)
        writer.emplace(*out, kPieceSize);
    std::uint8_t* piece = out ? writer->NextBuffer() : output.data();
    qint64 totalRead = 0;
    auto writeFailed = [&] {
        writer->Finish();
        result.error = writer->Error();
        return kWriteFailed;
    };
    // The piece's bytes go to the writer, or, in a check without output, stay for the comparison of
    // the last piece with its source.
    auto takePiece = [&](int length) {
        RollTail(result.tail, piece, length);
        if (!out) {
            m_lastPiece.offset = result.totalOutput;
            m_lastPiece.length = length;
            m_lastPiece.bytes.assign(piece, piece + length);
        }
        result.totalOutput += length;
        return !out || (writer->Submit(length) && (piece = writer->NextBuffer()) != nullptr);
    };

    inflater.Output(piece, kPieceSize);
    bool inputEnded = false;
    CInflater::Step step = CInflater::Step::More;
    do {
        if (inflater.InputLeft() == 0 && !inputEnded) {
            m_ui.Pump();
            qint64 n = in.Read(input.data(), kPieceSize);
            if (n < 0) {
                result.error = in.Error();
                return Refuse(msg::kBodyDamaged, u'\n' + ErrorDetail(result.error));
            }
            totalRead += n;
            inputEnded = n < kPieceSize || totalRead >= remaining;
            if (n % 16 != 0)
                return Refuse(382, QString());
            if (n == 0 || (inputEnded && n < padCount))
                return Refuse(msg::kBodyDamaged, QStringLiteral("unexpected end of data"));
            if (m_decryptor.DecryptCbc(input.data(), input.data(), static_cast<std::size_t>(n), chain) != 0)
                return Refuse(383, QString());
            if (inputEnded)
                n -= padCount;
            inflater.Input(input.data(), static_cast<std::size_t>(n));
        }
        const std::size_t inputBefore = inflater.InputLeft();
        const std::size_t roomBefore = inflater.OutputLeft();
        step = inflater.Run();
        if (step == CInflater::Step::Failed)
            return Refuse(msg::kBodyDamaged, inflater.Error());
        if (inflater.OutputLeft() == 0) {
            if (!takePiece(kPieceSize))
                return writeFailed();
            inflater.Output(piece, kPieceSize);
        } else if (step == CInflater::Step::More && inputEnded && inflater.InputLeft() == inputBefore &&
                   inflater.OutputLeft() == roomBefore) {
            // All of the body is in and nothing moves: the stream stops short of its end.
            return Refuse(msg::kBodyDamaged, QStringLiteral("unexpected end of data"));
        }
    } while (step != CInflater::Step::End);
    // Bytes after the end of the stream are no part of a container this program writes.
    if (inflater.InputLeft() > 0)
        return Refuse(381, QStringLiteral("（%1,%2）").arg(remaining).arg(totalRead));
    if (const int last = kPieceSize - static_cast<int>(inflater.OutputLeft()); last > 0 && !takePiece(last))
        return writeFailed();
    if (writer && !writer->Finish())
        return writeFailed();
    if (totalRead != remaining)
        return Refuse(381, QStringLiteral("（%1,%2）").arg(remaining).arg(totalRead));
    return kOk;
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

EngineResult CCryptEngine::DecryptFile(const QString& container, const QString& destination, const QString& key) {
    if (!IsRepresentablePath(container)) {
        Report(msg::kUnrepresentableName, QStringLiteral("\n\n") + container);
        return Refuse(msg::kDecryptFailed, container);
    }
    if (destination.size() > MaxPathLength()) {
        Report(468, QString::number(MaxPathLength()) + m_messages.MsgA(469) + u'\n' + destination, Icon::Warning);
        return Refuse(msg::kDecryptFailed, container);
    }
    EngineResult result = kOk;
    int error = 0;
    qint64 containerSize = 0;
    if (m_files.Size(container, containerSize) == 0 && CheckFreeSpace(destination, containerSize) != 0)
        result = kFailed;

    // The destination is made beside itself and renamed into place once checked, so a file that was
    // there before survives a failed decryption.
    const QString temp = TempPathBeside(destination, TempKind::Plain);
    std::unique_ptr<File> in;
    std::unique_ptr<File> out;
    if (result == kOk) {
        in = m_files.Open(container, OpenMode::Read, error);
        if (!in)
            result = Refuse(msg::kSourceOpen, u'\n' + ErrorDetail(error) + QStringLiteral("\n\n") + container);
    }
    if (result == kOk) {
        out = m_files.Open(temp, OpenMode::WriteTruncate, error);
        if (!out)
            result = Refuse(msg::kDestinationOpen, u'\n' + ErrorDetail(error) + QStringLiteral("\n\n") + destination);
    }
    DecodeResult decoded;
    if (result == kOk) {
        if (TakeBusy(msg::kDecryptBusy) != 0) {
            result = kFailed;
        } else {
            result = Decode(*in, out.get(), key, decoded);
            error = decoded.error;
            if (result == kOk && !out->Sync()) {
                error = out->Error();
                result = kWriteFailed;
            }
            ReleaseBusy();
        }
    }
    in.reset();
    out.reset();

    if (result == kOk) {
        qint64 actual = 0;
        if (!m_files.Exists(container))
            result = Refuse(msg::kSourceGone, container);
        else if (!m_files.Exists(temp))
            result = Refuse(msg::kDestinationMissing, destination);
        else if (m_files.Size(temp, actual) != 0)
            result = Refuse(msg::kDestinationSize, destination);
        else if (actual != decoded.totalOutput)
            result = Refuse(msg::kSizeMismatch,
                            QStringLiteral("（%1：%2）\n\n").arg(decoded.totalOutput).arg(actual) + destination);
    }
    ContainerInfo info;
    if (result == kOk) {
        qint64 producedSize = 0;
        std::uint8_t producedTail[16];
        ReadContainerInfo(container, info, key, false);
        if (ReadFileTail(temp, producedSize, producedTail, 437, 438, 439) != 0)
            result = kFailed;
        else if (producedSize != info.header.PlainSize())
            result = Refuse(440, QString());
        else if (std::memcmp(producedTail, info.header.Tail(), 16) != 0)
            result = Refuse(msg::kTailMismatch, QString());
    }
    if (result == kOk) {
        if (const int rc = m_files.SetModificationTime(temp, info.header.ModifiedTime()); rc != 0)
            result = Refuse(629, u'\n' + ErrorDetail(rc) + u'\n' + destination);
    }
    if (result == kOk) {
        if (const int rc = m_files.Rename(temp, destination); rc != 0) {
            error = rc;
            result = kWriteFailed;
        }
    }
    if (result == kReadFailed)
        Report(msg::kSourceRead, u'\n' + ErrorDetail(error) + QStringLiteral("\n\n") + container);
    else if (result == kWriteFailed)
        Report(msg::kDestinationWrite, u'\n' + ErrorDetail(error) + QStringLiteral("\n\n") + destination);
    if (result != kOk)
        result = DeletePartial(temp, destination, result);
    if (result == kStopped)
        Report(msg::kStopped, QString(), Icon::Information);
    else if (result != kOk)
        Report(msg::kDecryptFailed, container);
    return result;
}

int CCryptEngine::VerifyNewContainer(const QString& source, const QString& container, const QString& key) {
    m_lastPiece = LastPiece();
    int error = 0;
    std::unique_ptr<File> in = m_files.Open(container, OpenMode::Read, error);
    if (!in)
        return Report(msg::kVerifyOpen, u'\n' + ErrorDetail(error));
    if (TakeBusy(msg::kDecryptBusy) != 0)
        return Report(msg::kVerifyFailed, QString());
    DecodeResult decoded;
    const EngineResult rc = Decode(*in, nullptr, key, decoded);
    ReleaseBusy();
    if (rc != kOk)
        return Report(msg::kVerifyFailed, QString());

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

int CCryptEngine::VerifyWrittenContainer(const QString& container, const QString& key, CBodyVerifier& verifier) {
    if (verifier.Wait() != 0) {
        const CBodyVerifier::Outcome& outcome = verifier.Result();
        if (outcome.message != 0)
            Report(outcome.message, outcome.detail);
        if (outcome.message == 0 || outcome.verifyFailedToo)
            Report(msg::kVerifyFailed, QString());
        return -1;
    }
    const CBodyVerifier::Outcome& outcome = verifier.Result();
    int error = 0;
    std::unique_ptr<File> in = m_files.Open(container, OpenMode::Read, error);
    if (!in)
        return Report(msg::kVerifyOpen, u'\n' + ErrorDetail(error));
    if (TakeBusy(msg::kDecryptBusy) != 0)
        return Report(msg::kVerifyFailed, QString());
    DecodeResult decoded;
    int padCount = 0;
    qint64 remaining = 0;
    EngineResult rc = DecodeHeader(*in, key, decoded, padCount, remaining);
    ReleaseBusy();
    // The header read back must describe the body the verifier saw.
    if (rc == kOk && (remaining != outcome.bodyRead || padCount != outcome.padCount))
        rc = Refuse(381, QStringLiteral("（%1,%2）").arg(remaining).arg(outcome.bodyRead));
    if (rc == kOk && decoded.plainSize != outcome.output)
        rc = Refuse(377, QStringLiteral("（%1,%2）").arg(decoded.plainSize).arg(outcome.output));
    if (rc != kOk)
        return Report(msg::kVerifyFailed, QString());
    return 0;
}

int CCryptEngine::VerifyContainer(const QString& container, const QString& key) {
    int error = 0;
    std::unique_ptr<File> in = m_files.Open(container, OpenMode::Read, error);
    if (!in)
        return Report(msg::kVerifyOpen, u'\n' + ErrorDetail(error) + QStringLiteral("\n\n") + container);
    if (TakeBusy(msg::kDecryptBusy) != 0)
        return -1;
    DecodeResult decoded;
    const EngineResult rc = Decode(*in, nullptr, key, decoded);
    ReleaseBusy();
    if (rc == kReadFailed)
        Report(msg::kSourceRead, u'\n' + ErrorDetail(decoded.error) + QStringLiteral("\n\n") + container);
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
        return Report(msg::kTailMismatch, u'\n' + container);
    return 0;
}

} // namespace korimbo
