#include "platform/Trash.h"

#include "util/FileNames.h"
#include "util/PathIdentity.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <cerrno>
#include <cstdio>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace korimbo {

namespace {

// A name that is not UTF-8 keeps its bytes (util/FileNames): the trash moves and records the file itself.
QByteArray Native(const QString& path) {
    return NativePath(path);
}

// The first 64 KiB of a small file (an info file), read by the bytes of its name.
QByteArray HeadOf(const QString& path) {
    QByteArray data(64 * 1024, Qt::Uninitialized);
    const int fd = ::open(Native(path).constData(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    const ssize_t n = fd < 0 ? -1 : ::read(fd, data.data(), size_t(data.size()));
    if (fd >= 0)
        ::close(fd);
    data.resize(n > 0 ? n : 0);
    return data;
}

bool IsRealDirectory(const QString& path) {
    struct stat st {};
    return ::lstat(Native(path).constData(), &st) == 0 && S_ISDIR(st.st_mode);
}

int MakePrivateDirectory(const QString& path) {
    if (IsRealDirectory(path))
        return 0;
    if (!QDir().mkpath(QFileInfo(path).absolutePath()))
        return EACCES;
    if (::mkdir(Native(path).constData(), 0700) != 0 && errno != EEXIST)
        return errno;
    return IsRealDirectory(path) ? 0 : ENOTDIR;
}

// NAME, then "stem.2.ext", "stem.3.ext", ... until neither files/ nor info/ has it.
QString FreeName(const QString& name, int n) {
    if (n < 2)
        return name;
    const QFileInfo info(name);
    const QString suffix = info.suffix();
    const QString stem = suffix.isEmpty() || info.completeBaseName().isEmpty() ? name : info.completeBaseName();
    return stem + u'.' + QString::number(n) + (stem == name ? QString() : u'.' + suffix);
}

// Path= text: every byte but the unreserved ones and "/" percent-encoded.
QByteArray EncodedPath(const QString& path) {
    return NativePath(path).toPercentEncoding("/");
}

int RenameNoReplace(const QString& from, const QString& to) {
#ifdef RENAME_NOREPLACE
    if (::renameat2(AT_FDCWD, Native(from).constData(), AT_FDCWD, Native(to).constData(), RENAME_NOREPLACE) == 0)
        return 0;
    if (errno != EINVAL && errno != ENOSYS)
        return errno;
#endif
    struct stat st {};
    if (::lstat(Native(to).constData(), &st) == 0)
        return EEXIST;
    return ::rename(Native(from).constData(), Native(to).constData()) == 0 ? 0 : errno;
}

} // namespace

FreedesktopTrash::FreedesktopTrash(const QString& homeTrash, Volumes& volumes)
    : m_homeTrash(homeTrash), m_volumes(volumes) {}

QString FreedesktopTrash::HomeTrashOfEnvironment() {
    QString data = QFile::decodeName(qgetenv("XDG_DATA_HOME"));
    if (data.isEmpty() || !QDir::isAbsolutePath(data))
        data = QFile::decodeName(qgetenv("HOME")) + QStringLiteral("/.local/share");
    return QDir::cleanPath(data + QStringLiteral("/Trash"));
}

QString FreedesktopTrash::VolumeTrash(const QString& topdir, bool create) {
    const QString uid = QString::number(::getuid());
    // An administrator's ".Trash" counts only when it is a real, sticky directory.
    const QString shared = QDir(topdir).filePath(QStringLiteral(".Trash"));
    struct stat st {};
    if (::lstat(Native(shared).constData(), &st) == 0 && S_ISDIR(st.st_mode) && (st.st_mode & S_ISVTX)) {
        const QString own = shared + u'/' + uid;
        if (IsRealDirectory(own) || (create && MakePrivateDirectory(own) == 0))
            return own;
    }
    const QString own = QDir(topdir).filePath(QStringLiteral(".Trash-") + uid);
    if (IsRealDirectory(own) || (create && MakePrivateDirectory(own) == 0))
        return own;
    return QString();
}

int FreedesktopTrash::MoveToTrash(const QString& path) {
    const QString clean = QDir::cleanPath(QFileInfo(path).absoluteFilePath());
    const QString topdir = m_volumes.MountRoot(clean);
    // A removable volume keeps its deleted items: they leave with the stick, and no copy is made.
    if (m_volumes.TypeOf(clean) == DriveType::Removable && !topdir.isEmpty()) {
        const QString trash = VolumeTrash(topdir, true);
        if (!trash.isEmpty())
            return MoveInto(clean, trash, topdir);
    }
    const int rc = MoveInto(clean, m_homeTrash, QString());
    if (rc != EXDEV || topdir.isEmpty())
        return rc;
    // The home trash is on another volume: the volume's own trash takes the item instead of a copy.
    const QString trash = VolumeTrash(topdir, true);
    return trash.isEmpty() ? EXDEV : MoveInto(clean, trash, topdir);
}

int FreedesktopTrash::MoveInto(const QString& path, const QString& trash, const QString& topdir) {
    if (const int rc = MakePrivateDirectory(trash); rc != 0)
        return rc;
    const QString files = trash + QStringLiteral("/files");
    const QString info = trash + QStringLiteral("/info");
    for (const QString& folder : {files, info})
        if (const int rc = MakePrivateDirectory(folder); rc != 0)
            return rc;
    const QString name = QFileInfo(path).fileName();
    QString shownPath = path;
    if (!topdir.isEmpty()) {
        const QString root = topdir.endsWith(u'/') ? topdir : topdir + u'/';
        if (path.startsWith(root))
            shownPath = path.mid(root.size());
    }
    const QByteArray text =
        QByteArrayLiteral("[Trash Info]\nPath=") + EncodedPath(shownPath) + QByteArrayLiteral("\nDeletionDate=") +
        QDateTime::currentDateTime().toString(QStringLiteral("yyyy-MM-ddThh:mm:ss")).toUtf8() + '\n';
    // The info file is made first and exclusively: it reserves the name in files/ too.
    for (int n = 1; n < 100000; ++n) {
        const QString entry = FreeName(name, n);
        const QString infoPath = info + u'/' + entry + QStringLiteral(".trashinfo");
        const int fd = ::open(Native(infoPath).constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
        if (fd < 0) {
            if (errno == EEXIST)
                continue;
            return errno;
        }
        const bool written = ::write(fd, text.constData(), size_t(text.size())) == text.size();
        const int writeError = errno;
        ::close(fd);
        if (!written) {
            ::unlink(Native(infoPath).constData());
            return writeError != 0 ? writeError : EIO;
        }
        const int rc = RenameNoReplace(path, files + u'/' + entry);
        if (rc == EEXIST) {
            ::unlink(Native(infoPath).constData());
            continue;
        }
        if (rc != 0)
            ::unlink(Native(infoPath).constData());
        return rc;
    }
    return EEXIST;
}

int FreedesktopTrash::ReadTrash(const QString& trash, const QString& topdir, QList<TrashEntry>& entries) {
    const QDir info(trash + QStringLiteral("/info"));
    if (!info.exists())
        return 0;
    if (!info.isReadable())
        return EACCES;
    QStringList paths;
    if (!EntriesOf(info.path(), paths))
        return EACCES;
    for (const QString& infoPath : std::as_const(paths)) {
        const QString infoName = QFileInfo(infoPath).fileName();
        if (!infoName.endsWith(QStringLiteral(".trashinfo")) || KindOf(infoPath) != ItemKind::File)
            continue;
        const QByteArray text = HeadOf(infoPath);
        bool inGroup = false;
        QByteArray raw;
        for (QByteArray line : text.split('\n')) {
            line = line.trimmed();
            if (line.startsWith('['))
                inGroup = line == "[Trash Info]";
            else if (inGroup && line.startsWith("Path="))
                raw = line.mid(5);
        }
        if (raw.isEmpty())
            continue;
        const auto absolute = [&](const QString& p) {
            return QDir::cleanPath(QDir::isAbsolutePath(p) || topdir.isEmpty() ? p : topdir + u'/' + p);
        };
        TrashEntry entry;
        entry.infoPath = infoPath;
        entry.trashedPath = trash + QStringLiteral("/files/") + infoName.chopped(int(qstrlen(".trashinfo")));
        entry.rawPath = absolute(QString::fromUtf8(raw));
        entry.originalPath = absolute(PathFromNative(QByteArray::fromPercentEncoding(raw)));
        if (KindOf(entry.trashedPath) != ItemKind::Missing)
            entries.append(entry);
    }
    return 0;
}

int FreedesktopTrash::Entries(const QString& near, QList<TrashEntry>& entries) {
    entries.clear();
    if (const int rc = ReadTrash(m_homeTrash, QString(), entries); rc != 0)
        return rc;
    const QString topdir = m_volumes.MountRoot(near);
    if (topdir.isEmpty())
        return 0;
    const QString uid = QString::number(::getuid());
    for (const QString& trash : {QDir(topdir).filePath(QStringLiteral(".Trash/") + uid),
                                 QDir(topdir).filePath(QStringLiteral(".Trash-") + uid)}) {
        if (QDir::cleanPath(trash) != QDir::cleanPath(m_homeTrash) && IsRealDirectory(trash))
            ReadTrash(trash, topdir, entries);
    }
    return 0;
}

int FreedesktopTrash::Restore(const TrashEntry& entry, const QString& target) {
    if (const int rc = RenameNoReplace(entry.trashedPath, target); rc != 0)
        return rc;
    ::unlink(Native(entry.infoPath).constData());
    return 0;
}

} // namespace korimbo
