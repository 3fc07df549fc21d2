#include "util/FileNames.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

namespace korimbo {

bool IsRepresentableName(const QByteArray& nativeName) {
    return QFile::encodeName(QFile::decodeName(nativeName)) == nativeName;
}

bool IsRepresentablePath(const QString& path) {
    if (path.contains(QChar::ReplacementCharacter))
        return false;
    // A lone surrogate has no bytes of its own either.
    return QFile::decodeName(QFile::encodeName(path)) == path;
}

QString ChildPath(const QString& folder, const QString& name) {
    return folder.endsWith(u'/') ? folder + name : folder + u'/' + name;
}

QString CleanPath(const QString& path) {
    return QDir::cleanPath(QFileInfo(path).absoluteFilePath());
}

namespace {

// Trailing separators say nothing about which folder is meant; "/" keeps its one.
QString WithoutTrailingSlash(const QString& path) {
    qsizetype end = path.size();
    while (end > 1 && path.at(end - 1) == u'/')
        --end;
    return path.left(end);
}

} // namespace

bool IsWithinPath(const QString& inner, const QString& outer) {
    const QString in = WithoutTrailingSlash(inner);
    const QString out = WithoutTrailingSlash(outer);
    if (in.isEmpty() || out.isEmpty())
        return false;
    return in == out || in.startsWith(out.endsWith(u'/') ? out : out + u'/');
}

} // namespace korimbo
