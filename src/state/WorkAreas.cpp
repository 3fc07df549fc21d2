#include "state/WorkAreas.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>

#include <cerrno>
#include <sys/stat.h>

namespace korimbo {

namespace {

QByteArray Native(const QString& path) {
    return QFile::encodeName(path);
}

// Owner bits kept, group and other bits taken; a symbolic link is left alone.
void TakeOthersAccess(const QString& path) {
    const QByteArray native = Native(path);
    struct stat st {};
    if (::lstat(native.constData(), &st) != 0 || S_ISLNK(st.st_mode))
        return;
    const mode_t owner = st.st_mode & S_IRWXU;
    if ((st.st_mode & 07777) != owner)
        ::chmod(native.constData(), owner);
}

} // namespace

int WorkAreas::MakePrivateFolder(const QString& path) {
    const QString clean = QDir::cleanPath(path);
    if (clean.isEmpty())
        return ENOENT;
    // One level after the other, so that each level made here is 0700 from its first moment.
    const QStringList parts = clean.split(u'/', Qt::SkipEmptyParts);
    QString level = clean.startsWith(u'/') ? QString() : QStringLiteral(".");
    for (const QString& part : parts) {
        level += u'/' + part;
        if (::mkdir(Native(level).constData(), S_IRWXU) != 0 && errno != EEXIST)
            return errno;
    }
    struct stat st {};
    if (::stat(Native(clean).constData(), &st) != 0)
        return errno;
    if (!S_ISDIR(st.st_mode))
        return ENOTDIR;
    if ((st.st_mode & 077) != 0 && ::chmod(Native(clean).constData(), st.st_mode & S_IRWXU) != 0)
        return errno;
    return 0;
}

void WorkAreas::MakeTreePrivate(const QString& folder) {
    TakeOthersAccess(folder);
    QDirIterator it(folder, QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot,
                    QDirIterator::Subdirectories);
    while (it.hasNext())
        TakeOthersAccess(it.next());
}

} // namespace korimbo
