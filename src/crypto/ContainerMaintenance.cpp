// Changing containers in place or by copy, comparing files and wiping plain files.
#include "crypto/CryptEngine.h"
#include "util/DisplayText.h"
#include "util/ErrorText.h"
#include "util/MessageNumbers.h"

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
    if (m_files.Size(source, sourceSize).Ok() && CheckFreeSpace(target, sourceSize) != kOk) {
        if (show)
            Report(msg::kRenameNoRoom, QString(), Icon::Warning);
        return kFailed;
    }
    int error = 0;
    std::unique_ptr<File> in = m_files.Open(source, OpenMode::Read, error);
    if (!in)
        return Refuse(msg::kRenameOpen, u'\n' + ErrorDetail(error) + QStringLiteral("\n\n") + source);
    // The copy is made beside the target and renamed into place when complete and compared.
    const QString temp = TempPathBeside(target, TempKind::Sealed);
    std::unique_ptr<File> out = m_files.Open(temp, OpenMode::WriteTruncate, error);
    if (!out)
        return Refuse(msg::kRenameCreate, u'\n' + ErrorDetail(error) + QStringLiteral("\n\n") + target);

    EngineResult result = CopyWithNewName(*in, *out, name, key, error);
    if (result == kOk && !out->Sync()) {
        error = out->Error();
        result = kWriteFailed;
    }
    in.reset();
    out.reset();
    if (result == kReadFailed)
        Report(msg::kRenameRead, u'\n' + ErrorDetail(error) + QStringLiteral("\n\n") + source);
    else if (result == kWriteFailed)
        Report(msg::kRenameWrite, u'\n' + ErrorDetail(error) + QStringLiteral("\n\n") + target);
    if (result == kOk && CompareFileTails(temp, source, false) != kOk)
        result = Refuse(msg::kRenameCompare, source);
    if (result == kOk) {
        // The container at the target (the source itself for a rename in place) keeps its read-only
        // attribute except while it is replaced; the new one gets it too.
        const bool replacing = m_files.Exists(target);
        if (replacing)
            static_cast<void>(m_files.MakeWritable(target));
        if (const int rc = m_files.Rename(temp, target).error; rc != 0) {
            Report(msg::kRenameWrite, u'\n' + ErrorDetail(rc) + QStringLiteral("\n\n") + target);
            result = kWriteFailed;
            if (replacing)
                static_cast<void>(m_files.SetReadOnly(target));
        } else {
            static_cast<void>(m_files.SetReadOnly(target));
        }
    }
    if (result != kOk && m_files.Exists(temp)) {
        static_cast<void>(m_files.MakeWritable(temp));
        if (const int rc = m_files.Remove(temp).error; rc != 0)
            result = Refuse(msg::kRenamePartial, u'\n' + ErrorDetail(rc) + u'\n' + target);
    }
    return result;
}

EngineResult CCryptEngine::CopyWithNewName(File& in, File& out, const QString& name, const QString& key, int& error) {
    if (in.Seek(0, Whence::End) < 0)
        return FileFailed(kReadFailed, msg::kRenameSeekEnd, in, error);
    const qint64 size = in.Position();
    if (size < 0)
        return FileFailed(kReadFailed, msg::kRenameSize, in, error);
    if (size == 0) {
        Report(msg::kRenameEmpty, QString());
        return kReadFailed;
    }
    if (in.Seek(0, Whence::Begin) < 0)
        return FileFailed(kReadFailed, msg::kRenameSeekStart, in, error);
    ContainerHeader header;
    if (in.Read(header.Data(), ContainerHeader::kSize) != ContainerHeader::kSize) {
        Report(msg::kRenameHeaderRead, QString());
        return kReadFailed;
    }
    if (DecipherBuffer(header.Data(), ContainerHeader::kSize, m_builtInName) != kOk)
        return kReadFailed;
    const int oldLength = header.NameBlockLength();
    const QString stored = name.left(ContainerHeader::kMaxNameUnits);
    const int newLength = ContainerHeader::NameBlockLengthFor(static_cast<int>(stored.size()));
    header.SetNameBlockLength(newLength);
    if (EncipherBuffer(header.Data(), ContainerHeader::kSize, m_builtInName) != kOk)
        return kWriteFailed;
    if (out.Write(header.Data(), ContainerHeader::kSize) != ContainerHeader::kSize)
        return FileFailed(kWriteFailed, 0, out, error);

    std::uint8_t block[544];
    if (!ContainerHeader::NameBlockLengthValid(oldLength) || in.Read(block, oldLength) != oldLength) {
        Report(msg::kRenameNameRead, QString());
        return kReadFailed;
    }
    std::memset(block, 0, sizeof block);
    BuildNameBlock(stored, newLength, block);
    if (EncipherBuffer(block, newLength, key) != kOk)
        return kWriteFailed;
    if (out.Write(block, newLength) != newLength)
        return FileFailed(kWriteFailed, 0, out, error);

    std::vector<std::uint8_t> chunk(kPieceSize);
    for (;;) {
        m_ui.Pump();
        const qint64 n = in.Read(chunk.data(), kPieceSize);
        if (n < 0)
            return FileFailed(kReadFailed, 0, in, error);
        if (n == 0)
            return kOk;
        if (out.Write(chunk.data(), n) != n)
            return FileFailed(kWriteFailed, 0, out, error);
    }
}

EngineResult CCryptEngine::UpdateHint(const QString& path, const QString& hint) {
    // The container is read-only but for this rewrite in place, whatever its outcome.
    static_cast<void>(m_files.MakeWritable(path));
    int error = 0;
    std::unique_ptr<File> file = m_files.Open(path, OpenMode::ReadWrite, error);
    if (!file) {
        static_cast<void>(m_files.SetReadOnly(path));
        return Refuse(msg::kHintOpen, u'\n' + ErrorDetail(error) + QStringLiteral("\n\n") + path);
    }
    const EngineResult result = RewriteHint(*file, hint, error);
    file.reset();
    static_cast<void>(m_files.SetReadOnly(path));
    // A refused signature or cipher already said what is wrong; only failed reads and writes add more.
    if (result == kReadFailed && error != 0)
        Report(msg::kHintRead, u'\n' + ErrorDetail(error) + QStringLiteral("\n\n") + path);
    else if (result == kWriteFailed)
        Report(msg::kHintWrite, u'\n' + ErrorDetail(error) + QStringLiteral("\n\n") + path);
    return result;
}

EngineResult CCryptEngine::RewriteHint(File& file, const QString& hint, int& error) {
    ContainerHeader header;
    if (file.Seek(0, Whence::Begin) < 0)
        return FileFailed(kReadFailed, msg::kHintSeek, file, error);
    if (file.Read(header.Data(), ContainerHeader::kSize) != ContainerHeader::kSize) {
        Report(msg::kHintHeaderRead, QString());
        return kReadFailed;
    }
    if (DecipherBuffer(header.Data(), ContainerHeader::kSize, m_builtInName) != kOk)
        return kReadFailed;
    if (const ContainerCheck check = CheckSignature(header); check.status != kUsable) {
        Report(msg::kHintRefused, check.text);
        return kReadFailed;
    }
    QString stored = header.Hint();
    while (!stored.isEmpty() && stored.back() == u' ')
        stored.chop(1);
    const QString wanted = hint.left(ContainerHeader::kHintUnits);
    if (stored == wanted)
        return kOk;
    header.SetHint(wanted);
    if (EncipherBuffer(header.Data(), ContainerHeader::kSize, m_builtInName) != kOk)
        return kWriteFailed;
    if (file.Seek(0, Whence::Begin) < 0)
        return FileFailed(kReadFailed, msg::kHintSeekBack, file, error);
    if (file.Write(header.Data(), ContainerHeader::kSize) != ContainerHeader::kSize)
        return FileFailed(kWriteFailed, msg::kHintHeaderWrite, file, error);
    if (!file.Sync())
        return FileFailed(kWriteFailed, 0, file, error);
    return kOk;
}

EngineResult CCryptEngine::CompareFileTails(const QString& first, const QString& second, bool compareSizes) {
    qint64 firstSize = 0;
    qint64 secondSize = 0;
    std::uint8_t firstTail[16];
    std::uint8_t secondTail[16];
    if (ReadFileTail(first, firstSize, firstTail, msg::kFirstOpen, msg::kFirstSeek, msg::kFirstSize) != kOk ||
        ReadFileTail(second, secondSize, secondTail, msg::kSecondOpen, msg::kSecondSeek, msg::kSecondSize) != kOk)
        return kFailed;
    if (compareSizes && firstSize != secondSize)
        return Refuse(msg::kCompareSizes, QString());
    if (std::memcmp(firstTail, secondTail, 16) != 0)
        return Refuse(msg::kCompareTails, QString());
    return kOk;
}

bool CCryptEngine::WipeFile(const QString& path, QString& errorText, bool sync) {
    auto fail = [&](int message, int error) {
        errorText = m_messages.MsgA(message) + u'\n' + ErrorDetail(error) + QStringLiteral("\n\n") + path;
        return false;
    };
    int error = 0;
    std::unique_ptr<File> file = m_files.Open(path, OpenMode::ReadWriteAlone, error);
    if (!file)
        return fail(msg::kWipeOpen, error);
    static const std::vector<std::uint8_t> kZeros(kPieceSize, 0);
    // Read only to learn how far the file goes; never zero-filled first.
    const auto buffer = std::make_unique_for_overwrite<std::uint8_t[]>(kPieceSize);
    for (;;) {
        m_ui.Pump();
        const qint64 n = file->Read(buffer.get(), kPieceSize);
        if (n < 0)
            return fail(msg::kWipeRead, file->Error());
        if (n == 0)
            break;
        const qint64 at = file->Position();
        if (at < 0 || file->Seek(at - n, Whence::Begin) < 0)
            return fail(msg::kWipeSeek, file->Error());
        if (file->Write(kZeros.data(), n) != n)
            return fail(msg::kWipeWrite, file->Error());
    }
    if (sync && !file->Sync())
        return fail(msg::kWipeWrite, file->Error());
    return true;
}

bool CCryptEngine::IsWipeName(const QString& fileName) {
    static const QRegularExpression kWipeName(QStringLiteral("^[0-9A-F]{16}-[0-9A-F]{16}\\.delf$"));
    return kWipeName.match(fileName).hasMatch();
}

CCryptEngine::WipeResult CCryptEngine::WipeAndDelete(const QString& path, QString& errorText, bool renameFirst,
                                                     const FileIdentity* expected) {
    QString zeroed;
    const WipeResult rc = ZeroForDelete(path, errorText, renameFirst, expected, true, zeroed);
    return rc != kWiped || zeroed.isEmpty() ? rc : TruncateAndRemove(zeroed, errorText);
}

CCryptEngine::WipeResult CCryptEngine::ZeroForDelete(const QString& path, QString& errorText, bool renameFirst,
                                                     const FileIdentity* expected, bool sync, QString& zeroed) {
    zeroed.clear();
    FileIdentity found;
    if (const int rc = m_files.Identify(path, found).error; rc != 0) {
        errorText = FileErrorText(FileErrorCause(rc)) + QStringLiteral("\n\n") + path;
        return kWipeFailed;
    }
    if (expected && !found.SameContent(*expected))
        return kWipeKeptChanged;
    if (found.link || found.links > 1)
        return RemoveWithRetries(path, errorText);
    int rc = 0;
    for (int attempt = 0; attempt < kRetries; ++attempt) {
        if ((rc = m_files.MakeWritable(path).error) == 0)
            break;
        m_ui.Sleep(kRetryMs);
    }
    if (rc != 0) {
        errorText = m_messages.MsgA(msg::kAttributes) + u'\n' + ErrorDetail(rc) + QStringLiteral("\n\n") + path;
        return kWipeFailed;
    }
    if (!renameFirst) {
        if (!WipeFile(path, errorText, sync))
            return kWipeFailed;
        zeroed = path;
        return kWiped;
    }

    // A file another program holds open keeps its name: renamed away, it would be listed as a stranger
    // and swept later with whatever the program writes into it.
    int error = 0;
    if (!m_files.Open(path, OpenMode::ReadWriteAlone, error)) {
        errorText = m_messages.MsgA(msg::kWipeOpen) + u'\n' + ErrorDetail(error) + QStringLiteral("\n\n") + path;
        return kWipeFailed;
    }
    QString unique;
    if (UniqueNameText(true, unique) != 0) {
        errorText = m_messages.MsgA(msg::kNoUniqueName);
        return kWipeFailed;
    }
    const QString renamed = QFileInfo(path).absolutePath() + u'/' + unique + QStringLiteral(".delf");
    for (int attempt = 0; attempt < kRetries; ++attempt) {
        if ((rc = m_files.Rename(path, renamed).error) == 0)
            break;
        m_ui.Sleep(kRetryMs);
    }
    if (rc != 0) {
        errorText = FileErrorText(FileErrorCause(rc)) + QStringLiteral("\n\n") + path;
        return kWipeFailed;
    }
    // A save may have landed between the look above and the rename.
    FileIdentity moved;
    const bool changed = expected && (m_files.Identify(renamed, moved).Failed() || !moved.SameContent(*expected));
    if (changed || !WipeFile(renamed, errorText, sync)) {
        // Its own name back, unless a newer save took it meanwhile.
        if (!m_files.Exists(path))
            static_cast<void>(m_files.Rename(renamed, path));
        return changed ? kWipeKeptChanged : kWipeFailed;
    }
    zeroed = renamed;
    return kWiped;
}

CCryptEngine::WipeResult CCryptEngine::TruncateAndRemove(const QString& path, QString& errorText) {
    int error = 0;
    m_files.Open(path, OpenMode::WriteTruncate, error); // length 0: nothing of the size stays either
    return RemoveWithRetries(path, errorText);
}

CCryptEngine::WipeResult CCryptEngine::RemoveWithRetries(const QString& path, QString& errorText) {
    int rc = 0;
    for (int attempt = 0; attempt < kRetries && m_files.Exists(path); ++attempt) {
        if ((rc = m_files.Remove(path).error) == 0)
            return kWiped;
        m_ui.Sleep(kRetryMs);
    }
    if (m_files.Exists(path)) {
        errorText = FileErrorText(FileErrorCause(rc)) + QStringLiteral("\n\n") + path;
        return kWipeFailed;
    }
    return kWiped;
}

} // namespace korimbo
