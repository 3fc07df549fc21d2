#include "platform/UserFolders.h"

#include <QStandardPaths>

namespace korimbo {

// writableLocation is empty when the location cannot be determined.
QString LocalUserFolders::Documents() {
    return QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation);
}

QString LocalUserFolders::Desktop() {
    return QStandardPaths::writableLocation(QStandardPaths::DesktopLocation);
}

QString LocalUserFolders::Templates() {
    return QStandardPaths::writableLocation(QStandardPaths::TemplatesLocation);
}

} // namespace korimbo
