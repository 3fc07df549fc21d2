// Writing containers: naming, EncryptFile and its after-checks.
#include "crypto/BodyVerifier.h"
#include "crypto/BodyWriter.h"
#include "crypto/CryptEngine.h"
#include "util/DisplayText.h"
#include "util/FileNames.h"
#include "util/FileSizeLimit.h"
#include "util/MessageNumbers.h"

#include <QDateTime>
#include <QFile>
#include <QFileInfo>

#include <cstring>
#include <dirent.h>

namespace korimbo {

namespace {

constexpr qint64 kFreeSpaceMargin = 4096;

QString FolderOf(const QString& path) {
    return QFileInfo(path).absolutePath();
}

QString WithSlash(const QString& folder) {
    return folder.endsWith(u'/') ? folder : folder + u'/';
}

} // namespace

QString CCryptEngine::TempPathBeside(const QString& target, TempKind kind) {
    return korimbo::TempPathBeside(target, kind);
}

bool CCryptEngine::IsTempName(const QString& fileName, TempKind* kind) {
    return korimbo::IsTempName(fileName, kind);
}

QStringList CCryptEngine::TempNamesIn(const QString& directory) {
    QStringList names;
    if (DIR* dir = ::opendir(QFile::encodeName(directory).constData())) {
        while (const dirent* found = ::readdir(dir)) {
            if (found->d_name[0] == '.' && found->d_type != DT_DIR && IsTempName(QFile::decodeName(found->d_name)))
                names.append(QFile::decodeName(found->d_name));
        }
        ::closedir(dir);
    }
    return names;
}

EngineResult CCryptEngine::CheckFreeSpace(const QString& target, qint64 needed) {
    const QString folder = FolderOf(target);
    // Refused before the first byte: FAT would cut the file short at 4 GiB.
    if (!FitsIn(needed, folder))
        return Refuse(msg::kTooLargeForVolume, QString());
    qint64 free = 0;
    if (m_files.FreeBytes(folder, free).Failed())
        return kOk; // unknown free space: the write itself will tell
    if (free >= needed + kFreeSpaceMargin)
        return kOk;
    const QString a = WithSlash(folder).toCaseFolded();
    const QString b = WithSlash(m_workFolder).toCaseFolded();
    const bool sameArea = !m_workFolder.isEmpty() && (a.startsWith(b) || b.startsWith(a));
    return Refuse(sameArea ? msg::kWorkAreaDiskFull : msg::kTargetDiskFull, QString());
}

EngineResult CCryptEngine::MakeContainerName(const QString& folder, QString& name) {
    for (int attempt = 0; attempt < 999999999; ++attempt) {
        QString unique;
        if (UniqueNameText(true, unique) != 0)
            return Refuse(msg::kNoUniqueName, QString());
        const QString candidate = unique + QStringLiteral(".zorf");
        if (!m_files.Exists(WithSlash(folder) + candidate)) {
            name = candidate;
            return kOk;
        }
    }
    return Refuse(msg::kNoUniqueName, QString());
}

EngineResult CCryptEngine::ReadTail(File& file, qint64 size, std::uint8_t tail[16], int seekMessage, int shortMessage) {
    std::memset(tail, 0, 16);
    const qint64 start = size >= 16 ? size - 16 : 0;
    const qint64 want = size >= 16 ? 16 : size;
    if (file.Seek(start, Whence::Begin) < 0)
        return Refuse(seekMessage, u'\n' + ErrorDetail(file.Error()));
    if (file.Read(tail, want) != want)
        return Refuse(shortMessage, QString());
    return kOk;
}

EngineResult CCryptEngine::EncryptFile(const QString& source, const QString& container, const QString& key) {
    if (!IsRepresentablePath(source)) {
        Report(msg::kUnrepresentableName, QStringLiteral("\n\n") + source);
        return Refuse(msg::kEncryptFailed, source);
    }
    EngineResult result = kOk;
    int error = 0;
    qint64 sourceSize = 0;
    const bool deferred = m_batch.IsOpen() && !m_files.Exists(container);
    if (m_files.Size(source, sourceSize).Ok() && CheckFreeSpace(container, sourceSize) != kOk)
        result = kFailed;

    const QString temp = TempPathBeside(container, TempKind::Sealed);
    std::unique_ptr<File> in;
    std::unique_ptr<File> out;
    if (result == kOk) {
        in = m_files.Open(source, OpenMode::Read, error);
        if (!in)
            result = Refuse(msg::kSourceOpen, u'\n' + ErrorDetail(error) + QStringLiteral("\n\n") + source);
    }
    if (result == kOk) {
        out = m_files.Open(temp, OpenMode::WriteTruncate, error);
        if (!out)
            result = Refuse(msg::kDestinationOpen, u'\n' + ErrorDetail(error) + QStringLiteral("\n\n") + container);
    }

    qint64 expectedSize = 0;
    std::unique_ptr<CBodyVerifier> verifier;
    if (result == kOk) {
        if (TakeBusy(msg::kEncryptBusy) != kOk) {
            result = kFailed;
        } else {
            result = EncryptInto(*in, *out, source, temp, key, expectedSize, error, verifier, deferred);
            ReleaseBusy();
        }
    }
    if (verifier && result != kOk) {
        verifier->Abort();
        static_cast<void>(verifier->Wait());
    }
    in.reset();
    out.reset();
    return FinishContainer(source, temp, container, key, expectedSize, result, error, verifier.get(), deferred);
}

// What goes before the body: the header with its inner runs enciphered, and the name block.
struct CCryptEngine::SealedHead {
    ContainerHeader header;
    std::uint8_t nameBlock[ContainerHeader::kMaxNameBlockLength] = {};
    int nameBlockLength = 0;
    qint64 size = 0; // of the source
};

// Steps inside the busy flag: header, name block, body, real header.
EngineResult CCryptEngine::EncryptInto(File& in, File& out, const QString& source, const QString& temp,
                                       const QString& key, qint64& expectedSize, int& error,
                                       std::unique_ptr<CBodyVerifier>& verifier, bool deferred) {
    SealedHead head;
    if (const EngineResult rc = SealHead(in, source, key, head, error); rc != kOk)
        return rc;
    const std::uint8_t zeros[ContainerHeader::kSize] = {};
    if (out.Write(zeros, sizeof zeros) != ContainerHeader::kSize ||
        out.Write(head.nameBlock, head.nameBlockLength) != head.nameBlockLength)
        return FileFailed(kWriteFailed, 0, out, error);

    std::uint8_t iv[16];
    if (SelectKey(KeyDirection::Encrypt, key, iv) != kOk)
        return kFailed;
    if (in.Seek(0, Whence::Begin) < 0)
        return FileFailed(kReadFailed, msg::kSourceSeekStart, in, error);
    const qint64 bodyOffset = ContainerHeader::kSize + head.nameBlockLength;
    if (const EngineResult rc = StartVerifier(source, temp, key, bodyOffset, head.size, verifier, error); rc != kOk)
        return rc;

    CBodyWriter body(m_encryptor, m_ui);
    std::vector<std::uint8_t> ahead;
    const bool madeAhead = CBodyWriter::WorkersFor(head.size) == 0 && m_ahead.Take(source, head.size, ahead);
    const EngineResult written = madeAhead ? body.WriteStream(out, ahead, iv, verifier.get())
                                           : body.Write(in, out, head.size, iv, verifier.get());
    if (const EngineResult rc = written; rc != kOk) {
        const CBodyWriter::Failure& failure = body.LastFailure();
        error = failure.error;
        if (failure.message != 0)
            Report(failure.message, failure.detail);
        return rc;
    }
    expectedSize = bodyOffset + body.BodyBytes();
    head.header.SetPadCount(body.PadCount());
    return WriteHeader(out, head.header, error, deferred);
}

// Reads what the header records of the source and builds the header and name block, enciphered.
EngineResult CCryptEngine::SealHead(File& in, const QString& source, const QString& key, SealedHead& head, int& error) {
    std::uint8_t iv[16];
    QString hint;
    if (SelectKey(KeyDirection::Encrypt, key, iv, &hint) != kOk)
        return kFailed;
    if (const EngineResult rc = ReadSourceFacts(in, head, error); rc != kOk)
        return rc;
    // A name that is not text is stored as the list shows it, its odd bytes as "%XX".
    const QString name = ShownName(QFileInfo(source).fileName()).left(ContainerHeader::kMaxNameUnits);
    head.nameBlockLength = ContainerHeader::NameBlockLengthFor(static_cast<int>(name.size()));
    ContainerHeader& header = head.header;
    header.SetHint(hint);
    header.SetNameBlockLength(head.nameBlockLength);
    header.SetCheckText(m_messages.MsgB(7));

    struct Run {
        int offset;
        int length;
        int message;
    };
    static constexpr Run kInnerRuns[] = {
        {ContainerHeader::kTailOffset, ContainerHeader::kTailRunBytes, msg::kSealTail},
        {ContainerHeader::kDatesOffset, ContainerHeader::kDatesRunBytes, msg::kSealDates},
        {ContainerHeader::kCheckOffset, ContainerHeader::kCheckRunBytes, msg::kSealCheck},
    };
    for (const Run& run : kInnerRuns) {
        std::uint8_t chain[16];
        std::memcpy(chain, iv, 16);
        std::uint8_t* at = header.Data() + run.offset;
        if (m_encryptor.EncryptCbc(at, at, static_cast<std::size_t>(run.length), chain) != 0)
            return Refuse(run.message, QString());
    }
    BuildNameBlock(name, head.nameBlockLength, head.nameBlock);
    std::uint8_t chain[16];
    std::memcpy(chain, iv, 16);
    if (m_encryptor.EncryptCbc(head.nameBlock, head.nameBlock, static_cast<std::size_t>(head.nameBlockLength), chain) !=
        0)
        return Refuse(msg::kSealName, QString());
    return kOk;
}

// The source's size, last 16 bytes and dates into a fresh header.
EngineResult CCryptEngine::ReadSourceFacts(File& in, SealedHead& head, int& error) {
    qint64 modified = 0;
    if (!in.ModificationTime(modified))
        modified = QDateTime::currentSecsSinceEpoch();
    if (in.Seek(0, Whence::End) < 0)
        return FileFailed(kReadFailed, msg::kSourceSeekEnd, in, error);
    head.size = in.Position();
    if (head.size < 0)
        return FileFailed(kReadFailed, msg::kSourceSize, in, error);
    std::uint8_t tail[16];
    if (ReadTail(in, head.size, tail, msg::kSourceSeekTail, msg::kSourceTailRead) != kOk)
        return FileFailed(kReadFailed, 0, in, error);
    head.header = ContainerHeader::Fresh(m_messages.MsgB(6));
    head.header.SetPlainSize(head.size);
    head.header.SetTail(tail);
    const qint64 encryptedAt = QDateTime::currentDateTime().toString(QStringLiteral("yyyyMMddHHmmss")).toLongLong();
    head.header.SetDates(encryptedAt, modified);
    return kOk;
}

// The check reads the body back behind the writer, through handles of its own.
EngineResult CCryptEngine::StartVerifier(const QString& source, const QString& temp, const QString& key,
                                         qint64 bodyOffset, qint64 size, std::unique_ptr<CBodyVerifier>& verifier,
                                         int& error) {
    std::unique_ptr<File> readBack = m_files.Open(temp, OpenMode::Read, error);
    if (!readBack)
        return Refuse(msg::kVerifyOpen, u'\n' + ErrorDetail(error));
    std::unique_ptr<File> original = m_files.Open(source, OpenMode::Read, error);
    if (!original)
        return Refuse(msg::kVerifySourceOpen, u'\n' + ErrorDetail(error));
    verifier = std::make_unique<CBodyVerifier>(std::move(readBack), bodyOffset, std::move(original));
    std::uint8_t verifyChain[16];
    if (KeyCipher(verifier->Cipher(), KeyDirection::Decrypt, key, verifyChain) != kOk)
        return kFailed;
    verifier->SetChain(verifyChain);
    if (CBodyWriter::WorkersFor(size) > 0)
        verifier->Start(); // small files are checked after the write, on this thread
    return kOk;
}

// The real header over the placeholder, enciphered with the built-in key.
EngineResult CCryptEngine::WriteHeader(File& out, ContainerHeader& header, int& error, bool deferred) {
    if (EncipherBufferHeld(header.Data(), ContainerHeader::kSize, m_builtInName) != kOk)
        return kWriteFailed;
    if (out.Seek(0, Whence::Begin) < 0)
        return FileFailed(kWriteFailed, msg::kDestinationSeek, out, error);
    if (out.Write(header.Data(), ContainerHeader::kSize) != ContainerHeader::kSize)
        return FileFailed(kWriteFailed, msg::kHeaderWrite, out, error);
    if (deferred) {
        out.StartSync(); // the batch syncs it with the others
        return kOk;
    }
    if (!out.Sync())
        return FileFailed(kWriteFailed, 0, out, error);
    return kOk;
}

// After-checks, verification and the final rename over the target; failure messages and clean-up.
EngineResult CCryptEngine::FinishContainer(const QString& source, const QString& temp, const QString& container,
                                           const QString& key, qint64 expectedSize, EngineResult result, int& error,
                                           CBodyVerifier* verifier, bool deferred) {
    if (result == kOk)
        result = CheckWrittenSize(source, temp, container, expectedSize);
    if (result == kOk &&
        (verifier ? VerifyWrittenContainer(source, temp, key, *verifier) : VerifyNewContainer(source, temp, key)) != kOk)
        result = kFailed;
    if (result == kOk && deferred && m_batch.Hold(temp, container, expectedSize))
        return kOk;
    if (result == kOk) {
        // Containers carry the read-only attribute; an old one is cleared only for its replacement, and
        // gets it back when the replacement fails. A container left writable is no loss of data, so a
        // failure to set the attribute is not reported.
        const bool replacing = m_files.Exists(container);
        if (replacing)
            static_cast<void>(m_files.MakeWritable(container));
        if (const int rc = m_files.Rename(temp, container).error; rc != 0) {
            error = rc;
            result = kWriteFailed;
            if (replacing)
                static_cast<void>(m_files.SetReadOnly(container));
        } else {
            static_cast<void>(m_files.SetReadOnly(container));
            static_cast<void>(m_files.SyncFolder(FolderOf(container)));
        }
    }
    return Conclude(result, error, source, temp, container, msg::kEncryptFailed);
}

EngineResult CCryptEngine::CheckWrittenSize(const QString& source, const QString& temp, const QString& container,
                                            qint64 expectedSize) {
    qint64 actual = 0;
    if (!m_files.Exists(source))
        return Refuse(msg::kSourceGone, source);
    if (!m_files.Exists(temp))
        return Refuse(msg::kDestinationMissing, container);
    if (m_files.Size(temp, actual).Failed())
        return Refuse(msg::kDestinationSize, container);
    if (actual != expectedSize)
        return Refuse(msg::kSizeMismatch, QStringLiteral("（%1：%2）\n\n").arg(expectedSize).arg(actual) + container);
    return kOk;
}

EngineResult CCryptEngine::Conclude(EngineResult result, int error, const QString& source, const QString& temp,
                                    const QString& target, int failedMessage) {
    if (result == kReadFailed)
        Report(msg::kSourceRead, u'\n' + ErrorDetail(error) + QStringLiteral("\n\n") + source);
    else if (result == kWriteFailed)
        Report(msg::kDestinationWrite, u'\n' + ErrorDetail(error) + QStringLiteral("\n\n") + target);
    if (result != kOk)
        result = DeletePartial(temp, target, result);
    if (result == kStopped)
        Report(msg::kStopped, QString(), Icon::Information);
    else if (result != kOk)
        Report(failedMessage, source);
    return result;
}

EngineResult CCryptEngine::DeletePartial(const QString& path, const QString& shownPath, EngineResult result) {
    if (!m_files.Exists(path))
        return result;
    static_cast<void>(m_files.MakeWritable(path));
    if (const int rc = m_files.Remove(path).error; rc != 0)
        return Refuse(msg::kPartialRemove, u'\n' + ErrorDetail(rc) + u'\n' + shownPath);
    return result;
}

} // namespace korimbo
