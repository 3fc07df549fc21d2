#pragma once

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QStringList>

#include <sys/stat.h>
#include <unistd.h>

namespace korimbo {

// Every entry below `root` as one line, links not followed: its relative path, kind, mode, size, and a
// hash of a file's bytes or a link's target. Pipes and devices are never opened. Two snapshots are equal
// only when nothing below `root` was added, removed, changed or chmodded.
inline void SnapshotInto(const QString& root, const QString& relative, QStringList& lines) {
    const QString folder = relative.isEmpty() ? root : root + u'/' + relative;
    const QStringList names =
        QDir(folder).entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot, QDir::Name);
    for (const QString& name : names) {
        const QString path = folder + u'/' + name;
        const QString shown = relative.isEmpty() ? name : relative + u'/' + name;
        struct stat st {};
        if (::lstat(QFile::encodeName(path).constData(), &st) != 0)
            continue;
        QString line = shown + QStringLiteral(" mode=%1 size=%2").arg(st.st_mode, 0, 8).arg(qint64(st.st_size));
        if (S_ISLNK(st.st_mode)) {
            line += QStringLiteral(" -> ") + QFile::symLinkTarget(path);
        } else if (S_ISREG(st.st_mode)) {
            QFile file(path);
            if (file.open(QIODevice::ReadOnly))
                line += u' ' + QString::fromLatin1(QCryptographicHash::hash(file.readAll(), QCryptographicHash::Sha1).toHex());
        }
        lines.append(line);
        if (S_ISDIR(st.st_mode))
            SnapshotInto(root, shown, lines);
    }
}

inline QStringList TreeSnapshot(const QString& root) {
    QStringList lines;
    SnapshotInto(root, QString(), lines);
    return lines;
}

} // namespace korimbo
