#include "state/WorkAreas.h"

#include "util/FileSystem.h"

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

SysResult WorkAreas::MakePrivateFolder(const QString& path) {
    LocalFileSystem files;
    return files.MakePrivateFolder(path);
}

void WorkAreas::MakeTreePrivate(const QString& folder) {
    TakeOthersAccess(folder);
    QDirIterator it(folder, QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot,
                    QDirIterator::Subdirectories);
    while (it.hasNext())
        TakeOthersAccess(it.next());
}

} // namespace korimbo
