#pragma once

#include "crypto/CryptEngine.h"
#include "folder/FolderServices.h"
#include "folder/NameFile.h"
#include "platform/Launcher.h"
#include "state/FolderRegistry.h"
#include "state/SettingsFile.h"
#include "state/WorkFolderSettings.h"
#include "util/FileCopy.h"
#include "util/OpResult.h"
#include "workspace/PasswordPrompts.h"
#include "workspace/TakeOutAreas.h"
#include "workspace/TakeOutCopy.h"
#include "workspace/WorkingCopies.h"

#include <QHash>
#include <QList>
#include <QString>
#include <QStringList>

#include <functional>

namespace korimbo {

class CTakeOut;

// The six ways of taking items out; the command decides the kind.
enum class TakeOutKind {
    kDecrypted = 1,       // decrypted copies
    kEncrypted = 2,       // copies of the containers
    kNewPassword = 3,     // containers encrypted again under another password
    kMail = 4,            // decrypted copies, drag only
    kMailNewPassword = 5, // containers under another password, drag only
    kAsTheyAre = 6,       // plain files of the folder, where they lie
};

// One item of the take-out: where it lies in the folder, where it waits for the window, and what became of it.
struct TakeOutItem {
    QString source;
    QString staged;
    bool folder = false;
    QString result;
};

// What the take-out window shows.
struct TakeOutWindowRequest {
    TakeOutKind kind = TakeOutKind::kDecrypted;
    QString title;
    QString hint;          // kinds 4 and 5: the line under the title
    bool dragOnly = false; // kinds 4 and 5: no copy or move buttons
    QList<TakeOutItem> items;
};

// The dialogs of taking out. The window answers them with its dialogs, tests from a script.
class TakeOutPrompts {
public:
    // How the take-out window was left.
    enum class WindowResult { kCancelled, kDragged, kCopied, kMoved };
    // The new password of kinds 3 and 5.
    struct NewPassword {
        QString password;
        QString hint;
        QString name;            // identification name: the registered entry, or the one typed with the password
        bool registered = false; // chosen from the registered change passwords
    };
    // The check OK runs on a typed password and hint: true lets the dialog close; false keeps it open (the
    // refusal was shown).
    using PasswordCheck = std::function<bool(const QString& password, const QString& hint)>;

    virtual ~TakeOutPrompts() = default;
    // "暗号化したまま取り出し": false for Cancel. `nameAfterPlain` is the naming check box, in and out.
    virtual bool AskEncryptedTakeOut(bool& nameAfterPlain) = 0;
    // "暗号化のパスワード変更" over the registered change passwords; false for Cancel.
    virtual bool AskNewPassword(const QList<ChangePasswordText>& registered, bool& nameAfterPlain, NewPassword& chosen,
                                const PasswordCheck& check) = 0;
    // The modal take-out window; its copy and move go through `takeOut`.
    virtual WindowResult ShowTakeOutWindow(const TakeOutWindowRequest& request, CTakeOut& takeOut) = 0;
};

// Taking items of the shown encrypted folder out: the checks every kind shares, staging (decrypted copies
// in the folder's take-out area "To", containers in its export folder "Re"), the take-out window, copy or
// move of the staged items to a folder, and the drag of the contents list. Staged plaintext is wiped when
// the command ends, also after a failure half-way. Headless: dialogs through TakeOutPrompts, messages
// through Interaction.
class CTakeOut {
public:
    // The refusal of a move target inside the shown folder (a fixed text of the take-out window).
    static QString MoveRefusedText();

    CTakeOut(CWorkingCopies& copies, const FolderServices& services, TakeOutPrompts& prompts);

    // Hooks of the window.
    std::function<void(bool)> busy;        // around a command
    std::function<void()> refreshContents; // the contents list after every kind
    // The change passwords registered by the administrator (kinds 3 and 5); none without the hook.
    std::function<QList<ChangePasswordText>()> changePasswords;
    // Copy and move to a place: bytes done of the total; false stops the copy (the user's Cancel).
    std::function<bool(qint64 done, qint64 total)> progress;

    // A command: `selection` are items of the shown folder (containers and folders; plain files for kind
    // 6). A cancel counts as failed. Nothing staged stays behind.
    OpResult Run(TakeOutKind kind, const QStringList& selection);

    // The checks every kind runs before it stages: a missing item (A120), items open in the decrypted
    // workspace (A84, or the release question), the room for decrypted copies (A122 when `decrypting`).
    // `mayAsk` false (the drop of a drag) refuses open items instead of asking.
    OpResult CheckSelection(const QStringList& selection, bool mayAsk, bool decrypting);

    // ---- the drag of the contents list ----
    // The files a drop target gets: with `decrypt` the selection decrypted into the take-out area (plain
    // files as they are), else the items themselves. Runs the checks again without questions.
    OpResult PrepareDragFiles(const QStringList& selection, bool decrypt, QStringList& paths);
    // After the drag: the decrypted copies are wiped.
    OpResult FinishDrag(const QString& shownFolder);

    // ---- the take-out window ----
    // A move into the shown encrypted folder is refused: the staged items would end up plain inside it.
    bool MoveTargetRefused(const QString& target) const;
    // Copies (or moves) the staged items into `target`, asking before an existing file is replaced.
    // Declined when the move target was refused (the fixed text was shown; the window stays); a stop
    // counts as failed.
    OpResult CopyOut(const QStringList& staged, const QString& target, bool move);

    // The typed password of kinds 3 and 5: 8 to 32 characters of the password rules (A484 + range + A485,
    // A513), a hint of at most 48 characters that is not the password (A515/A516, A593). False when refused (shown).
    bool CheckNewPassword(const QString& password, const QString& hint);

    // The folder's take-out area and export folder; empty when the folder is not registered.
    QString TakeOutArea(const QString& root) const { return m_areas.TakeOutArea(root); }
    QString ExportFolder(const QString& root) const { return m_areas.ExportFolder(root); }
    // The items of the running (or last) command.
    const QList<TakeOutItem>& Items() const { return m_items; }
    // The root of the folder the running command takes items out of.
    const QString& Root() const { return m_root; }

private:
    int RunKind(TakeOutKind kind, const QStringList& selection);
    int StageDecryptedItems(const QStringList& selection, bool plainToo);
    int StageDecrypted(const QString& item, bool plainToo, QString& staged);
    int StageFolder(const QString& folder, const QString& target, bool plainToo);
    int StageEncrypted(const QStringList& selection, bool nameAfterPlain);
    int ExportFolderTree(const QString& folder, const QString& target, bool nameAfterPlain);
    int ExportContainer(const QString& container, const QString& targetFolder, const QString& plainName,
                        bool nameAfterPlain, QString& staged);
    int StageNewPassword(const QStringList& selection, bool nameAfterPlain, const TakeOutPrompts::NewPassword& key);
    int EncryptTree(const QString& plain, const QString& target, bool nameAfterPlain);
    int EncryptOne(const QString& plain, const QString& targetFolder, bool nameAfterPlain, QString& staged);
    int MakeExportFolder(const QString& folder, const QString& target);
    void SetExportMode(const QString& staged);
    int StagePlainFiles(const QStringList& selection);
    int ShowWindow(TakeOutKind kind);
    int PrepareExportFolder();
    // Removes what the command staged: the take-out area's copies wiped, the export folder deleted, plain
    // files of kind 6 made read-only again. 0, or -1 (shown).
    int Cleanup();

    // The containers below `folder` (its subfolders included), as the name files list them.
    // A720 and A721 for what the selection holds that is left as it is.
    void ReportLeftBehind();
    // The entries of a folder of the selection that are real files and folders, from its name file.
    int PlainEntriesOf(const QString& folder, QList<NameEntry>& entries);
    int CollectContainers(const QString& folder, QList<QPair<QString, NameEntry>>& containers);
    CopyOptions StagingCopy(TempKind temp);
    QString RelativeDirectory(const QString& path) const; // "" or "/sub/dir" of the path's directory
    int Report(int number, const QString& tail, Icon icon = Icon::Error);
    OpResult Fail(int number, const QString& tail, Icon icon = Icon::Error);

    CWorkingCopies& m_copies;
    CCryptEngine& m_engine;
    FolderRegistry& m_registry;
    CNameFile& m_nameFile;
    SettingsRecord& m_settings;
    const WorkFolderSettings& m_workFolder;
    FileSystem& m_files;
    Interaction& m_ui;
    MessageSource& m_messages;
    TakeOutPrompts& m_prompts;
    CTakeOutAreas m_areas;

    QString m_root; // the owning encrypted folder of the selection
    QList<TakeOutItem> m_items;
    QHash<QString, QString> m_containerOf; // decrypted copy -> its container
    QStringList m_madeWritable;            // kind 6: plain files whose read-only attribute comes back
    QStringList m_leftAsTheyAre;
    QStringList m_unreadable; // folders of the selection that could not be read         // links and special files of
                              // the selection, never opened
    bool m_stagedDecrypted = false;
    bool m_stagedExport = false;
};

} // namespace korimbo
