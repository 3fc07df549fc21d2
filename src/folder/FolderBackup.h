#pragma once

#include "crypto/CryptEngine.h"
#include "util/FileSystem.h"
#include "util/Interaction.h"
#include "util/MessageSource.h"
#include "util/OpResult.h"

#include <QString>
#include <QStringList>

#include <functional>

namespace korimbo {

// What one backup did, for its closing message and for the tests.
struct BackupCounts {
    int copied = 0;        // containers copied and verified at the destination
    int unchanged = 0;     // containers the destination already held as they are
    int notContainers = 0; // files that are no container of the folder's key: never carried
    int rejected = 0;      // copies that failed their verification and were removed again
};

// The backup of one registered encrypted folder below a destination the user chose: its containers and
// its directories go to "<destination>/<the folder's own name>". Only containers of the folder's key are
// carried (a plain file in the folder would put plaintext on the other disk); the name files are not,
// since they live in the work area and are rebuilt from the container headers when the backup is
// registered as a folder with the same password. A second backup into the same place copies only what is
// new or changed, and it never deletes: a container removed from the folder stays in the backup.
// Every copy is written beside its target, verified there with the folder's key, and only then renamed
// into place, so a stop, a failure or a damaged copy never replaces a good one.
class CFolderBackup {
public:
    CFolderBackup(CCryptEngine& engine, FileSystem& files, Interaction& ui, MessageSource& messages);

    // Holds the window busy while files are copied.
    std::function<void(bool on)> busy;

    // The folder `root` (its key entered under its path) into `destination`. kDone with the closing
    // message shown, kDeclined when the user stopped it, kFailed (shown).
    [[nodiscard]] OpResult Run(const QString& root, const QString& destination);

    // Where a backup of `root` into `destination` goes.
    [[nodiscard]] static QString TargetOf(const QString& root, const QString& destination);

    const BackupCounts& Counts() const { return m_counts; }

private:
    enum class Step { Done, Failed, Stopped };

    [[nodiscard]] bool PlacementAllowed(const QString& root, const QString& target);
    Step CopyAll(const QString& root, const QString& target);
    Step Collect(const QString& root, QStringList& folders, QStringList& files);
    Step MakeFolders(const QString& root, const QString& target, const QStringList& folders);
    Step CarryFile(const QString& from, const QString& to);
    [[nodiscard]] bool IsContainerOfKey(const QString& path);
    [[nodiscard]] bool SameCopy(const QString& from, const QString& to);
    Step CopyVerified(const QString& from, const QString& to);
    [[nodiscard]] bool Verified(const QString& from, const QString& copy);
    [[nodiscard]] bool SameBytes(const QString& first, const QString& second);
    Step CopyFailed(const QString& path, int error);
    void ShowSummary();
    Step Stop();

    CCryptEngine& m_engine;
    FileSystem& m_files;
    Interaction& m_ui;
    MessageSource& m_messages;
    QString m_key;
    BackupCounts m_counts;
};

} // namespace korimbo
