#pragma once

#include "crypto/CryptEngine.h"
#include "state/FolderRegistry.h"
#include "state/MessageCatalogue.h"
#include "state/SettingsFile.h"
#include "state/WorkFolderSettings.h"

#include <QString>
#include <QStringList>

#include <memory>

namespace korimbo {

// The application-wide state: the singletons made at start-up that live until exit.
struct AppState {
    QString programFolder;
    QString environmentFolder;
    std::unique_ptr<CMessageCatalogue> catalogue;
    std::unique_ptr<CCryptEngine> engine;
    SettingsRecord settings;
    bool settingsFileExisted = false;
    std::unique_ptr<FolderRegistry> registry;
    std::unique_ptr<WorkFolderSettings> workFolder;
    QStringList newFileTypes;
    bool startupCompleted = false;
};

// The folder names below the program folder.
QString EnvironmentFolderOf(const QString& programFolder);      // ZORp/env
QString DefaultEncryptedFolderOf(const QString& programFolder); // ZORp/暗号フォルダー

} // namespace korimbo
