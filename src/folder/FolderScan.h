#pragma once

#include "crypto/ContainerProbe.h"
#include "crypto/ContainerScan.h"
#include "crypto/CryptEngine.h"
#include "util/FileSystem.h"
#include "util/Interaction.h"
#include "util/MessageSource.h"
#include "util/OpResult.h"

#include <QHash>
#include <QList>
#include <QString>
#include <QStringList>

#include <functional>

namespace korimbo {

class CNameFile;

// One container the scan found not whole, or of another password.
struct ScanFinding {
    enum Kind { kDamaged, kUnreadable, kOtherPassword };
    Kind kind = kDamaged;
    ContainerFault fault = ContainerFault::kNone;
    int error = 0;      // errno of an unreadable file
    QString diskPath;   // the container's path
    QString folder;     // the directory it lies in
    QString diskName;   // its name on disk
    QString storedName; // the plain name: from the name file, else the header; empty when neither says
    QString hint;       // of another password's container

    // The reason in the user's words.
    [[nodiscard]] QString Reason(MessageSource& messages) const;
};

struct FolderScanResult {
    QList<ScanFinding> findings; // damaged and unreadable first, then those of another password
    int checked = 0;             // files checked (plain files included)
    int containers = 0;          // of them, containers (whole, damaged or of another password)
    int total = 0;               // files the scan set out to check
    bool stopped = false;
    QStringList unreadableFolders;
    [[nodiscard]] int Damaged() const;
    [[nodiscard]] int OtherPassword() const { return static_cast<int>(findings.size()) - Damaged(); }
};

// The integrity scan of an encrypted folder tree: every container below a folder decoded as a dry run on
// all processors (CContainerScan), with progress and stop through the Interaction, and the ones not whole
// named by their stored names. Nothing is written, no name file refreshed, and nothing shown per container.
class CFolderScan {
public:
    // `names` may be null (names from the headers only).
    CFolderScan(CCryptEngine& engine, FileSystem& files, Interaction& ui, MessageSource& messages, CNameFile* names);

    void SetWorkers(int workers) { m_workers = workers; }

    // `root` the folder whose tree is scanned, `key` the key slot of its registered folder. kFailed (shown)
    // only when the key is not there; a stopped scan is kDone with `stopped` set.
    [[nodiscard]] OpResult Run(const QString& root, const QString& key, FolderScanResult& result);

private:
    void AddFinding(const ScannedFile& file, const QString& key, FolderScanResult& result);
    QString NameFromNameFile(const QString& directory, const QString& diskName, const QString& key);
    void ShowProgress(int done, int total);

    CCryptEngine& m_engine;
    FileSystem& m_files;
    Interaction& m_ui;
    MessageSource& m_messages;
    CNameFile* m_names;
    int m_workers = 0;
    QHash<QString, QHash<QString, QString>> m_storedNames; // directory -> disk name -> stored name
};

} // namespace korimbo
