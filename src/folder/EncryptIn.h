#pragma once

#include "crypto/CryptEngine.h"
#include "folder/EncryptInPrompts.h"
#include "folder/NameFile.h"
#include "platform/AccessCheck.h"
#include "state/FolderRegistry.h"
#include "state/SettingsFile.h"
#include "state/WorkFolderSettings.h"

#include <QSet>
#include <QString>
#include <QStringList>

#include <functional>

namespace korimbo {

// What is to be encrypted in, and where.
struct EncryptInRequest {
    enum Mode { kCopy = 0, kMove = 1 };
    int mode = kCopy;
    QStringList sources;   // files and folders, in the order the file manager or the clipboard gave them
    QString destination;   // the folder that receives them
    bool folderIncluded = false; // out: a source was a folder
};

// Brings files and folders from outside into an encrypted folder: each file becomes one container under a
// fresh name, each folder a plain subdirectory of containers. A container that opens with the folder's key
// is copied unchanged (with the folder's hint written in); one of another password is re-encrypted after
// its password is given. Every entry point (drops, paste, "暗号化する(&U)") ends here.
class CEncryptIn {
public:
    CEncryptIn(CCryptEngine& engine, FolderRegistry& registry, CNameFile& nameFile, CAccessCheck& access,
               const SettingsRecord& settings, const WorkFolderSettings& workFolder, FileSystem& files,
               Interaction& ui, MessageSource& messages, EncryptInPrompts& prompts);

    // Hooks of the window: the busy section around the operation; whether a container has a working copy
    // that is open in the decrypted workspace (none until the workspace watches copies); the undo history
    // to clear after the operation.
    std::function<void(bool)> busy;
    std::function<bool(const QString& container)> isOpenInWorkspace;
    std::function<void()> clearUndo;

    // The whole operation with its reports (A316, A644/A645 at the end). 0, or -1 (stopped; the message
    // was shown). Sources already taken in stay in the destination.
    int Run(EncryptInRequest& request);
    // "暗号化する(&U)": the selected plain files of the shown folder are moved aside and encrypted in
    // their place (move mode). 0, or -1 (shown).
    int EncryptPlainFiles(const QStringList& plainFiles, const QString& shownFolder);

    // Files skipped as identical in the last run.
    int SkippedIdentical() const { return m_skippedIdentical; }

private:
    CCryptEngine& m_engine;
    FolderRegistry& m_registry;
    CNameFile& m_nameFile;
    CAccessCheck& m_access;
    const SettingsRecord& m_settings;
    const WorkFolderSettings& m_workFolder;
    FileSystem& m_files;
    Interaction& m_ui;
    MessageSource& m_messages;
    EncryptInPrompts& m_prompts;

    bool m_overwriteAllFiles = false;
    bool m_overwriteAllFolders = false;
    bool m_showEncryptedNotice = true;
    QSet<QString> m_namesWritten;
    int m_skippedIdentical = 0;
};

} // namespace korimbo
