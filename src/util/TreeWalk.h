#pragma once

#include "util/FileSystem.h"
#include "util/PathIdentity.h"

#include <QString>
#include <QStringList>

#include <functional>

namespace korimbo {

struct TreeEntry {
    QString path;
    ItemKind kind = ItemKind::Missing; // a link is a Link, whatever it points to
    int depth = 0;                     // 0 for the entries of the root itself
};

enum class Visit {
    Continue, // on, into a folder too
    Prune,    // not into this folder (ignored after a folder's contents, and for anything else)
    Stop,     // the whole walk ends here
};

enum class WalkOrder {
    FoldersFirst, // a folder before its contents: copying, listing
    FoldersLast,  // a folder after its contents: removing
};

struct WalkResult {
    QStringList unreadable; // folders whose entries could not be read
    bool stopped = false;
};

// Every entry below `root`, by name within each folder. A link is reported as what it is and never followed,
// so a link to an ancestor or to "/" ends nowhere and nothing outside the tree is reached through it.
WalkResult WalkTree(const QString& root, const std::function<Visit(const TreeEntry&)>& visit,
                    WalkOrder order = WalkOrder::FoldersFirst);

// The first entry below `root` that `matches`, or an empty text.
QString FindBelow(const QString& root, const std::function<bool(const TreeEntry&)>& matches);

struct RemoveResult {
    int error = 0; // 0, or the errno of the step that failed
    QString path;  // the item it failed on
    [[nodiscard]] bool Ok() const { return error == 0; }
};

// A file, a link, or a folder with everything in it, for good. A link goes as a link; read-only files and
// folders are made writable first. `removeFile` takes the place of the plain removal of files (wiping),
// returning how it went.
[[nodiscard]] RemoveResult RemoveTree(FileSystem& files, const QString& path,
                                      const std::function<SysResult(const QString& file)>& removeFile = {});

// The bytes of every file below `path` (or of `path` itself), links and special files counted as nothing.
[[nodiscard]] qint64 TreeBytes(const QString& path);

} // namespace korimbo
