#pragma once

#include "crypto/CryptEngine.h"
#include "folder/EncryptInPrompts.h"
#include "folder/FolderServices.h"
#include "folder/IncomingFile.h"
#include "folder/IncomingFolder.h"
#include "folder/NameFile.h"
#include "folder/ParkedFiles.h"
#include "platform/AccessCheck.h"
#include "state/FolderRegistry.h"
#include "state/SettingsFile.h"

#include <optional>
#include "state/WorkFolderSettings.h"
#include "util/OpResult.h"

#include <QMultiHash>
#include <QSet>
#include <QString>
#include <QStringList>

#include <functional>

namespace korimbo {

// What is to be encrypted in, and where.
struct EncryptInRequest {
    enum Mode { kCopy = 0, kMove = 1 };
    int mode = kCopy;
    QStringList sources;         // files and folders, in the order the file manager or the clipboard gave them
    QString destination;         // the folder that receives them
    bool folderIncluded = false; // out: a source was a folder
    // The write-back of a working copy: the one source replaces this container of the destination (it
    // keeps its disk name) with no overwrite question, no skip as identical and no working-copy check.
    QString replaceTarget;
};

// Brings files and folders from outside into an encrypted folder: each file becomes one container under a
// fresh name, each folder a plain subdirectory of containers. A container that opens with the folder's key
// is copied unchanged (with the folder's hint written in); one of another password is re-encrypted after
// its password is given. Every entry point (drops, paste, "暗号化する(&U)") ends here.
class CEncryptIn {
public:
    CEncryptIn(const FolderServices& services, EncryptInPrompts& prompts);

    // Hooks of the window: the busy section around the operation; whether a container has a working copy
    // that is open in the decrypted workspace (none until the workspace watches copies); the undo history
    // to clear after the operation.
    std::function<void(bool)> busy;
    std::function<bool(const QString& container)> isOpenInWorkspace;
    std::function<void()> clearUndo;

    // The whole operation with its reports (A316, A644/A645 at the end); a stop counts as failed. Sources
    // already taken in stay in the destination.
    OpResult Run(EncryptInRequest& request);
    // "暗号化する(&U)": the selected plain files of the shown folder are moved aside and encrypted in
    // their place (move mode); declined when the user says no to the question.
    OpResult EncryptPlainFiles(const QStringList& plainFiles, const QString& shownFolder);

    // Files skipped as identical in the last run.
    int SkippedIdentical() const { return m_skippedIdentical; }
    // Sources of a move in the last run that were saved over while they were encrypted: their containers
    // hold what was read, and the sources stay.
    const QStringList& SourcesKeptChanged() const { return m_sourcesKeptChanged; }

private:
    using Step = IntakeStep;
    using enum IntakeStep;

    OpResult Operate(EncryptInRequest& request);
    Step FolderSteps(const QString& source, bool move);
    Step FileSteps(const QString& source, const QString& directory, bool topLevel, bool move);
    const NameEntry* ExistingFor(const QString& name, const QString& directory, bool topLevel, Step& step);
    Step WriteFile(const QString& source, const QString& directory, bool topLevel, bool move, const CIncomingFile& in);
    Step CopyContainer(const QString& source, const QString& target, const QString& name, bool topLevel,
                       qint64 plainSize);
    Step EncryptPlain(const QString& plain, const QString& target, const QString& name, bool topLevel);
    Step MakeDurable(const QString& target);
    Step SettleBatch();
    Step PassBatch();
    // A source a move took in, removed once its container is on disk for good.
    struct MovedSource {
        QString source;
        QString name;
        std::optional<FileIdentity> read; // what was read, when it could be told
        QStringList companions;           // a written-back working copy's ended editors' files
    };
    Step RemoveMoved(const MovedSource& moved);
    Step Settled(const QVector<CContainerBatch::Outcome>& outcomes, const QList<MovedSource>& moved);
    Step RemoveSource(const QString& source, const QString& name, const FileIdentity* read);
    // A source below the work root: a working copy or a staged file.
    bool IsWorkingCopy(const QString& source) const;
    // Wipes the ended editors' companions of a source that went (links are only removed).
    void RemoveCompanions(const QStringList& companions);
    Step SkipSpecial(const QString& source);
    int CopyBytes(const QString& from, const QString& to);
    QString CreationArea() const;
    int Report(int number, const QString& tail, Icon icon = Icon::Error);
    OpResult Fail(int number, const QString& tail, Icon icon = Icon::Error);
    bool Stopped();

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
    IncomingRun m_incoming;
    CIncomingFolder m_folders;

    bool m_overwriteAllFiles = false;
    QSet<QString> m_namesWritten;
    int m_skippedIdentical = 0;
    QStringList m_sourcesKeptChanged;
    QList<MovedSource> m_movedWaiting;    // their containers wait in the batch
    QList<MovedSource> m_movedCommitting; // in the batch being committed
    // The run's destination: its owning root (also the key slot name), the entries of its name file and
    // the containers written so far, and whether the request held a single item.
    QString m_key;
    QString m_destination;
    QList<NameEntry> m_entries;
    QMultiHash<QString, qsizetype> m_byName; // display name -> index into m_entries
    bool m_singleItem = false;
    QString m_replaceTarget;         // disk name of the container a write-back replaces
    ParkedFiles* m_parked = nullptr; // "暗号化する(&U)": the journal of the files moved aside
};

} // namespace korimbo
