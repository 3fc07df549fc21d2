// Writing containers: naming, EncryptFile and its after-checks.
#include "crypto/BodyVerifier.h"
#include "crypto/BodyWriter.h"
#include "crypto/CryptEngine.h"
#include "util/MessageNumbers.h"
#include "util/DisplayText.h"
#include "util/FileNames.h"
#include "util/FileSizeLimit.h"

#include <QDateTime>
#include <QFile>
#include <QFileInfo>

#include <cstring>
#include <dirent.h>

namespace korimbo {

namespace {

constexpr qint64 kFreeSpaceMargin = 4096;
constexpr int kMsgTooLargeForVolume = 781; // FAT's 4 GiB file limit

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

int CCryptEngine::CheckFreeSpace(const QString& target, qint64 needed) {
    const QString folder = FolderOf(target);
    // Refused before the first byte: FAT would cut the file short at 4 GiB.
    if (const qint64 largest = LargestFileIn(folder); largest >= 0 && needed > largest)
        return Report(kMsgTooLargeForVolume, QString());
    qint64 free = 0;
    if (m_files.FreeBytes(folder, free) != 0)
        return 0; // unknown free space: the write itself will tell
    if (free >= needed + kFreeSpaceMargin)
        return 0;
    const QString a = WithSlash(folder).toCaseFolded();
    const QString b = WithSlash(m_workFolder).toCaseFolded();
    const bool sameArea = !m_workFolder.isEmpty() && (a.startsWith(b) || b.startsWith(a));
    return Report(sameArea ? 310 : 311, QString());
}

int CCryptEngine::MakeContainerName(const QString& folder, QString& name) {
    for (int attempt = 0; attempt < 999999999; ++attempt) {
        QString unique;
        if (UniqueNameText(true, unique) != 0)
            return Report(msg::kNoUniqueName, QString());
        const QString candidate = unique + QStringLiteral(".zorf");
        if (!m_files.Exists(WithSlash(folder) + candidate)) {
            name = candidate;
            return 0;
        }
    }
    return Report(msg::kNoUniqueName, QString());
}

int CCryptEngine::ReadTail(File& file, qint64 size, std::uint8_t tail[16], int seekMessage, int shortMessage) {
    std::memset(tail, 0, 16);
    const qint64 start = size >= 16 ? size - 16 : 0;
    const qint64 want = size >= 16 ? 16 : size;
    if (file.Seek(start, Whence::Begin) < 0) {
        Report(seekMessage, u'\n' + ErrorDetail(file.Error()));
        return -1;
    }
    if (file.Read(tail, want) != want) {
        Report(shortMessage, QString());
        return -1;
    }
    return 0;
}

EngineResult CCryptEngine::EncryptFile(const QString& source, const QString& container, const QString& key) {
    if (!IsRepresentablePath(source)) {
        Report(msg::kUnrepresentableName, QStringLiteral("\n\n") + source);
        return Refuse(msg::kEncryptFailed, source);
    }
    EngineResult result = kOk;
    int error = 0;
    qint64 sourceSize = 0;
    if (m_files.Size(source, sourceSize) == 0 && CheckFreeSpace(container, sourceSize) != 0)
        result = kFailed;

    const QString temp = TempPathBeside(container, TempKind::Sealed);
    std::unique_ptr<File> in;
    std::unique_ptr<File> out;
    if (result == kOk) {
        in = m_files.Open(source, OpenMode::Read, error);
        if (!in) {
            result = Refuse(msg::kSourceOpen, u'\n' + ErrorDetail(error) + QStringLiteral("\n\n") + source);
        }
    }
    if (result == kOk) {
        out = m_files.Open(temp, OpenMode::WriteTruncate, error);
        if (!out) {
            result = Refuse(msg::kDestinationOpen, u'\n' + ErrorDetail(error) + QStringLiteral("\n\n") + container);
        }
    }

    qint64 expectedSize = 0;
    std::unique_ptr<CBodyVerifier> verifier;
    if (result == kOk) {
        if (TakeBusy(351) != 0) {
            result = kFailed;
        } else {
            result = EncryptInto(*in, *out, source, temp, key, expectedSize, error, verifier);
            ReleaseBusy();
        }
    }
    if (verifier && result != kOk) {
        verifier->Abort();
        verifier->Wait();
    }
    in.reset();
    out.reset();
    return FinishContainer(source, temp, container, key, expectedSize, result, error, verifier.get());
}

// Steps inside the busy flag: header, name block, body, real header.
EngineResult CCryptEngine::EncryptInto(File& in, File& out, const QString& source, const QString& temp,
                                       const QString& key, qint64& expectedSize, int& error,
                                       std::unique_ptr<CBodyVerifier>& verifier) {
    std::uint8_t iv[16];
    QString hint;
    if (SelectKey(KeyDirection::Encrypt, key, iv, &hint) != 0)
        return kFailed;
    qint64 modified = 0;
    if (!in.ModificationTime(modified))
        modified = QDateTime::currentSecsSinceEpoch();
    if (in.Seek(0, Whence::End) < 0) {
        error = in.Error();
        Report(352, u'\n' + ErrorDetail(error));
        return kReadFailed;
    }
    const qint64 size = in.Position();
    if (size < 0) {
        error = in.Error();
        Report(353, u'\n' + ErrorDetail(error));
        return kReadFailed;
    }
    std::uint8_t tail[16];
    if (ReadTail(in, size, tail, 361, 362) != 0) {
        error = in.Error();
        return kReadFailed;
    }

    // A name that is not text is stored as the list shows it, its odd bytes as "%XX".
    const QString name = ShownName(QFileInfo(source).fileName()).left(ContainerHeader::kMaxNameUnits);
    const int nameBlockLength = ContainerHeader::NameBlockLengthFor(static_cast<int>(name.size()));
    ContainerHeader header = ContainerHeader::Fresh(m_messages.MsgB(6));
    header.SetHint(hint);
    header.SetPlainSize(size);
    header.SetNameBlockLength(nameBlockLength);
    header.SetTail(tail);
    const qint64 encryptedAt = QDateTime::currentDateTime().toString(QStringLiteral("yyyyMMddHHmmss")).toLongLong();
    header.SetDates(encryptedAt, modified);
    header.SetCheckText(m_messages.MsgB(7));

    struct Run {
        int offset;
        int length;
        int message;
    };
    static constexpr Run kInnerRuns[] = {
        {ContainerHeader::kTailOffset, ContainerHeader::kTailRunBytes, 354},
        {ContainerHeader::kDatesOffset, ContainerHeader::kDatesRunBytes, 355},
        {ContainerHeader::kCheckOffset, ContainerHeader::kCheckRunBytes, 356},
    };
    for (const Run& run : kInnerRuns) {
        std::uint8_t chain[16];
        std::memcpy(chain, iv, 16);
        std::uint8_t* at = header.Data() + run.offset;
        if (m_encryptor.EncryptCbc(at, at, static_cast<std::size_t>(run.length), chain) != 0)
            return Refuse(run.message, QString());
    }
    std::uint8_t nameBlock[ContainerHeader::kMaxNameBlockLength];
    BuildNameBlock(name, nameBlockLength, nameBlock);
    {
        std::uint8_t chain[16];
        std::memcpy(chain, iv, 16);
        if (m_encryptor.EncryptCbc(nameBlock, nameBlock, static_cast<std::size_t>(nameBlockLength), chain) != 0)
            return Refuse(357, QString());
    }

    const std::uint8_t zeros[ContainerHeader::kSize] = {};
    if (out.Write(zeros, sizeof zeros) != ContainerHeader::kSize ||
        out.Write(nameBlock, nameBlockLength) != nameBlockLength) {
        error = out.Error();
        return kWriteFailed;
    }

    if (SelectKey(KeyDirection::Encrypt, key, iv) != 0)
        return kFailed;
    if (in.Seek(0, Whence::Begin) < 0) {
        error = in.Error();
        Report(358, u'\n' + ErrorDetail(error));
        return kReadFailed;
    }
    // The check reads the body back behind the writer, through handles of its own.
    std::unique_ptr<File> readBack = m_files.Open(temp, OpenMode::Read, error);
    if (!readBack)
        return Report(msg::kVerifyOpen, u'\n' + ErrorDetail(error)), kFailed;
    std::unique_ptr<File> original = m_files.Open(source, OpenMode::Read, error);
    if (!original)
        return Report(427, u'\n' + ErrorDetail(error)), kFailed;
    verifier = std::make_unique<CBodyVerifier>(std::move(readBack), ContainerHeader::kSize + nameBlockLength,
                                               std::move(original));
    std::uint8_t verifyChain[16];
    if (KeyCipher(verifier->Cipher(), KeyDirection::Decrypt, key, verifyChain) != 0)
        return kFailed;
    verifier->SetChain(verifyChain);
    const int workers = CBodyWriter::WorkersFor(size);
    if (workers > 0)
        verifier->Start(); // small files are checked after the write, on this thread

    CBodyWriter body(m_encryptor, m_ui);
    if (const EngineResult rc = body.Write(in, out, size, iv, verifier.get(), workers); rc != kOk) {
        const CBodyWriter::Failure& failure = body.LastFailure();
        error = failure.error;
        if (failure.message != 0)
            Report(failure.message, failure.detail);
        return rc;
    }
    expectedSize = ContainerHeader::kSize + nameBlockLength + body.BodyBytes();

    header.SetPadCount(body.PadCount());
    if (EncipherBufferHeld(header.Data(), ContainerHeader::kSize, m_builtInName) != 0)
        return kWriteFailed;
    if (out.Seek(0, Whence::Begin) < 0) {
        error = out.Error();
        Report(359, u'\n' + ErrorDetail(error));
        return kWriteFailed;
    }
    if (out.Write(header.Data(), ContainerHeader::kSize) != ContainerHeader::kSize) {
        error = out.Error();
        Report(360, u'\n' + ErrorDetail(error));
        return kWriteFailed;
    }
    if (!out.Sync()) {
        error = out.Error();
        return kWriteFailed;
    }
    return kOk;
}

// After-checks, verification and the final rename over the target; failure messages and clean-up.
EngineResult CCryptEngine::FinishContainer(const QString& source, const QString& temp, const QString& container,
                                           const QString& key, qint64 expectedSize, EngineResult result, int& error,
                                           CBodyVerifier* verifier) {
    if (result == kOk) {
        qint64 actual = 0;
        if (!m_files.Exists(source)) {
            result = Refuse(msg::kSourceGone, source);
        } else if (!m_files.Exists(temp)) {
            result = Refuse(msg::kDestinationMissing, container);
        } else if (m_files.Size(temp, actual) != 0) {
            result = Refuse(msg::kDestinationSize, container);
        } else if (actual != expectedSize) {
            result =
                Refuse(msg::kSizeMismatch, QStringLiteral("（%1：%2）\n\n").arg(expectedSize).arg(actual) + container);
        }
    }
    if (result == kOk &&
        (verifier ? VerifyWrittenContainer(temp, key, *verifier) : VerifyNewContainer(source, temp, key)) != 0)
        result = kFailed;
    if (result == kOk) {
        // Containers carry the read-only attribute; an old one is cleared only for its replacement, and
        // gets it back when the replacement fails. A container left writable is no loss of data, so a
        // failure to set the attribute is not reported.
        const bool replacing = m_files.Exists(container);
        if (replacing)
            m_files.MakeWritable(container);
        if (const int rc = m_files.Rename(temp, container); rc != 0) {
            error = rc;
            result = kWriteFailed;
            if (replacing)
                m_files.SetReadOnly(container);
        } else {
            m_files.SetReadOnly(container);
            m_files.SyncFolder(FolderOf(container));
        }
    }
    if (result == kReadFailed)
        Report(msg::kSourceRead, u'\n' + ErrorDetail(error) + QStringLiteral("\n\n") + source);
    else if (result == kWriteFailed)
        Report(msg::kDestinationWrite, u'\n' + ErrorDetail(error) + QStringLiteral("\n\n") + container);
    if (result != kOk)
        result = DeletePartial(temp, container, result);
    if (result == kStopped)
        Report(msg::kStopped, QString(), Icon::Information);
    else if (result != kOk)
        Report(msg::kEncryptFailed, source);
    return result;
}

EngineResult CCryptEngine::DeletePartial(const QString& path, const QString& shownPath, EngineResult result) {
    if (!m_files.Exists(path))
        return result;
    m_files.MakeWritable(path);
    if (const int rc = m_files.Remove(path); rc != 0) {
        return Refuse(347, u'\n' + ErrorDetail(rc) + u'\n' + shownPath);
    }
    return result;
}

} // namespace korimbo
