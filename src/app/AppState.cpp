#include "app/AppState.h"

namespace korimbo {

QString EnvironmentFolderOf(const QString& programFolder) {
    return programFolder + QStringLiteral("/ZORp/env");
}

QString DefaultEncryptedFolderOf(const QString& programFolder) {
    return programFolder + QStringLiteral("/ZORp/暗号フォルダー");
}

} // namespace korimbo
