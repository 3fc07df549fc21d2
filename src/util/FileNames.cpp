#include "util/FileNames.h"

#include <QFile>

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

} // namespace korimbo
