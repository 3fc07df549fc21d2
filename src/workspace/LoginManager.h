#pragma once

#include "crypto/CryptEngine.h"
#include "state/FolderRegistry.h"
#include "state/SettingsFile.h"
#include "state/WorkFolderSettings.h"
#include "util/FileSystem.h"
#include "util/Interaction.h"
#include "util/MessageSource.h"
#include "util/OpResult.h"
#include "workspace/PasswordPrompts.h"

#include <QString>

#include <functional>

namespace korimbo {

// Login and logout of registered encrypted folders. A folder is logged in while the engine holds a key
// slot named by the folder's path; nothing about logins outlives the process.
class CLoginManager {
public:
    CLoginManager(CCryptEngine& engine, FolderRegistry& registry, WorkFolderSettings& workFolder,
                  SettingsRecord& settings, FileSystem& files, Interaction& ui, MessageSource& messages);

    // Asks the folder's password (unless already logged in), enters the key into the engine and makes the
    // folder's work areas. Declined when the prompt was cancelled. An unregistered or missing folder fails
    // without a message: the folder tree deals with it.
    OpResult Login(const QString& folder, PasswordPrompts& prompts);
    bool IsLoggedIn(const QString& folder) const;
    // Confirms, erases a read-only folder's working copies and drops the key. Done also when the folder was
    // not logged in; declined when the user said no.
    OpResult Logout(const QString& folder);

    // Working copies of the folder in its editing area ("Ac"), by the rule of the decrypted-file list.
    bool HasWorkingCopies(const QString& folder) const;
    // Work root / work id / area of a registered folder; empty when it cannot be told.
    QString WorkAreaOf(const QString& folder, const QString& area) const;
    // Wipes and deletes everything in the folder's editing area, keeping the area itself.
    OpResult EraseEditingArea(const QString& folder);

    // Hooks of the window. `busy` is called with true and false around the long steps. `confirmLogout`
    // shows the "ログアウト確認" dialog for a writable folder with working copies (true: go on), and
    // `writeBackAll` then writes all of them back (unless done, the folder stays logged in). Without the
    // confirmation hook the plain logout question is asked.
    std::function<void(bool)> busy;
    std::function<bool(const QString&)> confirmLogout;
    std::function<OpResult(const QString&)> writeBackAll;
    // Before a read-only folder's copies are erased: true (shown) when a program still has one of them.
    std::function<bool(const QStringList&)> eraseInUse;

private:
    OpResult MakeWorkAreas(const QString& folder);
    OpResult Fail(int number, const QString& tail, Icon icon);

    CCryptEngine& m_engine;
    FolderRegistry& m_registry;
    WorkFolderSettings& m_workFolder;
    SettingsRecord& m_settings;
    FileSystem& m_files;
    Interaction& m_ui;
    MessageSource& m_messages;
};

} // namespace korimbo
