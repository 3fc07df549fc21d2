#pragma once

#include <QByteArray>
#include <QString>

namespace korimbo {

// Inside the program every path is text. A name on disk in another encoding (old archives, network
// shares) does not survive the way there and back: its text form names another file, or none. Such
// names are refused up front instead of failing later as a missing file.

// The raw bytes of one directory entry's name (or of a whole path).
bool IsRepresentableName(const QByteArray& nativeName);
// A path already held as text: bytes that were not text were decoded to U+FFFD.
bool IsRepresentablePath(const QString& path);

// `name` in `folder`, with one separator between them.
QString ChildPath(const QString& folder, const QString& name);
// The absolute path with "." and ".." resolved and no trailing separator (links are kept).
QString CleanPath(const QString& path);
// `inner` is `outer` or lies below it, judged on the text alone (trailing separators aside), for paths
// whose text is cut afterwards; util/PathIdentity judges what is on disk. Paths on Linux differ by case,
// so the comparison keeps it.
bool IsWithinPath(const QString& inner, const QString& outer);

} // namespace korimbo
