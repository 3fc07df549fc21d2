#pragma once

#include "util/FileNames.h"
#include "util/PathIdentity.h"

#include <QCryptographicHash>
#include <QStringList>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace korimbo {

// A file's bytes by the bytes of its name, read without blocking (a pipe gives none).
inline QByteArray RawBytes(const QString& path) {
    QByteArray bytes;
    const int fd = ::open(NativePath(path).constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    char buffer[65536];
    for (ssize_t n = 0; fd >= 0 && (n = ::read(fd, buffer, sizeof buffer)) > 0;)
        bytes.append(buffer, qsizetype(n));
    if (fd >= 0)
        ::close(fd);
    return bytes;
}

// Every entry below `root` as one line, links not followed and names kept as bytes: its relative path,
// kind, mode, size (and with `withTimes` its modification time to the nanosecond), and a hash of a file's
// bytes or a link's target. Pipes and devices are never opened. An entry of `root` named `leaveOut` is
// left out with all below it.
inline void SnapshotInto(const QString& root, const QString& relative, bool withTimes, const QString& leaveOut,
                         QStringList& lines) {
    QStringList paths;
    if (!EntriesOf(relative.isEmpty() ? root : root + u'/' + relative, paths))
        return;
    for (const QString& path : std::as_const(paths)) {
        const QString shown = path.mid(root.size() + 1);
        struct stat st {};
        if (shown == leaveOut || ::lstat(NativePath(path).constData(), &st) != 0)
            continue;
        QString line = shown + QStringLiteral(" mode=%1 size=%2").arg(st.st_mode, 0, 8).arg(qint64(st.st_size));
        if (withTimes)
            line += QStringLiteral(" time=%1.%2").arg(qint64(st.st_mtim.tv_sec)).arg(qint64(st.st_mtim.tv_nsec));
        if (S_ISLNK(st.st_mode)) {
            char target[4096];
            const ssize_t n = ::readlink(NativePath(path).constData(), target, sizeof target);
            line += QStringLiteral(" -> ") + PathFromNative(QByteArray(target, n < 0 ? 0 : qsizetype(n)));
        } else if (S_ISREG(st.st_mode)) {
            line +=
                u' ' + QString::fromLatin1(QCryptographicHash::hash(RawBytes(path), QCryptographicHash::Sha1).toHex());
        }
        lines.append(line);
        if (S_ISDIR(st.st_mode))
            SnapshotInto(root, shown, withTimes, QString(), lines);
    }
}

inline QStringList TreeSnapshot(const QString& root, bool withTimes = false, const QString& leaveOut = QString()) {
    QStringList lines;
    SnapshotInto(root, QString(), withTimes, leaveOut, lines);
    return lines;
}

} // namespace korimbo
