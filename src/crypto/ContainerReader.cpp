// Reading containers: header records, password and signature checks, decryption and verification.
#include "crypto/BodyReader.h"
#include "crypto/BodyVerifier.h"
#include "crypto/CryptEngine.h"
#include "util/DisplayText.h"
#include "util/FileNames.h"
#include "util/MessageNumbers.h"

#include <QDateTime>
#include <QFileInfo>

#include <cerrno>

#include <openssl/crypto.h>

#include <cstring>
#include <limits.h>

namespace korimbo {

struct CCryptEngine::DecodeResult {
    qint64 size = 0;        // container size
    qint64 plainSize = 0;   // from the header
    qint64 totalOutput = 0; // bytes the body decoded to
    int error = 0;          // errno of the failed read or write
    std::uint8_t tail[16] = {};
    CBodyReader::LastPiece last; // of a check without output
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

} // namespace

int CCryptEngine::MaxPathLength() {
    return PATH_MAX - 1;
}

// ---- header records ----

EngineResult CCryptEngine::ReadContainerInfo(const QString& path, ContainerInfo& info, const QString& key, bool show) {
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
        return kFailed;
    }
    ContainerHeader& header = info.header;
    if (file->Seek(0, Whence::Begin) < 0) {
        Report(msg::kInfoSeek, u'\n' + ErrorDetail(file->Error()) + QStringLiteral("\n\n") + path);
        return kOk;
    }
    const qint64 n = file->Read(header.Data(), ContainerHeader::kSize);
    if (n < 0) {
        header.Fill(0x30);
        Report(msg::kInfoHeaderRead, u'\n' + ErrorDetail(file->Error()) + QStringLiteral("\n\n") + path);
        return kOk;
    }
    if (n < ContainerHeader::kSize || DecipherBuffer(header.Data(), ContainerHeader::kSize, m_builtInName) != kOk) {
        header.Fill(0x30);
        return kOk;
    }
    if (header.Signature() != Units(m_messages.MsgB(6), ContainerHeader::kSignatureUnits, u' '))
        return kOk;

    info.padCount = header.PadCount();
    info.nameBlockLength = header.NameBlockLength();
    info.hint = header.Hint();
    info.plainSize = header.PlainSize();
    info.reservedText = header.ReservedText();

    if (VerifyPassword(header.Data() + ContainerHeader::kCheckOffset, key, show) != kOk)
        return kOk;
    if (DecipherBuffer(header.Data() + ContainerHeader::kTailOffset, ContainerHeader::kTailRunBytes, key) != kOk ||
        DecipherBuffer(header.Data() + ContainerHeader::kDatesOffset, ContainerHeader::kDatesRunBytes, key) != kOk)
        return kOk;

    const int k = info.nameBlockLength;
    std::uint8_t block[ContainerHeader::kMaxNameBlockLength];
    const qint64 got = ContainerHeader::NameBlockLengthValid(k) ? file->Read(block, k) : 0;
    if (got < 0) {
        Report(msg::kInfoNameRead, u'\n' + ErrorDetail(file->Error()) + QStringLiteral("\n\n") + path);
        return kOk;
    }
    if (got < k || !ContainerHeader::NameBlockLengthValid(k)) {
        header.Fill(0x30);
        return kOk;
    }
    if (DecipherBuffer(block, k, key) != kOk)
        return kOk;
    for (int i = 0; i < k / 2; ++i)
        info.nameArea[i] = static_cast<char16_t>(block[2 * i] | (block[2 * i + 1] << 8));
    info.nameLength = std::min<int>(info.nameArea[0], std::min(k / 2 - 1, ContainerHeader::kMaxNameUnits));
    info.name = QString::fromUtf16(info.nameArea.data() + 1, info.nameLength);

    info.encryptedAtText = CutDateText(QString::number(header.EncryptedAt()));
    info.modifiedText = CutDateText(
        QDateTime::fromSecsSinceEpoch(header.ModifiedTime()).toLocalTime().toString(QStringLiteral("yyyyMMddHHmmss")));
    return kOk;
}

EngineResult CCryptEngine::VerifyPassword(const std::uint8_t encrypted[32], const QString& key, bool show) {
    std::uint8_t copy[32];
    std::memcpy(copy, encrypted, 32);
    if (DecipherBuffer(copy, 32, key) != kOk)
        return Refuse(msg::kInfoCheckDecipher, QString());
    const QString expected = Units(m_messages.MsgB(7), ContainerHeader::kCheckUnits, QChar());
    bool equal = true;
    for (int i = 0; i < ContainerHeader::kCheckUnits; ++i)
        equal &= static_cast<char16_t>(copy[2 * i] | (copy[2 * i + 1] << 8)) == expected.at(i).unicode();
    if (equal)
        return kOk;
    if (show)
        Report(msg::kPasswordMismatch, QString(), Icon::Warning);
    return kFailed;
}

ContainerCheck CCryptEngine::CheckSignature(const ContainerHeader& header) {
    if (header.Signature() != Units(m_messages.MsgB(6), ContainerHeader::kSignatureUnits, u' '))
        return {kNotContainer, m_messages.MsgA(msg::kNotContainer)};
    if (header.Version() > QStringLiteral("001"))
        return {kNewerVersion, m_messages.MsgA(msg::kNewerContainer)};
    return {};
}

std::optional<ContainerCheck> CCryptEngine::CheckContainer(const QString& path, ContainerInfo& info, const QString& key,
                                                           bool show) {
    if (ReadContainerInfo(path, info, key, show) != kOk)
        return std::nullopt;
    ContainerCheck check = CheckSignature(info.header);
    if (!check.Usable()) {
        check.text += u'\n' + path;
        return check;
    }
    if (VerifyPassword(info.header.Data() + ContainerHeader::kCheckOffset, key, false) == kOk)
        return check;
    QString hint = info.header.Hint();
    while (!hint.isEmpty() && hint.back().isSpace())
        hint.chop(1);
    check.status = kWrongPassword;
    check.text = m_messages.MsgA(msg::kWrongPasswordFor) + path + m_messages.MsgA(msg::kHintOfContainer) + hint +
                 QStringLiteral(" 」です。　");
    return check;
}

// ---- decoding ----

EngineResult CCryptEngine::Decode(File& in, File* out, const QString& key, DecodeResult& result) {
    std::uint8_t bodyChain[16];
    if (SelectKey(KeyDirection::Decrypt, key, bodyChain) != kOk)
        return kFailed;
    int padCount = 0;
    qint64 remaining = 0;
    if (const EngineResult rc = DecodeHeader(in, key, result, padCount, remaining); rc != kOk)
        return rc;
    CBodyReader reader(m_decryptor, m_ui);
    const EngineResult rc = reader.Read(in, out, remaining, padCount, bodyChain);
    result.totalOutput = reader.Output();
    std::memcpy(result.tail, reader.Tail(), 16);
    result.last = std::move(reader.Last());
    if (rc != kOk) {
        const CBodyReader::Failure& failure = reader.LastFailure();
        result.error = failure.error;
        if (failure.message != 0)
            Report(failure.message, failure.detail);
        return rc;
    }
    if (result.totalOutput != result.plainSize)
        return Refuse(msg::kDecodedSize, QStringLiteral("（%1,%2）").arg(result.plainSize).arg(result.totalOutput));
    return kOk;
}

EngineResult CCryptEngine::FileFailed(EngineResult result, int message, const File& file, int& error) {
    error = file.Error();
    if (message != 0)
        Report(message, u'\n' + ErrorDetail(error));
    return result;
}

EngineResult CCryptEngine::DecodeHeader(File& in, const QString& key, DecodeResult& result, int& padCount,
                                        qint64& remaining) {
    if (in.Seek(0, Whence::End) < 0)
        return FileFailed(kReadFailed, msg::kContainerSeekEnd, in, result.error);
    result.size = in.Position();
    if (result.size < 0)
        return FileFailed(kReadFailed, msg::kContainerSize, in, result.error);
    if (result.size == 0) {
        Report(msg::kContainerEmpty, QString());
        return kReadFailed;
    }
    if (in.Seek(0, Whence::Begin) < 0)
        return FileFailed(kReadFailed, msg::kContainerSeekStart, in, result.error);
    ContainerHeader header;
    if (in.Read(header.Data(), ContainerHeader::kSize) != ContainerHeader::kSize) {
        Report(msg::kHeaderRead, QString());
        return kReadFailed;
    }
    if (DecipherBufferHeld(header.Data(), ContainerHeader::kSize, m_builtInName) != kOk)
        return kReadFailed;
    if (const EngineResult rc = CheckCheckText(header, key); rc != kOk)
        return rc;

    // Lengths from the file are bounded before use: a damaged header must not steer the reads.
    const int k = header.NameBlockLength();
    std::uint8_t block[ContainerHeader::kMaxNameBlockLength];
    if (!ContainerHeader::NameBlockLengthValid(k) || in.Read(block, k) != k) {
        Report(msg::kNameBlockRead, QString());
        return kReadFailed;
    }
    result.plainSize = header.PlainSize();
    padCount = header.PadCount();
    if (padCount > 15)
        return Refuse(msg::kBodyDamaged, QStringLiteral("パディングの長さが正しくありません。"));
    remaining = result.size - ContainerHeader::kSize - k;
    return kOk;
}

// The header's check text must decipher with `key` to the known text.
EngineResult CCryptEngine::CheckCheckText(const ContainerHeader& header, const QString& key) {
    std::uint8_t chain[16];
    if (SelectKey(KeyDirection::Decrypt, key, chain) != kOk)
        return kFailed;
    std::uint8_t check[32];
    std::memcpy(check, header.Data() + ContainerHeader::kCheckOffset, 32);
    if (m_decryptor.DecryptCbc(check, check, 32, chain) != 0)
        return Refuse(msg::kCheckDecipher, QString());
    const QString expected = Units(m_messages.MsgB(7), ContainerHeader::kCheckUnits, QChar());
    for (int i = 0; i < ContainerHeader::kCheckUnits; ++i) {
        if (static_cast<char16_t>(check[2 * i] | (check[2 * i + 1] << 8)) != expected.at(i).unicode())
            return Refuse(msg::kWrongPassword, QString(), Icon::Warning);
    }
    return kOk;
}

EngineResult CCryptEngine::ReadFileTail(const QString& path, qint64& size, std::uint8_t tail[16], int openMsg,
                                        int seekMsg, int sizeMsg) {
    int error = 0;
    std::unique_ptr<File> file = m_files.Open(path, OpenMode::Read, error);
    if (!file)
        return Refuse(openMsg, u'\n' + ErrorDetail(error));
    if (file->Seek(0, Whence::End) < 0)
        return Refuse(seekMsg, u'\n' + ErrorDetail(file->Error()));
    size = file->Position();
    if (size < 0)
        return Refuse(sizeMsg, u'\n' + ErrorDetail(file->Error()));
    return ReadTail(*file, size, tail, seekMsg, sizeMsg);
}

EngineResult CCryptEngine::DecryptFile(const QString& container, const QString& destination, const QString& key,
                                       Durability durability) {
    if (!IsRepresentablePath(container)) {
        Report(msg::kUnrepresentableName, QStringLiteral("\n\n") + container);
        return Refuse(msg::kDecryptFailed, container);
    }
    if (destination.size() > MaxPathLength()) {
        Report(msg::kPathTooLong,
               QString::number(MaxPathLength()) + m_messages.MsgA(msg::kPathTooLongEnd) + u'\n' + destination,
               Icon::Warning);
        return Refuse(msg::kDecryptFailed, container);
    }
    // The destination is made beside itself and renamed into place once checked, so a file that was
    // there before survives a failed decryption.
    const QString temp = TempPathBeside(destination, TempKind::Plain);
    int error = 0;
    DecodeResult decoded;
    EngineResult result = DecryptInto(container, destination, temp, key, decoded, error, durability);
    if (result == kOk)
        result = CheckDecrypted(container, destination, temp, key, decoded, error);
    return Conclude(result, error, container, temp, destination, msg::kDecryptFailed);
}

// Free space, the files, and the decoding inside the busy flag; the files are closed on return.
EngineResult CCryptEngine::DecryptInto(const QString& container, const QString& destination, const QString& temp,
                                       const QString& key, DecodeResult& decoded, int& error, Durability durability) {
    qint64 containerSize = 0;
    if (m_files.Size(container, containerSize).Ok() && CheckFreeSpace(destination, containerSize) != kOk)
        return kFailed;
    std::unique_ptr<File> in = m_files.Open(container, OpenMode::Read, error);
    if (!in)
        return Refuse(msg::kSourceOpen, u'\n' + ErrorDetail(error) + QStringLiteral("\n\n") + container);
    std::unique_ptr<File> out = m_files.Open(temp, OpenMode::WriteTruncate, error);
    if (!out)
        return Refuse(msg::kDestinationOpen, u'\n' + ErrorDetail(error) + QStringLiteral("\n\n") + destination);
    if (TakeBusy(msg::kDecryptBusy) != kOk)
        return kFailed;
    EngineResult result = Decode(*in, out.get(), key, decoded);
    error = decoded.error;
    if (result == kOk && durability == Durability::kDurable && !out->Sync()) {
        error = out->Error();
        result = kWriteFailed;
    }
    ReleaseBusy();
    return result;
}

// The decrypted file against the container's header: size, tail, date; then the rename into place.
EngineResult CCryptEngine::CheckDecrypted(const QString& container, const QString& destination, const QString& temp,
                                          const QString& key, const DecodeResult& decoded, int& error) {
    qint64 actual = 0;
    if (!m_files.Exists(container))
        return Refuse(msg::kSourceGone, container);
    if (!m_files.Exists(temp))
        return Refuse(msg::kDestinationMissing, destination);
    if (m_files.Size(temp, actual).Failed())
        return Refuse(msg::kDestinationSize, destination);
    if (actual != decoded.totalOutput)
        return Refuse(msg::kSizeMismatch,
                      QStringLiteral("（%1：%2）\n\n").arg(decoded.totalOutput).arg(actual) + destination);
    ContainerInfo info;
    static_cast<void>(ReadContainerInfo(container, info, key, false));
    qint64 producedSize = 0;
    std::uint8_t producedTail[16];
    if (ReadFileTail(temp, producedSize, producedTail, msg::kDecryptedOpen, msg::kDecryptedSeek, msg::kDecryptedSize) !=
        kOk)
        return kFailed;
    if (producedSize != info.header.PlainSize())
        return Refuse(msg::kDecryptedSizeWrong, QString());
    if (std::memcmp(producedTail, info.header.Tail(), 16) != 0)
        return Refuse(msg::kTailMismatch, QString());
    if (const int rc = m_files.SetModificationTime(temp, info.header.ModifiedTime()).error; rc != 0)
        return Refuse(msg::kDecryptedTime, u'\n' + ErrorDetail(rc) + u'\n' + destination);
    if (const int rc = m_files.Rename(temp, destination).error; rc != 0) {
        error = rc;
        return kWriteFailed;
    }
    return kOk;
}

std::unique_ptr<File> CCryptEngine::OpenForCheck(const QString& container) {
    int error = 0;
    std::unique_ptr<File> in = m_files.Open(container, OpenMode::Read, error);
    if (!in) {
        Report(msg::kVerifyOpen, u'\n' + ErrorDetail(error));
        return nullptr;
    }
    if (TakeBusy(msg::kDecryptBusy) != kOk) {
        Report(msg::kVerifyFailed, QString());
        return nullptr;
    }
    return in;
}

EngineResult CCryptEngine::VerifyNewContainer(const QString& source, const QString& container, const QString& key) {
    std::unique_ptr<File> in = OpenForCheck(container);
    if (!in)
        return kFailed;
    DecodeResult decoded;
    const EngineResult rc = Decode(*in, nullptr, key, decoded);
    ReleaseBusy();
    if (rc != kOk)
        return Refuse(msg::kVerifyFailed, QString());

    const CBodyReader::LastPiece& last = decoded.last;
    int error = 0;
    std::unique_ptr<File> original = m_files.Open(source, OpenMode::Read, error);
    if (!original)
        return Refuse(msg::kVerifySourceOpen, u'\n' + ErrorDetail(error));
    if (original->Seek(last.offset, Whence::Begin) < 0)
        return Refuse(msg::kVerifySourceSeek, u'\n' + ErrorDetail(original->Error()));
    std::vector<std::uint8_t> bytes(kPieceSize);
    const qint64 n = original->Read(bytes.data(), kPieceSize);
    if (n != last.length)
        return Refuse(msg::kVerifySize, QString());
    if (n > 0 && std::memcmp(bytes.data(), last.bytes.data(), static_cast<std::size_t>(n)) != 0)
        return Refuse(msg::kVerifyContent, QString());
    return kOk;
}

EngineResult CCryptEngine::VerifyWrittenContainer(const QString& source, const QString& container, const QString& key,
                                                  CBodyVerifier& first) {
    // A handle that met the end of the file before what the writer had published proves nothing either
    // way: fusefat keeps the size a handle saw when it was opened, so a reader opened while the file grew
    // never sees the rest. The same check again through fresh handles, now that the writer's is closed,
    // judges; on a disk where the first read was right it fails the same way.
    std::unique_ptr<CBodyVerifier> again;
    int error = 0;
    if (first.Wait() != CBodyVerifier::Verdict::kMatched && first.Result().endedEarly) {
        // Asked first: the kernel may have taken that short read for the end of the file.
        qint64 size = 0;
        static_cast<void>(m_files.Size(container, size));
        if (StartVerifier(source, container, key, first.BodyOffset(), 0, again, error) != kOk)
            return kFailed;
        again->Finish(first.FinishedBytes(), first.FinishedPadCount());
    }
    CBodyVerifier& verifier = again ? *again : first;
    if (verifier.Wait() != CBodyVerifier::Verdict::kMatched) {
        const CBodyVerifier::Outcome& outcome = verifier.Result();
        if (outcome.message != 0)
            Report(outcome.message, outcome.detail);
        if (outcome.message == 0 || outcome.verifyFailedToo)
            Report(msg::kVerifyFailed, QString());
        return kFailed;
    }
    const CBodyVerifier::Outcome& outcome = verifier.Result();
    std::unique_ptr<File> in = OpenForCheck(container);
    if (!in)
        return kFailed;
    DecodeResult decoded;
    int padCount = 0;
    qint64 remaining = 0;
    EngineResult rc = DecodeHeader(*in, key, decoded, padCount, remaining);
    ReleaseBusy();
    // The header read back must describe the body the verifier saw.
    if (rc == kOk && (remaining != outcome.bodyRead || padCount != outcome.padCount))
        rc = Refuse(msg::kBodySize, QStringLiteral("（%1,%2）").arg(remaining).arg(outcome.bodyRead));
    if (rc == kOk && decoded.plainSize != outcome.output)
        rc = Refuse(msg::kDecodedSize, QStringLiteral("（%1,%2）").arg(decoded.plainSize).arg(outcome.output));
    if (rc != kOk)
        return Refuse(msg::kVerifyFailed, QString());
    return kOk;
}

EngineResult CCryptEngine::VerifyContainer(const QString& container, const QString& key) {
    int error = 0;
    std::unique_ptr<File> in = m_files.Open(container, OpenMode::Read, error);
    if (!in)
        return Refuse(msg::kVerifyOpen, u'\n' + ErrorDetail(error) + QStringLiteral("\n\n") + container);
    if (TakeBusy(msg::kDecryptBusy) != kOk)
        return kFailed;
    DecodeResult decoded;
    const EngineResult rc = Decode(*in, nullptr, key, decoded);
    ReleaseBusy();
    if (rc == kReadFailed)
        Report(msg::kSourceRead, u'\n' + ErrorDetail(decoded.error) + QStringLiteral("\n\n") + container);
    if (rc != kOk)
        return kFailed;
    ContainerInfo info;
    static_cast<void>(ReadContainerInfo(container, info, key, false));
    // A file shorter than 16 bytes is stored as its content followed by zero bytes.
    if (decoded.totalOutput < 16) {
        const auto kept = static_cast<std::size_t>(decoded.totalOutput);
        std::memmove(decoded.tail, decoded.tail + 16 - kept, kept);
        std::memset(decoded.tail + kept, 0, 16 - kept);
    }
    if (std::memcmp(decoded.tail, info.header.Tail(), 16) != 0)
        return Refuse(msg::kTailMismatch, u'\n' + container);
    return kOk;
}

std::shared_ptr<const ProbeKeys> CCryptEngine::ProbeKeysFor(const QString& key) const {
    const KeySlot* outer = m_keys.Find(m_builtInName);
    const KeySlot* inner = m_keys.Find(key);
    if (!outer || !inner || m_builtInName.isEmpty())
        return nullptr;
    ProbeKeys::Material material{outer->key, outer->iv, inner->key, inner->iv};
    auto keys =
        std::make_shared<const ProbeKeys>(material, Units(m_messages.MsgB(6), ContainerHeader::kSignatureUnits, u' '),
                                          Units(m_messages.MsgB(7), ContainerHeader::kCheckUnits, QChar()));
    OPENSSL_cleanse(&material, sizeof material);
    return keys;
}

ContainerVerdict CCryptEngine::CheckQuietly(const QString& container, const QString& key) {
    std::shared_ptr<const ProbeKeys> keys = ProbeKeysFor(key);
    if (!keys) {
        ContainerVerdict verdict;
        verdict.fault = ContainerFault::kUnreadable; // no key to read it with
        return verdict;
    }
    CContainerProbe probe(std::move(keys), m_files);
    return probe.Check(container);
}

} // namespace korimbo
