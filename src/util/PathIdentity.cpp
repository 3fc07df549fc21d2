#include "util/PathIdentity.h"

#include "util/FileNames.h"

#include <QFile>
#include <QFileInfo>

#include <algorithm>
#include <cerrno>
#include <dirent.h>
#include <climits>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace korimbo {

ItemKind KindOf(const QString& path) {
    struct stat st {};
    if (::lstat(NativePath(path).constData(), &st) != 0)
        return ItemKind::Missing;
    if (S_ISLNK(st.st_mode))
        return ItemKind::Link;
    if (S_ISDIR(st.st_mode))
        return ItemKind::Folder;
    return S_ISREG(st.st_mode) ? ItemKind::File : ItemKind::Special;
}

bool EntriesOf(const QString& folder, QStringList& entries) {
    entries.clear();
    const QByteArray native = NativePath(folder);
    DIR* dir = ::opendir(native.constData());
    if (!dir)
        return false;
    while (const dirent* found = ::readdir(dir)) {
        const QByteArray name(found->d_name);
        if (name != "." && name != "..")
            entries.append(PathFromNative(native + '/' + name));
    }
    ::closedir(dir);
    std::sort(entries.begin(), entries.end());
    return true;
}

namespace {

QString WithCaseSwapped(const QString& name) {
    QString swapped = name;
    for (QChar& c : swapped)
        c = c.isUpper() ? c.toLower() : c.toUpper();
    return swapped;
}

} // namespace

QString HeldUnderOtherName(const QString& path) {
    if (!ItemExists(path))
        return QString();
    // A folder that keeps case finds nothing under the other case: no need to read it.
    const QString parent = ParentOf(path);
    const QString name = QFileInfo(path).fileName();
    const QString swapped = WithCaseSwapped(name);
    if (swapped == name || !ItemExists(ChildPath(parent, swapped)))
        return QString();
    const QString exact = ChildPath(parent, name);
    QStringList entries;
    if (!EntriesOf(parent, entries) || entries.contains(exact))
        return QString();
    for (const QString& entry : std::as_const(entries))
        if (entry.compare(exact, Qt::CaseInsensitive) == 0)
            return entry;
    return exact;
}

QString HeldUnderOtherNameBelow(const QString& base, const QString& path) {
    // Checked from the top: below a step held by another item every step is that item's.
    QString step = base;
    for (const QString& name : path.mid(base.size()).split(u'/', Qt::SkipEmptyParts)) {
        step = ChildPath(step, name);
        if (const QString holder = HeldUnderOtherName(step); !holder.isEmpty())
            return holder;
    }
    return QString();
}

bool SameItem(FileSystem& files, const QString& first, const QString& second) {
    FileIdentity a;
    FileIdentity b;
    if (files.Identify(first, a).Failed() || files.Identify(second, b).Failed())
        return false;
    return a.device == b.device && a.inode == b.inode;
}

QString ResolvedPath(const QString& path) {
    QString existing = CleanPath(path);
    QString missing;
    // Up to the deepest ancestor that exists; "/" always does.
    for (;;) {
        const QString canonical = QFileInfo(existing).canonicalFilePath();
        if (!canonical.isEmpty())
            return missing.isEmpty() ? canonical : ChildPath(canonical, missing);
        const qsizetype cut = existing.lastIndexOf(u'/');
        if (cut < 0)
            return CleanPath(path);
        const QString name = existing.mid(cut + 1);
        missing = missing.isEmpty() ? name : name + u'/' + missing;
        existing = cut == 0 ? QStringLiteral("/") : existing.left(cut);
    }
}

namespace {

bool StatOf(const QString& path, struct stat& st) {
    return ::stat(QFile::encodeName(path).constData(), &st) == 0;
}

} // namespace

bool IsWithinResolved(const QString& inner, const QString& outer) {
    const QString in = ResolvedPath(inner);
    const QString out = ResolvedPath(outer);
    if (IsWithinPath(in, out))
        return true;
    struct stat target {};
    if (!StatOf(out, target))
        return false;
    for (QString step = in;; step = QFileInfo(step).absolutePath()) {
        struct stat st {};
        if (StatOf(step, st) && st.st_dev == target.st_dev && st.st_ino == target.st_ino)
            return true;
        if (step == QStringLiteral("/"))
            return false;
    }
}

bool SameResolved(const QString& first, const QString& second) {
    struct stat a {};
    struct stat b {};
    return StatOf(ResolvedPath(first), a) && StatOf(ResolvedPath(second), b) && a.st_dev == b.st_dev &&
           a.st_ino == b.st_ino;
}

int CopyLink(const QString& from, const QString& to) {
    std::vector<char> buffer(PATH_MAX + 1);
    const ssize_t length = ::readlink(QFile::encodeName(from).constData(), buffer.data(), buffer.size());
    if (length < 0)
        return errno;
    if (size_t(length) >= buffer.size())
        return ENAMETOOLONG;
    const QByteArray pointsTo(buffer.data(), qsizetype(length));
    return ::symlink(pointsTo.constData(), QFile::encodeName(to).constData()) == 0 ? 0 : errno;
}

} // namespace korimbo
