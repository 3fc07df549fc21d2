// Writing containers: naming, EncryptFile and its after-checks.
#include "crypto/BodyWriter.h"
#include "crypto/CryptEngine.h"
#include "util/DisplayText.h"

#include <QDateTime>
#include <QFileInfo>

#include <cstring>

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

// A short hidden name beside the target: the old file stays untouched until the new one is complete,
// checked and on disk, and a target name of any allowed length still leaves room for it.
QString CCryptEngine::TempPathBeside(const QString& target) {
    QString unique;
    UniqueNameText(false, unique);
    return QFileInfo(target).absolutePath() + QStringLiteral("/.korimbo-") + unique.left(16) + QStringLiteral(".part");
}

int CCryptEngine::CheckFreeSpace(const QString& target, qint64 needed) {
    const QString folder = FolderOf(target);
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
            return Report(451, QString());
        const QString candidate = unique + QStringLiteral(".zorf");
        if (!m_files.Exists(WithSlash(folder) + candidate)) {
            name = candidate;
            return 0;
        }
    }
    return Report(451, QString());
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

int CCryptEngine::EncryptFile(const QString& source, const QString& container, const QString& key) {
    int result = 0;
    int error = 0;
    qint64 sourceSize = 0;
    if (m_files.Size(source, sourceSize) == 0 && CheckFreeSpace(container, sourceSize) != 0)
        result = -1;

    const QString temp = TempPathBeside(container);
    std::unique_ptr<File> in;
    std::unique_ptr<File> out;
    if (result == 0) {
        in = m_files.Open(source, OpenMode::Read, error);
        if (!in) {
            Report(339, u'\n' + ErrorDetail(error) + QStringLiteral("\n\n") + source);
            result = -1;
        }
    }
    if (result == 0) {
        out = m_files.Open(temp, OpenMode::WriteTruncate, error);
        if (!out) {
            Report(340, u'\n' + ErrorDetail(error) + QStringLiteral("\n\n") + container);
            result = -1;
        }
    }

    qint64 expectedSize = 0;
    if (result == 0) {
        if (TakeBusy(351) != 0) {
            result = -1;
        } else {
            result = EncryptInto(*in, *out, source, key, expectedSize, error);
            ReleaseBusy();
        }
    }
    in.reset();
    out.reset();
    return FinishContainer(source, temp, container, key, expectedSize, result, error);
}

// Steps inside the busy flag: header, name block, body, real header.
int CCryptEngine::EncryptInto(File& in, File& out, const QString& source, const QString& key, qint64& expectedSize,
                              int& error) {
    std::uint8_t iv[16];
    QString hint;
    if (SelectKey(KeyDirection::Encrypt, key, iv, &hint) != 0)
        return -1;
    qint64 modified = 0;
    if (!in.ModificationTime(modified))
        modified = QDateTime::currentSecsSinceEpoch();
    if (in.Seek(0, Whence::End) < 0) {
        error = in.Error();
        Report(352, u'\n' + ErrorDetail(error));
        return -7;
    }
    const qint64 size = in.Position();
    if (size < 0) {
        error = in.Error();
        Report(353, u'\n' + ErrorDetail(error));
        return -7;
    }
    std::uint8_t tail[16];
    if (ReadTail(in, size, tail, 361, 362) != 0) {
        error = in.Error();
        return -7;
    }

    const QString name = QFileInfo(source).fileName().left(ContainerHeader::kMaxNameUnits);
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
            return Report(run.message, QString());
    }
    std::uint8_t nameBlock[ContainerHeader::kMaxNameBlockLength];
    BuildNameBlock(name, nameBlockLength, nameBlock);
    {
        std::uint8_t chain[16];
        std::memcpy(chain, iv, 16);
        if (m_encryptor.EncryptCbc(nameBlock, nameBlock, static_cast<std::size_t>(nameBlockLength), chain) != 0)
            return Report(357, QString());
    }

    const std::uint8_t zeros[ContainerHeader::kSize] = {};
    if (out.Write(zeros, sizeof zeros) != ContainerHeader::kSize ||
        out.Write(nameBlock, nameBlockLength) != nameBlockLength) {
        error = out.Error();
        return -8;
    }

    if (SelectKey(KeyDirection::Encrypt, key, iv) != 0)
        return -1;
    if (in.Seek(0, Whence::Begin) < 0) {
        error = in.Error();
        Report(358, u'\n' + ErrorDetail(error));
        return -7;
    }
    CBodyWriter body(m_encryptor, m_ui);
    if (const int rc = body.Write(in, out, size, iv); rc != 0) {
        const CBodyWriter::Failure& failure = body.LastFailure();
        error = failure.error;
        if (failure.message != 0)
            Report(failure.message, failure.detail);
        return rc;
    }
    expectedSize = ContainerHeader::kSize + nameBlockLength + body.BodyBytes();

    header.SetPadCount(body.PadCount());
    if (EncipherBufferHeld(header.Data(), ContainerHeader::kSize, m_builtInName) != 0)
        return -8;
    if (out.Seek(0, Whence::Begin) < 0) {
        error = out.Error();
        Report(359, u'\n' + ErrorDetail(error));
        return -8;
    }
    if (out.Write(header.Data(), ContainerHeader::kSize) != ContainerHeader::kSize) {
        error = out.Error();
        Report(360, u'\n' + ErrorDetail(error));
        return -8;
    }
    if (!out.Sync()) {
        error = out.Error();
        return -8;
    }
    return 0;
}

// After-checks, verification and the final rename over the target; failure messages and clean-up.
int CCryptEngine::FinishContainer(const QString& source, const QString& temp, const QString& container,
                                  const QString& key, qint64 expectedSize, int result, int& error) {
    if (result == 0) {
        qint64 actual = 0;
        if (!m_files.Exists(source)) {
            result = Report(343, source);
        } else if (!m_files.Exists(temp)) {
            result = Report(344, container);
        } else if (m_files.Size(temp, actual) != 0) {
            result = Report(345, container);
        } else if (actual != expectedSize) {
            result = Report(346, QStringLiteral("（%1：%2）\n\n").arg(expectedSize).arg(actual) + container);
        }
    }
    if (result == 0 && VerifyNewContainer(source, temp, key) != 0)
        result = -1;
    if (result == 0) {
        m_files.MakeWritable(container);
        if (const int rc = m_files.Rename(temp, container); rc != 0) {
            error = rc;
            result = -8;
        } else {
            m_files.SyncFolder(FolderOf(container));
        }
    }
    if (result == -7)
        Report(341, u'\n' + ErrorDetail(error) + QStringLiteral("\n\n") + source);
    else if (result == -8)
        Report(342, u'\n' + ErrorDetail(error) + QStringLiteral("\n\n") + container);
    if (result != 0)
        result = DeletePartial(temp, container, result);
    if (result == -9)
        Report(334, QString(), Icon::Information);
    else if (result != 0)
        Report(335, source);
    return result;
}

int CCryptEngine::DeletePartial(const QString& path, const QString& shownPath, int result) {
    if (!m_files.Exists(path))
        return result;
    m_files.MakeWritable(path);
    if (const int rc = m_files.Remove(path); rc != 0) {
        Report(347, u'\n' + ErrorDetail(rc) + u'\n' + shownPath);
        return -1;
    }
    return result;
}

} // namespace korimbo
