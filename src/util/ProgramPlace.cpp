#include "util/ProgramPlace.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <climits>
#include <unistd.h>

namespace korimbo {

namespace {

QString Absolute(const QString& path) {
    return QDir::cleanPath(QFileInfo(path).absoluteFilePath());
}

// The folder of `file` when `file` is the program, else empty.
QString FolderWhenProgram(const QString& file, const QString& programName) {
    if (file.isEmpty() || QFileInfo(file).fileName() != programName || !QFileInfo(file).isFile())
        return QString();
    return QFileInfo(Absolute(file)).absolutePath();
}

} // namespace

QString ProgramFolderOf(const ProgramPlace& place, const QString& programName) {
    // The executable first: a variable inherited from elsewhere must not move a program started directly.
    if (const QString folder = FolderWhenProgram(place.executable, programName); !folder.isEmpty())
        return folder;
    if (!place.announced.isEmpty() && QFileInfo(place.announced + u'/' + programName).isFile())
        return Absolute(place.announced);
    // A bare name came through PATH, and PATH is not where a portable folder lives.
    if (place.argument0.contains(u'/'))
        return FolderWhenProgram(place.argument0, programName);
    return QString();
}

ProgramPlace ThisProcessPlace(const char* argument0) {
    ProgramPlace place;
    place.announced = QFile::decodeName(qgetenv(kProgramFolderVariable));
    char buffer[PATH_MAX + 1];
    const ssize_t length = ::readlink("/proc/self/exe", buffer, PATH_MAX);
    if (length > 0)
        place.executable = QFile::decodeName(QByteArray(buffer, static_cast<qsizetype>(length)));
    if (argument0 != nullptr)
        place.argument0 = QFile::decodeName(argument0);
    return place;
}

} // namespace korimbo
