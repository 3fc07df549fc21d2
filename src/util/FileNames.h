#pragma once

#include <QByteArray>
#include <QString>

namespace korimbo {

// Inside the program every path is text. A name on disk in another encoding (old archives, network
// shares) has bytes that are not UTF-8; Qt's own decoding turns each into U+FFFD and so names another
// file, or none. Our own enumerations keep such a byte as the lone surrogate U+DC80 + (byte - 0x80),
// which no valid UTF-8 decodes to, and NativePath gives the byte back, so the path names the same file.
// Paths that went through Qt's decoding are refused up front instead of failing later as a missing file.

// The raw bytes of one directory entry's name (or of a whole path).
bool IsRepresentableName(const QByteArray& nativeName);
// A path already held as text: bytes that were not text were decoded to U+FFFD.
bool IsRepresentablePath(const QString& path);

// The text of a name or path as the file system gave it: UTF-8, with every byte that is not part of a
// valid sequence kept as U+DC80..U+DCFF.
QString PathFromNative(const QByteArray& native);
// The bytes of such a text for the file system calls: UTF-8, with U+DC80..U+DCFF back to their byte.
QByteArray NativePath(const QString& path);
// The name as the user sees it: each byte kept as a surrogate shown as "%XX".
QString ShownName(const QString& name);

// What a temporary file beside its target holds: a container being written, or plaintext.
enum class TempKind { Sealed, Plain };

// A short hidden name beside `target`: the old file stays untouched until the new one is complete and on
// disk. The kind is in the name, so that what a crash leaves behind can be told apart and plaintext wiped.
QString TempPathBeside(const QString& target, TempKind kind);
bool IsTempName(const QString& fileName, TempKind* kind = nullptr);

// `name` in `folder`, with one separator between them.
QString ChildPath(const QString& folder, const QString& name);
// The folder that holds `path` (absolute).
QString ParentOf(const QString& path);
// `name` where it can stand as one file name in a folder, else `fallback`: a stored name that is empty,
// names a folder step or holds a separator or NUL would lead the file out of its place.
QString UsableFileName(const QString& name, const QString& fallback);
// The absolute path with "." and ".." resolved and no trailing separator (links are kept).
QString CleanPath(const QString& path);
// `inner` is `outer` or lies below it, judged on the text alone (trailing separators aside), for paths
// whose text is cut afterwards; util/PathIdentity judges what is on disk. Paths on Linux differ by case,
// so the comparison keeps it.
bool IsWithinPath(const QString& inner, const QString& outer);

} // namespace korimbo
