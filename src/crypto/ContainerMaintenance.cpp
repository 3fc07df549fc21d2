// Changing containers in place or by copy, comparing files and wiping plain files.
#include "crypto/CryptEngine.h"
#include "util/MessageNumbers.h"
#include "util/DisplayText.h"
#include "util/ErrorText.h"

#include <QDateTime>
#include <QFileInfo>
#include <QRegularExpression>

#include <cstring>

namespace korimbo {

namespace {

constexpr int kRetries = 10;
constexpr int kRetryMs = 80;

} // namespace

EngineResult CCryptEngine::RenameStoredName(const QString& source, const QString& target, const QString& name,
                                            const QString& key, bool show) {
    qint64 sourceSize = 0;
    if (m_files.Size(source, sourceSize) == 0 && CheckFreeSpace(target, sourceSize) != 0) {
        if (show)
            Report(390, QString(), Icon::Warning);
        return kFailed;
    }
    int error = 0;
    std::unique_ptr<File> in = m_files.Open(source, OpenMode::Read, error);
    if (!in)
        return Refuse(391, u'\n' + ErrorDetail(error) + QStringLiteral("\n\n") + source);
    // The copy is made beside the target and renamed into place when complete and compared.
    const QString temp = TempPathBeside(target, TempKind::Sealed);
    std::unique_ptr<File> out = m_files.Open(temp, OpenMode::WriteTruncate, error);
    if (!out)
        return Refuse(392, u'\n' + ErrorDetail(error) + QStringLiteral("\n\n") + target);

    EngineResult result = CopyWithNewName(*in, *out, name, key, error);
    if (result == kOk && !out->Sync()) {
        error = out->Error();
        result = kWriteFailed;
    }
    in.reset();
    out.reset();
    if (result == kReadFailed)
        Report(393, u'\n' + ErrorDetail(error) + QStringLiteral("\n\n") + source);
    else if (result == kWriteFailed)
        Report(msg::kRenameWrite, u'\n' + ErrorDetail(error) + QStringLiteral("\n\n") + target);
    if (result == kOk && CompareFileTails(temp, source, false) != 0)
        result = Refuse(395, source);
    if (result == kOk) {
        // The container at the target (the source itself for a rename in place) keeps its read-only
        // attribute except while it is replaced; the new one gets it too.
        const bool replacing = m_files.Exists(target);
        if (replacing)
            m_files.MakeWritable(target);
        if (const int rc = m_files.Rename(temp, target); rc != 0) {
            Report(msg::kRenameWrite, u'\n' + ErrorDetail(rc) + QStringLiteral("\n\n") + target);
            result = kWriteFailed;
            if (replacing)
                m_files.SetReadOnly(target);
        } else {
            m_files.SetReadOnly(target);
        }
    }
    if (result != kOk && m_files.Exists(temp)) {
        m_files.MakeWritable(temp);
        if (const int rc = m_files.Remove(temp); rc != 0)
            result = Refuse(396, u'\n' + ErrorDetail(rc) + u'\n' + target);
    }
    return result;
}

EngineResult CCryptEngine::CopyWithNewName(File& in, File& out, const QString& name, const QString& key, int& error) {
    if (in.Seek(0, Whence::End) < 0)
        return error = in.Error(), Report(397, u'\n' + ErrorDetail(error)), kReadFailed;
    const qint64 size = in.Position();
    if (size < 0)
        return error = in.Error(), Report(398, u'\n' + ErrorDetail(error)), kReadFailed;
    if (size == 0)
        return Report(399, QString()), kReadFailed;
    if (in.Seek(0, Whence::Begin) < 0)
        return error = in.Error(), Report(400, u'\n' + ErrorDetail(error)), kReadFailed;
    ContainerHeader header;
    if (in.Read(header.Data(), ContainerHeader::kSize) != ContainerHeader::kSize)
        return Report(401, QString()), kReadFailed;
    if (DecipherBuffer(header.Data(), ContainerHeader::kSize, m_builtInName) != 0)
        return kReadFailed;
    const int oldLength = header.NameBlockLength();
    const QString stored = name.left(ContainerHeader::kMaxNameUnits);
    const int newLength = ContainerHeader::NameBlockLengthFor(static_cast<int>(stored.size()));
    header.SetNameBlockLength(newLength);
    if (EncipherBuffer(header.Data(), ContainerHeader::kSize, m_builtInName) != 0)
        return kWriteFailed;
    if (out.Write(header.Data(), ContainerHeader::kSize) != ContainerHeader::kSize)
        return error = out.Error(), kWriteFailed;

    std::uint8_t block[544];
    if (!ContainerHeader::NameBlockLengthValid(oldLength) || in.Read(block, oldLength) != oldLength)
        return Report(402, QString()), kReadFailed;
    std::memset(block, 0, sizeof block);
    BuildNameBlock(stored, newLength, block);
    if (EncipherBuffer(block, newLength, key) != 0)
        return kWriteFailed;
    if (out.Write(block, newLength) != newLength)
        return error = out.Error(), kWriteFailed;

    std::vector<std::uint8_t> chunk(kPieceSize);
    for (;;) {
        m_ui.Pump();
        const qint64 n = in.Read(chunk.data(), kPieceSize);
        if (n < 0)
            return error = in.Error(), kReadFailed;
        if (n == 0)
            return kOk;
        if (out.Write(chunk.data(), n) != n)
            return error = out.Error(), kWriteFailed;
    }
}

EngineResult CCryptEngine::UpdateHint(const QString& path, const QString& hint) {
    // The container is read-only but for this rewrite in place, whatever its outcome.
    m_files.MakeWritable(path);
    int error = 0;
    std::unique_ptr<File> file = m_files.Open(path, OpenMode::ReadWrite, error);
    if (!file) {
        m_files.SetReadOnly(path);
        return Refuse(413, u'\n' + ErrorDetail(error) + QStringLiteral("\n\n") + path);
    }
    const EngineResult result = RewriteHint(*file, hint, error);
    file.reset();
    m_files.SetReadOnly(path);
    // A refused signature or cipher already said what is wrong; only failed reads and writes add more.
    if (result == kReadFailed && error != 0)
        Report(414, u'\n' + ErrorDetail(error) + QStringLiteral("\n\n") + path);
    else if (result == kWriteFailed)
        Report(415, u'\n' + ErrorDetail(error) + QStringLiteral("\n\n") + path);
    return result;
}

EngineResult CCryptEngine::RewriteHint(File& file, const QString& hint, int& error) {
    ContainerHeader header;
    if (file.Seek(0, Whence::Begin) < 0)
        return error = file.Error(), Report(416, u'\n' + ErrorDetail(error)), kReadFailed;
    if (file.Read(header.Data(), ContainerHeader::kSize) != ContainerHeader::kSize)
        return Report(417, QString()), kReadFailed;
    if (DecipherBuffer(header.Data(), ContainerHeader::kSize, m_builtInName) != 0)
        return kReadFailed;
    int status = 0;
    QString statusText;
    CheckSignature(header, status, statusText);
    if (status != kUsable)
        return Report(418, statusText), kReadFailed;
    QString stored = header.Hint();
    while (!stored.isEmpty() && stored.back() == u' ')
        stored.chop(1);
    const QString wanted = hint.left(ContainerHeader::kHintUnits);
    if (stored == wanted)
        return kOk;
    header.SetHint(wanted);
    if (EncipherBuffer(header.Data(), ContainerHeader::kSize, m_builtInName) != 0)
        return kWriteFailed;
    if (file.Seek(0, Whence::Begin) < 0)
        return error = file.Error(), Report(419, u'\n' + ErrorDetail(error)), kReadFailed;
    if (file.Write(header.Data(), ContainerHeader::kSize) != ContainerHeader::kSize)
        return error = file.Error(), Report(420, u'\n' + ErrorDetail(error)), kWriteFailed;
    if (!file.Sync())
        return error = file.Error(), kWriteFailed;
    return kOk;
}

int CCryptEngine::CompareFileTails(const QString& first, const QString& second, bool compareSizes) {
    qint64 firstSize = 0;
    qint64 secondSize = 0;
    std::uint8_t firstTail[16];
    std::uint8_t secondTail[16];
    if (ReadFileTail(first, firstSize, firstTail, 442, 443, 444) != 0 ||
        ReadFileTail(second, secondSize, secondTail, 445, 446, 447) != 0)
        return -1;
    if (compareSizes && firstSize != secondSize)
        return Report(448, QString());
    if (std::memcmp(firstTail, secondTail, 16) != 0)
        return Report(449, QString());
    return 0;
}

int CCryptEngine::WipeFile(const QString& path, QString& errorText) {
    auto fail = [&](int message, int error) {
        errorText = m_messages.MsgA(message) + u'\n' + ErrorDetail(error) + QStringLiteral("\n\n") + path;
        return -1;
    };
    int error = 0;
    std::unique_ptr<File> file = m_files.Open(path, OpenMode::ReadWriteAlone, error);
    if (!file)
        return fail(454, error);
    std::vector<std::uint8_t> buffer(kPieceSize);
    const std::vector<std::uint8_t> zeros(kPieceSize, 0);
    for (;;) {
        m_ui.Pump();
        const qint64 n = file->Read(buffer.data(), kPieceSize);
        if (n < 0)
            return fail(455, file->Error());
        if (n == 0)
            break;
        const qint64 at = file->Position();
        if (at < 0 || file->Seek(at - n, Whence::Begin) < 0)
            return fail(456, file->Error());
        if (file->Write(zeros.data(), n) != n)
            return fail(457, file->Error());
    }
    if (!file->Sync())
        return fail(457, file->Error());
    return 0;
}

bool CCryptEngine::IsWipeName(const QString& fileName) {
    static const QRegularExpression kWipeName(QStringLiteral("^[0-9A-F]{16}-[0-9A-F]{16}\\.delf$"));
    return kWipeName.match(fileName).hasMatch();
}

int CCryptEngine::WipeAndDelete(const QString& path, QString& errorText, bool renameFirst,
                                const FileIdentity* expected) {
    FileIdentity found;
    if (const int rc = m_files.Identify(path, found); rc != 0) {
        errorText = FileErrorText(FileErrorCause(rc)) + QStringLiteral("\n\n") + path;
        return -1;
    }
    if (expected && !found.SameContent(*expected))
        return kWipeKeptChanged;
    if (found.link || found.links > 1)
        return RemoveWithRetries(path, errorText);
    int rc = 0;
    for (int attempt = 0; attempt < kRetries; ++attempt) {
        if ((rc = m_files.MakeWritable(path)) == 0)
            break;
        m_ui.Sleep(kRetryMs);
    }
    if (rc != 0) {
        errorText = m_messages.MsgA(msg::kAttributes) + u'\n' + ErrorDetail(rc) + QStringLiteral("\n\n") + path;
        return -1;
    }
    if (!renameFirst)
        return WipeFile(path, errorText) == 0 ? TruncateAndRemove(path, errorText) : -1;

    // A file another program holds open keeps its name: renamed away, it would be listed as a stranger
    // and swept later with whatever the program writes into it.
    int error = 0;
    if (!m_files.Open(path, OpenMode::ReadWriteAlone, error)) {
        errorText = m_messages.MsgA(454) + u'\n' + ErrorDetail(error) + QStringLiteral("\n\n") + path;
        return -1;
    }
    QString unique;
    if (UniqueNameText(true, unique) != 0) {
        errorText = m_messages.MsgA(msg::kNoUniqueName);
        return -1;
    }
    const QString renamed = QFileInfo(path).absolutePath() + u'/' + unique + QStringLiteral(".delf");
    for (int attempt = 0; attempt < kRetries; ++attempt) {
        if ((rc = m_files.Rename(path, renamed)) == 0)
            break;
        m_ui.Sleep(kRetryMs);
    }
    if (rc != 0) {
        errorText = FileErrorText(FileErrorCause(rc)) + QStringLiteral("\n\n") + path;
        return -1;
    }
    // A save may have landed between the look above and the rename.
    FileIdentity moved;
    const bool changed = expected && (m_files.Identify(renamed, moved) != 0 || !moved.SameContent(*expected));
    if (changed || WipeFile(renamed, errorText) != 0) {
        // Its own name back, unless a newer save took it meanwhile.
        if (!m_files.Exists(path))
            m_files.Rename(renamed, path);
        return changed ? kWipeKeptChanged : -1;
    }
    return TruncateAndRemove(renamed, errorText);
}

int CCryptEngine::TruncateAndRemove(const QString& path, QString& errorText) {
    int error = 0;
    m_files.Open(path, OpenMode::WriteTruncate, error); // length 0: nothing of the size stays either
    return RemoveWithRetries(path, errorText);
}

int CCryptEngine::RemoveWithRetries(const QString& path, QString& errorText) {
    int rc = 0;
    for (int attempt = 0; attempt < kRetries && m_files.Exists(path); ++attempt) {
        if ((rc = m_files.Remove(path)) == 0)
            return 0;
        m_ui.Sleep(kRetryMs);
    }
    if (m_files.Exists(path)) {
        errorText = FileErrorText(FileErrorCause(rc)) + QStringLiteral("\n\n") + path;
        return -1;
    }
    return 0;
}

} // namespace korimbo
