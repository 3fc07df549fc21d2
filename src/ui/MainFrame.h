#pragma once

#include "app/Kelpie5App.h"
#include "folder/FolderOperations.h"
#include "folder/NameSearch.h"
#include "folder/UndoHistory.h"
#include "platform/Associations.h"
#include "ui/CommandTable.h"
#include "util/BusySection.h"
#include "util/OpResult.h"

#include <QHash>
#include <QLabel>
#include <QMainWindow>
#include <QPointer>
#include <QTimer>

#include <functional>
#include <memory>

class QAction;
class QMenu;
class QToolButton;

namespace korimbo {

class CLoginManager;
class CNameFile;
class CContentsModel;
class ContentsWatcher;
class CAccessCheck;
class Associations;
class EncryptInPrompts;
class CEncryptIn;
class CWorkingCopies;
class CWorkspaceCommands;
class CDecryptedFileModel;
class EditingAreaWatcher;
class Launcher;
class ProcessProbe;
class Trash;
class PasswordPrompts;
class CTreeV;
class CListV;
class CListV2;
class CUSplitterWnd;
class BusyInputFilter;
class CTakeOut;
class TakeOutPrompts;
struct FolderScanResult;
class CDragOutData;
enum class TakeOutKind;
class CNameSearchWindow;

// The main window: the three panes, the menu bar, toolbar and status bar built from its command table,
// the keyboard among the panes, the busy state, the timers and the orderly shutdown.
class CMainFrame : public QMainWindow {
    Q_OBJECT

public:
    CMainFrame(Ckelpie5App& app, Interaction& ui);
    ~CMainFrame() override;

    // Main-window creation: the state of the application in its order, the panes at their widths,
    // the accelerators, the animation timer. 0, or -1: start-up ends.
    int Create();
    // After the window is shown: the running menu bar, the work areas, the reports, the first start and
    // the automatic login. 0, or -1: the program ends.
    int PostShow();

    // ---- busy sections ----
    void EnterBusy();
    void LeaveBusy();
    bool IsBusy() const { return m_busyDepth > 0; }
    void SetAbortable(bool on);
    bool IsAbortable() const { return m_abortable; }
    bool AbortRequested() const { return m_abortRequested; }
    void SetStatusText(const QString& text, bool nameOnly = false);
    void ClearStatusText() { m_statusText.clear(); }
    QString StatusPaneText() const;
    int AnimationPhase() const { return m_phase; }

    // ---- commands ----
    // Runs a command of the table when its rule allows it.
    void OnCommand(int id);
    void UpdateCommandStates();
    QAction* Action(int id) const { return m_table.Action(id); }
    const CCommandTable& Commands() const { return m_table; }
    // F6 and Shift+F6: the focus goes to the next (previous) of the tree, the contents list and the
    // decrypted-file list that can take it.
    void CyclePanes(bool forward);
    QList<QMenu*> TopMenus() const { return m_topMenus; }
    QToolButton* ToolButton(int id) const;

    // The folder whose directory the contents list shows; empty when none.
    QString CurrentFolder() const { return m_currentFolder; }
    void SetCurrentFolder(const QString& folder) { m_currentFolder = folder; }
    bool InsideClipboardHasItems() const { return m_clipboard.Count() > 0; }
    // Whether the system clipboard holds files, as of its last change, and how often it was read.
    bool ClipboardHasFiles() const { return m_clipboardHasFiles; }
    int ClipboardReads() const { return m_clipboardReads; }

    CTreeV* Tree() const { return m_tree; }
    CListV* List() const { return m_list; }
    CListV2* List2() const { return m_list2; }
    CUSplitterWnd* Splitter() const { return m_splitter; }
    Ckelpie5App& App() { return m_app; }

    // Entry points the registration and login of the folder tree fill in.
    std::function<OpResult(const QString& folder)> registerFolder; // first-start registration
    std::function<void(const QString& folder)> startLogin;    // automatic login of the only folder
    std::function<bool()> confirmWorkingCopiesAtExit;         // false cancels the exit
    bool firstRegistrationWasReadOnly = false;

    // The password dialogs the folder commands ask through (the window's dialogs, or a script in tests).
    void SetPrompts(PasswordPrompts* prompts) { m_prompts = prompts; }
    CLoginManager* Login() const { return m_login.get(); }
    // Registration of a folder with everything that follows it: tree item, selection, login.
    OpResult RegisterAndLogin(const QString& folder, bool fromDrop);
    OpResult LoginFolder(const QString& folder);
    OpResult LogoutFolder(const QString& folder);
    OpResult ReleaseFolder(const QString& folder);
    std::function<void()> showGuidance; // the guidance after the first start's registration

    // ---- the contents list ----
    // The desktop's file types (type names of the list); the window's dialogs answer the encrypt-in
    // questions unless a test hands in its own.
    void SetAssociations(Associations* associations) { m_associations = associations; }
    void SetEncryptPrompts(EncryptInPrompts* prompts) { m_encryptPrompts = prompts; }
    CContentsModel* Contents() const { return m_contents.get(); }
    ContentsWatcher* Watcher() const { return m_watcher; }
    // Lists `directory` in the contents list when its folder is logged in, else clears the list.
    void ShowFolder(const QString& directory);
    // Encrypts files and folders from outside into `destination`. 0, or -1 (shown).
    OpResult EncryptIn(const QString& destination, const QStringList& sources, bool move);
    // Paste: files copied or cut in a file manager are encrypted into the shown folder.
    OpResult PasteFiles();
    // A file of the list is opened (the workspace's open routine plugs in here).
    std::function<void(const QString& container)> openFile;

    // ---- the decrypted workspace ----
    // How programs are started and watched: the desktop's (GIO, /proc, X11) or a test's fakes.
    void SetLauncher(Launcher* launcher, ProcessProbe* processes) {
        m_launcher = launcher;
        m_processes = processes;
    }
    CWorkingCopies* Copies() const { return m_copies.get(); }
    CWorkspaceCommands* WorkspaceCommands() const { return m_commands.get(); }
    CDecryptedFileModel* DecryptedFiles() const { return m_decrypted.get(); }
    EditingAreaWatcher* AreaWatcher() const { return m_areaWatcher; }
    // Opens the selected files of the contents list in their programs (or in `program`).
    OpResult OpenSelected(const QString& program = QString());

    // ---- inside the encrypted folders ----
    // The desktop's trash the deletes go to (a test's own trash folder in tests).
    void SetTrash(Trash* trash) { m_trash = trash; }
    InsideClipboard& Clipboard() { return m_clipboard; }
    CUndoHistory& History() { return m_history; }
    // Cut or copy of the list's selection (or of the tree's directory): the internal clipboard takes them
    // and the system clipboard is emptied. 0, or -1 (shown).
    OpResult TakeItems(const QStringList& items, bool cut, const QString& shownFolder);
    // The inside paste into `destination`. 0, or -1.
    OpResult PasteInside(const QString& destination);
    // Delete of `items` (permanent with `permanent`). 0, 1 (the user said no), or -1.
    OpResult DeleteItems(const QStringList& items, bool permanent);
    // Items dragged inside the program dropped on `destination`.
    OpResult DropInside(const QString& destination, const QStringList& items, bool move);
    // The end of an in-place rename of the list's row `row`. 0, 1 (nothing to do), or -1.
    OpResult RenameRow(int row, const QString& shown, const QString& typed);
    OpResult UndoLast();
    // The undo item's text, status prompt and state, as the menu shows them.
    void UpdateUndoItem();

    // ---- new items and properties ----
    // The desktop's new-file types of this run (collected once at creation) and the texts of their items.
    QStringList NewFileTypes() const { return m_app.State().newFileTypes; }
    QStringList NewFileTypeTexts() const { return m_newFileTypeTexts; }
    // A new folder or a new file of type `index` in the shown folder, whose row then goes into renaming.
    // 0, or -1 (shown).
    OpResult NewFolder();
    OpResult NewFile(int index);
    // "「新規作成」の設定...": the templates folder, where the new-file types come from, in the file manager.
    OpResult OpenNewFileSettings();
    // The single-item dialog for one path, the summary dialog for several.
    OpResult ShowProperties(const QStringList& paths);
    // ---- taking items out ----
    // The window's dialogs answer the take-out unless a test hands in its own.
    void SetTakeOutPrompts(TakeOutPrompts* prompts) { m_takeOutPrompts = prompts; }
    CTakeOut* TakeOut() const { return m_takeOut.get(); }
    // A take-out command on the selection of the contents list. 0, or -1 (cancelled or shown).
    OpResult TakeOutSelected(TakeOutKind kind);
    // The data of a drag out of the contents list (null when the selection's checks refuse it) and the
    // drop actions it allows: copy, and move too for a right-button drag in a writable folder.
    std::unique_ptr<CDragOutData> MakeDragOut(Qt::MouseButton button, Qt::DropActions& allowed);
    // After the drag: the decrypted copies are wiped once no program reads them any longer (a file
    // manager copies after the drop), at the latest before the next take-out.
    void EndDragOut(bool staged);
    void FinishDragOutNow();
    bool DragStagingPending() const { return m_dragStagingPending; }
    void SetDragCleanupDelay(int ms) { m_dragCleanupMs = ms; }

    // Runs the shutdown steps once per process (exit and session end).
    void Shutdown(bool reportFailures);
    // The session manager's question before a logout: asks about the working copies when it may
    // interact. False: the user cancelled, and the session logout is to be cancelled with it.
    bool CommitSessionData(const std::function<bool()>& mayInteract);
    bool IsShutDown() const { return m_shutDown; }
    // A termination signal (logout, system shutdown, kill): the program ends as its window would, with
    // no question; the working copies stay for the next start. Open dialogs close as cancelled, a
    // running operation that can stop is stopped, and the event loops return once it has returned.
    void EndOnSignal();
    bool EndRequested() const { return m_endRequested; }
    bool TimersRunning() const { return m_animationTimer.isActive(); }

protected:
    void closeEvent(QCloseEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void showEvent(QShowEvent* event) override;

private:
    void BuildPanes();
    void BuildMenuBar();
    void BuildToolBar();
    void BuildStatusBar();
    void BuildAccelerators();
    void ApplyInitialWidths();
    void LayoutColumns();
    void OnBarReleased();
    // The watch timer follows the programs started for working copies; the animation timer turns the
    // busy animation and the idle status text and keeps the commands' states current.
    void OnWatchTimer();
    void OnAnimationTimer();
    void ShowPhase(int phase);
    void SetMenusEnabled(bool enabled);
    void RefreshClipboardState();
    // What a selection must be for an item command (see ItemAllowed).
    struct ItemRule {
        bool plainFiles;
        bool folders;
        bool onlyOne;
        enum { kNever, kBelowTop, kAnyItem } tree;
    };
    bool ItemAllowed(const ItemRule& rule) const;
    void BuildCommandTable();
    void BindFolderCommands();
    void BindItemCommands();
    void BindEditCommands();
    void BindViewCommands();
    void BindListPopup();
    void BindOtherPopups();
    void BindNotOffered();
    void OnPopupCommand(int id);
    void OpenCommand();
    void DeleteCommand();
    void CutOrCopyCommand(int id);
    void BuildKeyboard();
    void RunFirstStart();
    void OpenHelp();
    [[nodiscard]] bool OpenWithDesktop(const QString& file);
    void OpenHomePage();
    void ShowVersion();
    void RunSettingsSheet();
    void ToggleCheckSetting(int id);
    void SetViewStyle(int dispMode);
    void WireFolderCommands();
    void WireContents();
    void WireWorkspace();
    void WireWorkspaceCommands();
    void WireInside();
    void OnTreeInsideCommand(int id, const QString& directory);
    void AfterInsideOperation(const CFolderOperations& operations);
    CFolderOperations NewOperations();
    // What the folder and workspace operations work with.
    FolderServices Services();
    void GoToContainer(const QString& workingCopy);
    void OpenRow(int row);
    void UpOneLevel();
    void EncryptPlainSelected();
    void WireNewItems();
    void AddNewItemsMenu(QMenu* parent, bool inMenuBar);
    void FillNewItemsMenu(QMenu& menu);
    void StartRenameOf(const QString& path);
    void WireTakeOut();
    void DragOut(Qt::MouseButton button);
    void DragCleanupTick();
    void OpenFromPopup(int id);
    CEncryptIn NewEncryptIn();
    // Whether a container has a working copy in the editing area (open, or left from an earlier run).
    bool HasWorkingCopy(const QString& container);
    void OnFolderSelected(const QString& directory, const QString& topFolder);
    QString SelectedTopFolder() const;
    void Busy(bool on) { on ? EnterBusy() : LeaveBusy(); }
    [[nodiscard]] BusySection BusyScope() {
        return BusySection([this](bool on) { Busy(on); });
    }
    template <typename Work>
    auto WhileBusy(Work&& work) {
        const BusySection busy = BusyScope();
        return work();
    }

    Ckelpie5App& m_app;
    Interaction& m_ui;
    PasswordPrompts* m_prompts = nullptr;
    std::unique_ptr<CLoginManager> m_login;
    std::unique_ptr<CNameFile> m_nameFile;
    std::unique_ptr<CContentsModel> m_contents;
    std::unique_ptr<CAccessCheck> m_access;
    std::unique_ptr<EncryptInPrompts> m_ownEncryptPrompts;
    EncryptInPrompts* m_encryptPrompts = nullptr;
    Associations* m_associations = nullptr;
    OpenWithList m_programs;        // the programs the last pop-up offered for its file
    QStringList m_newFileTypeTexts; // the items of the new-file types, in the order of the type list
    ContentsWatcher* m_watcher = nullptr;
    std::unique_ptr<CWorkingCopies> m_copies;
    std::unique_ptr<CWorkspaceCommands> m_commands;
    std::unique_ptr<CDecryptedFileModel> m_decrypted;
    EditingAreaWatcher* m_areaWatcher = nullptr;
    std::unique_ptr<CTakeOut> m_takeOut;
    std::unique_ptr<TakeOutPrompts> m_ownTakeOutPrompts;
    TakeOutPrompts* m_takeOutPrompts = nullptr;
    QTimer m_dragCleanup;
    int m_dragCleanupMs = 5000;
    int m_dragCleanupTries = 0;
    bool m_dragStagingPending = false;
    QString m_dragFolder;
    Launcher* m_launcher = nullptr;
    ProcessProbe* m_processes = nullptr;
    CTreeV* m_tree = nullptr;
    CListV* m_list = nullptr;
    CListV2* m_list2 = nullptr;
    CUSplitterWnd* m_splitter = nullptr;
    QLabel* m_statusLabel = nullptr;
    QLabel* m_busyIcon = nullptr;
    CCommandTable m_table{CommandOwner::kMainWindow};
    QString m_treePopupPath; // the directory of the tree's item whose pop-up runs
    QList<QMenu*> m_topMenus;
    QTimer m_watchTimer;
    QTimer m_animationTimer;
    BusyInputFilter* m_inputFilter = nullptr;

    int m_busyDepth = 0;
    bool m_animating = false;
    int m_phase = 0;
    int m_ticks = 0;
    bool m_abortable = false;
    bool m_abortRequested = false;
    QString m_statusText;
    QString m_lastSummary;
    QString m_currentFolder;
    InsideClipboard m_clipboard;
    CUndoHistory m_history;
    Trash* m_trash = nullptr;
    bool m_permanentDelete = false; // Shift+Delete
    bool m_clipboardHasFiles = false;
    int m_clipboardReads = 0;
    int m_timerDepth = 0;
    bool m_stop = false;
    bool m_shutDown = false;
    bool m_endRequested = false;
    bool m_shownOnce = false;

    // Registration by a folder chooser, the plain-file check and the hint window (MainFrameTools.cpp).
    void BindToolCommands();
    void RegisterChosenFolder();
    void CheckPlainFiles();
    void ShowHintWindow();
    // ---- backup of a folder ----
    void BindBackupCommands();
    // The chooser of the backup's destination; empty when cancelled.
    QString ChooseBackupDestination();
    OpResult BackupFolder(const QString& folder);
    void ShowImportBackupNotice();
    // The integrity scan of the selected folder tree (MainFrameScan.cpp).
    void BindScanCommands();
    [[nodiscard]] bool ScanAllowed() const;
    OpResult IntegrityScan();
    void ShowScanResult(const FolderScanResult& result);
    // ---- the search by plain name (MainFrameSearch.cpp) ----
    void BindSearch();
    // Ctrl+F: the index of the tree's logged-in folder is built (busy, stoppable) and the window shown.
    void OpenNameSearch();
    // The names of `folders` read (busy, stoppable); a stop is reported. kDone, or what ended it.
    OpResult BuildSearchNames(const QStringList& folders);
    QStringList LoggedInFolders() const;
    // The chosen item is selected in the tree and the contents list.
    void SelectSearchHit(const NameHit& hit);
    // A folder logged out or released: its names are forgotten and its rows leave the window.
    void ForgetSearchOf(const QString& folder);
    std::unique_ptr<CNameSearch> m_nameSearch;
    QPointer<CNameSearchWindow> m_searchWindow;

public:
    CNameSearchWindow* SearchWindow() const;
    CNameSearch* NameSearch() const { return m_nameSearch.get(); }
};

} // namespace korimbo
