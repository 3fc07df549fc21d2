#include "util/FileCopy.h"

#include "util/FileSizeLimit.h"
#include "util/PathIdentity.h"

#include <sys/stat.h>

#include <cerrno>
#include <memory>

namespace korimbo {

namespace {

constexpr qint64 kBufferSize = 1024 * 1024;

// The bytes of `in` appended to `out`, through a buffer no larger than the file needs (`size` -1: unknown).
CopyResult Stream(File& in, File& out, qint64 size, const CopyOptions& options) {
    // One byte more than the file, so that its end is read in the same pass; never zero-filled.
    const qint64 capacity = size >= 0 && size < kBufferSize ? size + 1 : kBufferSize;
    const auto buffer = std::make_unique_for_overwrite<char[]>(static_cast<std::size_t>(capacity));
    qint64 copied = 0;
    for (;;) {
        const qint64 n = in.Read(buffer.get(), capacity);
        if (n < 0)
            return {CopyStep::SourceRead, in.Error()};
        if (n == 0)
            return {};
        if (out.Write(buffer.get(), n) != n)
            return {CopyStep::TargetWrite, out.Error() != 0 ? out.Error() : EIO};
        copied += n;
        if (options.progress && !options.progress(copied))
            return {CopyStep::Stopped, 0};
    }
}

unsigned ModeOf(const QString& path) {
    struct stat st {};
    return ::stat(NativePath(path).constData(), &st) == 0 ? st.st_mode & 07777 : 0;
}

} // namespace

CopyResult CopyFileTo(FileSystem& files, const QString& from, const QString& to, const CopyOptions& options) {
    int error = 0;
    std::unique_ptr<File> in = files.Open(from, OpenMode::Read, error);
    if (!in)
        return {CopyStep::SourceOpen, error};
    // Refused before the first byte: FAT would stop the write at 4 GiB with EFBIG.
    qint64 size = -1;
    if (files.Size(from, size).Failed())
        size = -1;
    else if (!FitsIn(size, ParentOf(to)))
        return {CopyStep::TargetOpen, EFBIG};
    const QString temp = TempPathBeside(to, options.temp);
    std::unique_ptr<File> out = files.Open(temp, OpenMode::WriteTruncate, error);
    if (!out)
        return {CopyStep::TargetOpen, error};
    CopyResult result = Stream(*in, *out, size, options);
    if (result.Ok() && options.sync && !out->Sync())
        result = {CopyStep::TargetWrite, out->Error()};
    out.reset();
    qint64 seconds = 0;
    if (result.Ok() && in->ModificationTime(seconds))
        static_cast<void>(files.SetModificationTime(temp, seconds));
    if (result.Ok() && options.keepMode)
        if (const unsigned mode = ModeOf(from); mode != 0 && !files.IsPrivate(to))
            static_cast<void>(files.SetPermissions(temp, mode));
    if (result.Ok()) {
        // A read-only target (and FAT's attribute) would refuse the rename on some file systems.
        const bool readOnly = KindOf(to) == ItemKind::File && (ModeOf(to) & S_IWUSR) == 0;
        if (readOnly)
            static_cast<void>(files.MakeWritable(to));
        if (const int rc = files.Rename(temp, to).error; rc != 0) {
            if (readOnly)
                static_cast<void>(files.SetReadOnly(to));
            result = {CopyStep::TargetWrite, rc};
        }
    }
    if (!result.Ok()) {
        if (options.discard)
            options.discard(temp);
        else
            static_cast<void>(files.Remove(temp));
        return result;
    }
    if (options.sync && options.syncFolder)
        static_cast<void>(files.SyncFolder(ParentOf(to)));
    return result;
}

} // namespace korimbo
