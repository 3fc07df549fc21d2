#pragma once

#include "app/AppState.h"
#include "platform/UserFolders.h"
#include "platform/Volumes.h"
#include "util/FileSystem.h"
#include "util/Interaction.h"
#include "util/OpResult.h"
#include "workspace/PasswordManager.h"

#include <QLockFile>
#include <QSize>
#include <QString>

#include <memory>
#include <optional>

namespace korimbo {

// The application object: the start-up checks, the loading of the persistent state in its order, the
// work-area housekeeping around a run and the saves at the end. It knows no window; the main window
// calls it at each step of its own creation, show and destruction.
class Ckelpie5App {
public:
    struct Services {
        Interaction& ui;
        FileSystem& files;
        Volumes& volumes;
        UserFolders& userFolders;
    };

    Ckelpie5App(const QString& programFolder, Services services);
    virtual ~Ckelpie5App();
    Ckelpie5App(const Ckelpie5App&) = delete;
    Ckelpie5App& operator=(const Ckelpie5App&) = delete;

    // Application initialisation before any window: single instance per program folder, drive check,
    // write probe "zortestf151", early settings read. False: the process ends (the message was shown).
    bool InitInstance();
    // From the early settings read: start maximised, and the window size (775 x 520 without a file).
    bool StartMaximized() const { return m_startMaximized; }
    QSize InitialWindowSize() const { return m_initialSize; }

    // The state steps of main-window creation, in order: key slots reset, catalogue A then B (B8 must
    // not be empty), built-in key, environment folder (created level by level; A142), settings file
    // (A549, version check A592), folder registry, work folder settings. Unless done, start-up ends.
    OpResult CreateState();
    void SetStartupCompleted() { m_state.startupCompleted = true; }

    // After the window is shown and at exit: put back the user's files a cut-short "暗号化する(&U)" left in
    // "Ce" (A660 for those that cannot go back; they stay), remove the engine's temporary files a crash
    // left in any work area of every registered folder (plaintext ones wiped), and wipe "Ce" (A201), "To"
    // and "Re" (A634). Then,
    // at start-up, report the folders whose "Ac" still holds working copies (A143 + the paths, each
    // followed by "\r\n").
    void EmptyTemporaryWorkAreas(bool report);
    // When this run keeps its plaintext apart from the work root, what an earlier run left in the work
    // root's own areas comes over: working copies move to this run's "Ac" (and are offered back like any
    // left there), parked files go home, the rest is wiped.
    void BringOverEarlierPlainAreas();
    // The same for one registered folder: its parked files back home, its take-out, export and creation
    // areas wiped (at release, nothing sweeps them again).
    void EmptyTemporaryAreasOf(int slot, bool report);
    void ReportLeftWorkingCopies();
    // The files below `from` moved to the same places below `to`, each wiped where it was once its copy is
    // complete; one already there by that name stays where it was.
    void MoveCopiesOver(const QString& from, const QString& to);
    // Post-show steps 4 and 5: which of them applies now.
    bool NeedsFirstStartRegistration() const;
    QString SingleFolderForLogin() const; // empty unless exactly one folder is registered

    // At window destruction, only when start-up completed: settings (A154, hidden on success), then the
    // work folder settings (A155).
    void SaveAtShutdown(bool maximized);

    QString ProgramFolder() const { return m_state.programFolder; }
    QString EnvironmentFolder() const { return m_state.environmentFolder; }
    QString StandardWorkFolder() const;
    QString DefaultEncryptedFolder() const;
    // The private folder in the runtime folder that takes the plaintext areas of a program folder whose
    // work root cannot keep them private.
    static QString PrivatePlainRoot(const QString& programFolder);
    // Work root / work id / area for registry slot `slot` (the plaintext areas below the plaintext root).
    QString WorkAreaOf(int slot, const QString& area) const;

    // The password commands and checks over this run's engine and environment folder; after CreateState.
    CPasswordManager Passwords();

    AppState& State() { return m_state; }
    Services& Svc() { return m_services; }

protected:
    // The write probe's two steps; a test can make them fail where permissions cannot.
    virtual SysResult MakeProbeFolder(const QString& path);
    virtual SysResult RemoveProbeFolder(const QString& path);
    // The lock file that keeps a second copy from the same program folder out.
    static QString InstanceLockPath(const QString& programFolder);

private:
    // The runtime folder's name for this program folder (without suffix).
    static QString RuntimeNameOf(const QString& programFolder);
    // Whether the work root may hold plaintext: chosen by the user, or on a fixed volume with owners.
    bool WorkRootKeepsPlainText() const;
    // Sets the work folder's plainRoot for this run (A780 when the private folder cannot be made).
    void ChoosePlainRoot();
    bool AcquireSingleInstance();
    bool CheckDrive();
    bool ProbeWrite();
    void ReadEarlySettings();
    int EnsureEnvironmentFolder();
    // Deletes (`wipe`: overwrites, then deletes) everything below `folder` but the paths in `keep`,
    // keeping the folder itself; false when anything else stayed.
    bool EmptyFolder(const QString& folder, bool wipe, const QStringList& keep);
    QStringList PutBackParkedFiles(const QString& area, bool report);
    void RemoveLeftoverTemporaries(const QString& area);

    Services m_services;
    AppState m_state;
    std::unique_ptr<QLockFile> m_instanceLock;
    // The settings as the early read found them, taken over by CreateState so the file is read once.
    std::optional<SettingsRecord> m_earlySettings;
    bool m_startMaximized = false;
    bool m_savedAtShutdown = false;
    QSize m_initialSize{775, 520};
};

} // namespace korimbo
