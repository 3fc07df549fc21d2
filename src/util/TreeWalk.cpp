#include "util/TreeWalk.h"

#include "util/FileNames.h"

#include <sys/stat.h>

#include <cerrno>

namespace korimbo {

namespace {

// false: the walk is to stop.
bool WalkFolder(const QString& folder, int depth, const std::function<Visit(const TreeEntry&)>& visit, WalkOrder order,
                WalkResult& result) {
    QStringList entries;
    if (!EntriesOf(folder, entries)) {
        result.unreadable.append(folder);
        return true;
    }
    for (const QString& path : entries) {
        const TreeEntry entry{path, KindOf(path), depth};
        Visit answer = Visit::Continue;
        if (order == WalkOrder::FoldersFirst || entry.kind != ItemKind::Folder)
            answer = visit(entry);
        if (answer == Visit::Stop)
            return false;
        if (entry.kind == ItemKind::Folder && answer == Visit::Continue &&
            !WalkFolder(path, depth + 1, visit, order, result))
            return false;
        if (order == WalkOrder::FoldersLast && entry.kind == ItemKind::Folder && visit(entry) == Visit::Stop)
            return false;
    }
    return true;
}

} // namespace

WalkResult WalkTree(const QString& root, const std::function<Visit(const TreeEntry&)>& visit, WalkOrder order) {
    WalkResult result;
    result.stopped = !WalkFolder(root, 0, visit, order, result);
    return result;
}

QString FindBelow(const QString& root, const std::function<bool(const TreeEntry&)>& matches) {
    QString found;
    WalkTree(root, [&](const TreeEntry& entry) {
        if (!matches(entry))
            return Visit::Continue;
        found = entry.path;
        return Visit::Stop;
    });
    return found;
}

RemoveResult RemoveTree(FileSystem& files, const QString& path,
                        const std::function<SysResult(const QString&)>& removeFile) {
    const auto removeOne = [&](const QString& item, ItemKind kind) -> SysResult {
        if (kind == ItemKind::Folder)
            return files.RemoveFolder(item);
        if (kind == ItemKind::File && removeFile)
            return removeFile(item);
        static_cast<void>(files.MakeWritable(item));
        return files.Remove(item);
    };
    const ItemKind kind = KindOf(path);
    if (kind == ItemKind::Missing)
        return {ENOENT, path};
    if (kind == ItemKind::Folder) {
        // A read-only folder keeps its entries: the owner takes that back on the way down. Files go at
        // once, folders after everything below them (the reverse of the order they were met in).
        static_cast<void>(files.SetPermissions(path, kPrivateFolderMode));
        RemoveResult result;
        QStringList folders;
        WalkTree(path, [&](const TreeEntry& entry) {
            if (entry.kind == ItemKind::Folder) {
                static_cast<void>(files.SetPermissions(entry.path, kPrivateFolderMode));
                folders.append(entry.path);
            } else if (const int rc = removeOne(entry.path, entry.kind).error; rc != 0) {
                result = {rc, entry.path};
                return Visit::Stop;
            }
            return Visit::Continue;
        });
        for (auto it = folders.crbegin(); result.Ok() && it != folders.crend(); ++it)
            if (const int rc = files.RemoveFolder(*it).error; rc != 0)
                result = {rc, *it};
        if (!result.Ok())
            return result;
    }
    if (const int rc = removeOne(path, kind).error; rc != 0)
        return {rc, path};
    return {};
}

qint64 TreeBytes(const QString& path) {
    const auto bytesOf = [](const QString& file) {
        struct stat st {};
        return ::lstat(NativePath(file).constData(), &st) == 0 && S_ISREG(st.st_mode) ? qint64(st.st_size) : 0;
    };
    if (KindOf(path) != ItemKind::Folder)
        return bytesOf(path);
    qint64 total = 0;
    WalkTree(path, [&](const TreeEntry& entry) {
        if (entry.kind == ItemKind::File)
            total += bytesOf(entry.path);
        return Visit::Continue;
    });
    return total;
}

} // namespace korimbo
