#pragma once

#include "util/FileSystem.h"

#include <QString>
#include <QStringList>

namespace korimbo {

// What a path names on disk, the last step not followed: a link is a link, whatever it points to.
enum class ItemKind { Missing, File, Folder, Link, Special };

// Special covers pipes, sockets and devices: opening one can block or read without end.
[[nodiscard]] ItemKind KindOf(const QString& path);
[[nodiscard]] inline bool IsFolderItem(const QString& path) { return KindOf(path) == ItemKind::Folder; }
// Something is there, a dangling link too.
[[nodiscard]] inline bool ItemExists(const QString& path) { return KindOf(path) != ItemKind::Missing; }
// The paths of a folder's entries, by their bytes (a name that is not UTF-8 keeps them, see PathFromNative),
// sorted. False when the folder cannot be read.
[[nodiscard]] bool EntriesOf(const QString& folder, QStringList& entries);

// The path of the item the file system gives for `path` when the folder holds no entry of exactly that
// last name: a folder that folds case (FAT, exFAT) gives "Report.txt" for "report.txt". Empty when nothing
// is there or the entry is named exactly so; the path itself when no entry of the folder matches it.
[[nodiscard]] QString HeldUnderOtherName(const QString& path);
// The first step of `path` below `base` that the file system gives as an item of another name (see
// HeldUnderOtherName), that item's path, else empty.
[[nodiscard]] QString HeldUnderOtherNameBelow(const QString& base, const QString& path);

// The same file or folder: one device and inode, each path's last step not followed. Two texts for one
// item (a linked parent, a bind mount) are the same; a link and what it points to are not.
[[nodiscard]] bool SameItem(FileSystem& files, const QString& first, const QString& second);

// The absolute path with every link resolved. A path that does not exist (yet) keeps its missing steps
// below its deepest existing ancestor, which is resolved.
[[nodiscard]] QString ResolvedPath(const QString& path);

// `inner` is `outer` or lies below it, judged on the resolved paths: a path through a link to a folder
// counts as inside that folder. An ancestor of `inner` that is `outer` by device and inode counts too,
// which a second mount of one folder needs.
[[nodiscard]] bool IsWithinResolved(const QString& inner, const QString& outer);

// One folder (or file) reached by either path, links followed all the way.
[[nodiscard]] bool SameResolved(const QString& first, const QString& second);

// A new link at `to` that points where the link `from` points, word for word. 0, or an errno.
[[nodiscard]] int CopyLink(const QString& from, const QString& to);

} // namespace korimbo
