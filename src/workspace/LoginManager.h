#pragma once

#include "crypto/CryptEngine.h"
#include "state/FolderRegistry.h"
#include "state/SettingsFile.h"
#include "state/WorkFolderSettings.h"
#include "util/FileSystem.h"
#include "util/Interaction.h"
#include "util/MessageSource.h"
#include "workspace/PasswordPrompts.h"

#include <QString>

#include <functional>

namespace korimbo {

// Login and logout of registered encrypted folders. A folder is logged in while the engine holds a key
// slot named by the folder's path; nothing about logins outlives the process.
class CLoginManager {
public:
    // The catalogue number of the work-area creation failure.
    static constexpr int kMsgWorkAreaFailed = 653;

    CLoginManager(CCryptEngine& engine, FolderRegistry& registry, WorkFolderSettings& workFolder,
                  SettingsRecord& settings, FileSystem& files, Interaction& ui, MessageSource& messages);

    // Asks the folder's password (unless already logged in), enters the key into the engine and makes the
    // folder's work areas. 0, or -1 (cancelled, refused or failed; the message was shown). An unregistered
    // or missing folder gives -1 without a message: the folder tree deals with it.
    int Login(const QString& folder, PasswordPrompts& prompts);
    bool IsLoggedIn(const QString& folder) const;
    // Confirms, erases a read-only folder's working copies and drops the key. 0 also when the folder was
    // not logged in; -1 when the user said no or a step failed.
    int Logout(const QString& folder);

    // Working copies of the folder in its editing area ("Ac"), by the rule of the decrypted-file list.
    bool HasWorkingCopies(const QString& folder) const;
    // Work root / work id / area of a registered folder; empty when it cannot be told.
    QString WorkAreaOf(const QString& folder, const QString& area) const;
    // Wipes and deletes everything in the folder's editing area, keeping the area itself. 0, or -1 (shown).
    int EraseEditingArea(const QString& folder);

    // Hooks of the window. `busy` is called with true and false around the long steps. `confirmLogout`
    // shows the "ログアウト確認" dialog for a writable folder with working copies (0: go on, else stop), and
    // `writeBackAll` then writes all of them back (0, or -1: the folder stays logged in). Without the
    // confirmation hook the plain logout question is asked.
    std::function<void(bool)> busy;
    std::function<int(const QString&)> confirmLogout;
    std::function<int(const QString&)> writeBackAll;
    // Before a read-only folder's copies are erased: -1 (shown) when a program still has one of them.
    std::function<int(const QStringList&)> eraseInUse;

private:
    int MakeWorkAreas(const QString& folder);
    void SetBusy(bool on) const;

    CCryptEngine& m_engine;
    FolderRegistry& m_registry;
    WorkFolderSettings& m_workFolder;
    SettingsRecord& m_settings;
    FileSystem& m_files;
    Interaction& m_ui;
    MessageSource& m_messages;
};

} // namespace korimbo
