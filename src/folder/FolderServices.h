#pragma once

#include "crypto/CryptEngine.h"
#include "folder/NameFile.h"
#include "platform/AccessCheck.h"
#include "state/FolderRegistry.h"
#include "state/SettingsFile.h"
#include "state/WorkFolderSettings.h"
#include "util/FileSystem.h"
#include "util/Interaction.h"
#include "util/MessageSource.h"

namespace korimbo {

// What every operation on the folders and the workspace works with, handed over as one.
struct FolderServices {
    CCryptEngine& engine;
    FolderRegistry& registry;
    CNameFile& nameFile;
    CAccessCheck& access;
    SettingsRecord& settings;
    const WorkFolderSettings& workFolder;
    FileSystem& files;
    Interaction& ui;
    MessageSource& messages;
};

} // namespace korimbo
