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

bool IsWithinPath(const QString& inner, const QString& outer) {
    return inner == outer || inner.startsWith(outer.endsWith(u'/') ? outer : outer + u'/');
}

} // namespace korimbo
