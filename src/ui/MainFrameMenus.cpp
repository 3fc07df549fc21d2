// The main window's menu bar, toolbar and accelerators, built from the command table, and the rules and
// work of the table's rows.
#include "folder/ContentsModel.h"
#include "ui/DialogPrompts.h"
#include "ui/KankyoSet.h"
#include "ui/ListV.h"
#include "ui/ListV2.h"
#include "ui/TakeOutDialogs.h"
#include "ui/MainFrame.h"
#include "ui/OwnIcons.h"
#include "ui/TreeV.h"
#include "ui/VersionDialog.h"
#include "util/BusySection.h"
#include "workspace/DecryptedFileModel.h"
#include "workspace/TakeOut.h"
#include "workspace/WorkingCopies.h"
#include "workspace/WorkspaceCommands.h"

#include <QAction>
#include <QClipboard>
#include <QDesktopServices>
#include <QFileInfo>
#include <QGuiApplication>
#include <QMenuBar>
#include <QMimeData>
#include <QShortcut>
#include <QTimer>
#include <QToolBar>
#include <QToolButton>
#include <QUrl>

namespace korimbo {

namespace {

bool HoldsFiles(const QMimeData* data) {
    if (!data)
        return false;
    if (data->hasFormat(QStringLiteral("x-special/gnome-copied-files")) ||
        data->hasFormat(QStringLiteral("x-special/mate-copied-files")))
        return true;
    for (const QUrl& url : data->urls())
        if (url.isLocalFile())
            return true;
    return false;
}

bool Always() {
    return true;
}

} // namespace

// ---- the table ----

void CMainFrame::BuildCommandTable() {
    if (!m_table.Actions().isEmpty())
        return;
    m_table.isBusy = [this] { return IsBusy(); };
    m_table.focusHolds = [this](FocusRule rule) {
        switch (rule) {
        case FocusRule::kListOrTree:
            return m_list->hasFocus() || m_tree->hasFocus();
        case FocusRule::kNotList:
            return !m_list->hasFocus();
        case FocusRule::kAnywhere:
            break;
        }
        return true;
    };
    BindFolderCommands();
    BindItemCommands();
    BindEditCommands();
    BindViewCommands();
    BindListPopup();
    BindOtherPopups();
    BindToolCommands();
    BindNotOffered();
    BindBackupCommands();
    BindScanCommands();
    BindSearch();
    m_table.MakeActions(this, [this](int id) { OnCommand(id); });
}

void CMainFrame::BindFolderCommands() {
    const auto folderChosen = [this](bool loggedIn) {
        return !m_abortable && m_tree->KindUnderMouseOrCurrent() != CTreeV::ItemKind::None &&
               m_currentFolder.isEmpty() != loggedIn;
    };
    m_table.Bind(
        cmd::Login, [folderChosen] { return folderChosen(false); },
        [this](int) { static_cast<void>(LoginFolder(SelectedTopFolder())); });
    m_table.Bind(
        cmd::Logout, [folderChosen] { return folderChosen(true); },
        [this](int) { static_cast<void>(LogoutFolder(SelectedTopFolder())); });
    m_table.Bind(
        cmd::ReleaseFolder, [this] { return m_tree->KindUnderMouseOrCurrent() == CTreeV::ItemKind::TopFolder; },
        [this](int) { static_cast<void>(ReleaseFolder(SelectedTopFolder())); });
    m_table.Bind(cmd::Exit, Always, [this](int) { close(); });
    m_table.Bind(cmd::Settings, Always, [this](int) { RunSettingsSheet(); });
    m_table.Bind(cmd::Help, Always, [this](int) { OpenHelp(); });
    m_table.Bind(cmd::HomePage, Always, [this](int) { OpenHomePage(); });
    m_table.Bind(cmd::Version, Always, [this](int) { ShowVersion(); });
    m_table.Bind(cmd::Stop, [this] { return m_abortable; }, [this](int) { m_abortRequested = true; });
    m_table.Bind(
        cmd::WriteBackAll, [this] { return !m_abortable && m_list2->RowCount() > 0; },
        [this](int) {
            if (m_commands && m_decrypted)
                static_cast<void>(m_commands->WriteBackAll(m_decrypted->Folder(), true));
        });
    m_table.Bind(cmd::AdminPassword, Always, [this](int) {
        CDialogPrompts prompts(this, m_app);
        static_cast<void>(m_app.Passwords().RunAdminPasswordCommand(prompts));
    });
    m_table.Bind(cmd::ChangePasswords, Always, [this](int) {
        CDialogPrompts prompts(this, m_app);
        static_cast<void>(m_app.Passwords().RunChangePasswordsCommand(prompts));
    });
}

// What the selection of the list (or the tree's item) allows an item command: commands on containers refuse
// plain files, some refuse folders, the properties take one item; in the tree only some apply.
bool CMainFrame::ItemAllowed(const ItemRule& rule) const {
    if (m_list->hasFocus()) {
        const int selected = m_list->SelectedCount();
        if (selected == 0 || (!rule.plainFiles && m_list->SelectionHasPlainFile()) ||
            (!rule.folders && m_list->SelectionHasDirectory()))
            return false;
        return !rule.onlyOne || selected == 1;
    }
    const CTreeV::ItemKind kind = m_tree->KindUnderMouseOrCurrent();
    switch (rule.tree) {
    case ItemRule::kAnyItem:
        return kind != CTreeV::ItemKind::None;
    case ItemRule::kBelowTop:
        return kind == CTreeV::ItemKind::Below;
    case ItemRule::kNever:
        break;
    }
    return false;
}

void CMainFrame::BindItemCommands() {
    const auto rule = [this](ItemRule itemRule) { return [this, itemRule] { return ItemAllowed(itemRule); }; };
    const ItemRule containers{false, true, false, ItemRule::kNever};
    const ItemRule filesOnly{false, false, false, ItemRule::kNever};
    m_table.Bind(cmd::Open, rule(filesOnly), [this](int) { OpenCommand(); });
    m_table.Bind(cmd::OpenByEnter, Always, [this](int) { OpenCommand(); });
    const auto takeOut = [this](int id) {
        if (m_list->hasFocus())
            static_cast<void>(TakeOutSelected(TakeOutKindOf(id)));
    };
    const auto takeOutFromPopup = [this](int id) { static_cast<void>(TakeOutSelected(TakeOutKindOf(id))); };
    for (int id : {cmd::TakeOut, cmd::TakeOutEncrypted, cmd::TakeOutWithOtherPassword, cmd::AttachToMail,
                   cmd::AttachWithNewPassword}) {
        const bool mail = id == cmd::AttachToMail || id == cmd::AttachWithNewPassword;
        m_table.Bind(id, rule(mail ? filesOnly : containers), takeOut);
        m_table.BindPopup(id, takeOutFromPopup);
    }
    m_table.Bind(cmd::DecryptOnly, rule(containers), [this](int) {
        if (m_copies && m_list->hasFocus()) {
            const BusySection busy = BusyScope();
            static_cast<void>(m_copies->DecryptOnly(m_list->SelectedPaths()));
        }
    });
    m_table.Bind(cmd::Rename, rule(containers), [this](int) {
        if (m_list->hasFocus() && m_list->SelectedCount() > 0)
            m_list->BeginRename(m_list->SelectedRows().first());
    });
    m_table.Bind(cmd::Delete, rule({true, true, false, ItemRule::kBelowTop}), [this](int) { DeleteCommand(); });
    const ItemRule cutOrCopy{false, true, false, ItemRule::kBelowTop};
    m_table.Bind(cmd::InsideCut, rule(cutOrCopy), [this](int id) { CutOrCopyCommand(id); });
    m_table.Bind(cmd::InsideCopy, rule(cutOrCopy), [this](int id) { CutOrCopyCommand(id); });
    m_table.Bind(cmd::Properties, rule({true, true, true, ItemRule::kAnyItem}), [this](int) {
        if (m_list->hasFocus())
            static_cast<void>(ShowProperties(m_list->SelectedPaths()));
        else if (QTreeWidgetItem* item = m_tree->ItemUnderMouseOrCurrent())
            static_cast<void>(ShowProperties({CTreeV::PathOf(item)}));
    });
    m_table.BindPopup(cmd::Properties, [this](int) { static_cast<void>(ShowProperties(m_list->SelectedPaths())); });
}

// A single folder is entered; files go to their programs.
void CMainFrame::OpenCommand() {
    if (m_list->hasFocus() && m_list->SelectedCount() == 1 && m_list->SelectionHasDirectory())
        OpenRow(m_list->SelectedRows().first());
    else if (m_list->hasFocus())
        static_cast<void>(OpenSelected());
}

void CMainFrame::DeleteCommand() {
    // Shift held as the command starts makes the delete permanent.
    const bool permanent = m_permanentDelete || (QGuiApplication::keyboardModifiers() & Qt::ShiftModifier);
    if (m_list->hasFocus())
        static_cast<void>(DeleteItems(m_list->SelectedPaths(), permanent));
    else if (m_tree->hasFocus())
        static_cast<void>(DeleteItems({CTreeV::PathOf(m_tree->ItemUnderMouseOrCurrent())}, permanent));
}

void CMainFrame::CutOrCopyCommand(int id) {
    if (m_list->hasFocus())
        static_cast<void>(TakeItems(m_list->SelectedPaths(), id == cmd::InsideCut, m_currentFolder));
    else if (m_tree->hasFocus())
        OnTreeInsideCommand(id == cmd::InsideCut ? cmd::TreeCut : cmd::TreeCopy,
                            CTreeV::PathOf(m_tree->ItemUnderMouseOrCurrent()));
}

void CMainFrame::BindEditCommands() {
    const auto hasFolder = [this] { return !m_currentFolder.isEmpty(); };
    m_table.Bind(
        cmd::Undo, [this] { return m_history.Count() > 0; }, [this](int) { static_cast<void>(UndoLast()); });
    m_table.Bind(
        cmd::Paste, [this] { return InsideClipboardHasItems() || (m_clipboardHasFiles && !m_currentFolder.isEmpty()); },
        [this](int) {
            if (InsideClipboardHasItems())
                static_cast<void>(PasteInside(m_currentFolder));
            else
                static_cast<void>(PasteFiles());
        });
    m_table.Bind(cmd::SelectAll, hasFolder, [this](int) { m_list->SelectAll(); });
    m_table.Bind(cmd::NewFolder, hasFolder, [this](int) { static_cast<void>(NewFolder()); });
    m_table.Bind(cmd::NewFileFirst, hasFolder, [this](int id) { static_cast<void>(NewFile(id - cmd::NewFileFirst)); });
    m_table.Bind(cmd::NewFileSettings, Always, [this](int) { static_cast<void>(OpenNewFileSettings()); });
}

void CMainFrame::BindViewCommands() {
    const auto hasFolder = [this] { return !m_currentFolder.isEmpty(); };
    const auto settings = [this]() -> const SettingsRecord& { return m_app.State().settings; };
    m_table.Bind(
        cmd::UpOneLevel,
        [this] {
            if (m_abortable || m_currentFolder.isEmpty())
                return false;
            const FolderRegistry* registry = m_app.State().registry.get();
            return !registry || registry->SlotOf(m_currentFolder) < 0; // not already the top of its folder
        },
        [this](int) { UpOneLevel(); });
    m_table.Bind(cmd::Refresh, Always, [this](int) { ShowFolder(m_currentFolder); });
    m_table.Bind(
        cmd::ViewIcons, hasFolder, [this](int) { SetViewStyle(0); }, [settings] { return settings().dispMode == 0; });
    m_table.Bind(
        cmd::ViewDetails, hasFolder, [this](int) { SetViewStyle(2); }, [settings] { return settings().dispMode == 2; });
    m_table.Bind(
        cmd::ViewToggle, [this] { return !m_abortable && !m_currentFolder.isEmpty(); },
        [this](int) { SetViewStyle(m_app.State().settings.dispMode != 0 ? 0 : 2); });
    m_table.Bind(
        cmd::NoWatch, Always, [this](int id) { ToggleCheckSetting(id); },
        [settings] { return settings().execProcEndWaitFlg != 1; });
    m_table.Bind(
        cmd::DragTakeOutEncrypted, Always, [this](int id) { ToggleCheckSetting(id); },
        [settings] { return settings().dandDDecryFlg == 0; });
}

// The entries only the contents list's pop-up offers; its shared entries run as from the menu bar.
void CMainFrame::BindListPopup() {
    for (int id : {cmd::PopupOpen, cmd::OpenWithFirst, cmd::OpenWithChooser})
        m_table.Bind(id, Always, [this](int chosen) { OpenFromPopup(chosen); });
    m_table.Bind(cmd::TakeOutAsTheyAre, Always,
                 [this](int) { static_cast<void>(TakeOutSelected(TakeOutKind::kAsTheyAre)); });
    m_table.Bind(cmd::EncryptPlain, Always, [this](int) { EncryptPlainSelected(); });
}

// The tree's pop-up acts on the directory of its item; the decrypted-file list's on its selected rows.
void CMainFrame::BindOtherPopups() {
    m_table.Bind(cmd::TreeRelease, Always, [this](int) {
        static_cast<void>(ReleaseFolder(CTreeV::TopFolderOf(m_tree->FindTop(m_treePopupPath))));
    });
    for (int id : {cmd::TreeCut, cmd::TreeCopy, cmd::TreePaste, cmd::TreeDelete})
        m_table.Bind(id, Always, [this](int chosen) { OnTreeInsideCommand(chosen, m_treePopupPath); });
    m_table.Bind(cmd::TreeProperties, Always, [this](int) { static_cast<void>(ShowProperties({m_treePopupPath})); });
    const auto hasWorkspace = [this] { return m_commands != nullptr; };
    m_table.Bind(cmd::WriteBackSelected, hasWorkspace, [this](int) {
        static_cast<void>(m_commands->WriteBackSelected(m_decrypted->Folder(), m_decrypted->FullPaths(m_list2->SelectedRows())));
    });
    m_table.Bind(cmd::WriteBackAllFromList, hasWorkspace,
                 [this](int) { static_cast<void>(m_commands->WriteBackAll(m_decrypted->Folder(), true)); });
    m_table.Bind(cmd::GoToContainer, hasWorkspace, [this](int) {
        const QList<int> rows = m_list2->SelectedRows();
        if (rows.size() == 1)
            GoToContainer(m_decrypted->Item(rows.first()).fullPath);
    });
}

// Commands that keep their enabling rules but that no menu, button or key offers: they have nothing to do.
void CMainFrame::BindNotOffered() {
    for (int id : {cmd::WriteBackSelectedCopies, cmd::EraseSelectedCopies})
        m_table.Bind(id, Always, [](int) {});
}

// A pop-up's chosen entry.
void CMainFrame::OnPopupCommand(int id) {
    if (m_table.RunPopup(id))
        UpdateCommandStates();
}

// ---- the bars ----

void CMainFrame::BuildMenuBar() {
    BuildCommandTable();
    // The layout never changes: menus made while the window was created serve after its show as well.
    if (!m_topMenus.isEmpty())
        return;
    menuBar()->clear();
    for (const MenuLayout& layout : CCommandTable::MenuBar()) {
        QMenu* menu = menuBar()->addMenu(layout.title);
        connect(menu, &QMenu::aboutToShow, this, &CMainFrame::UpdateCommandStates);
        for (int id : layout.ids) {
            if (id == CCommandTable::kSeparator) {
                menu->addSeparator();
            } else if (id == CCommandTable::kNewItemsMenu) {
                AddNewItemsMenu(menu, true);
            } else if (id == CCommandTable::kViewStyleMenu) {
                QMenu* styles = menu->addMenu(QStringLiteral("表示(&V)"));
                styles->addAction(m_table.Action(cmd::ViewIcons));
                styles->addAction(m_table.Action(cmd::ViewDetails));
            } else {
                menu->addAction(m_table.Action(id));
            }
        }
        m_topMenus.append(menu);
    }
    if (IsBusy())
        SetMenusEnabled(false);
}

void CMainFrame::BuildToolBar() {
    if (m_topMenus.isEmpty())
        BuildMenuBar();
    QToolBar* bar = addToolBar(QStringLiteral("ツールバー"));
    bar->setObjectName(QStringLiteral("toolbar"));
    bar->setAccessibleName(QStringLiteral("ツールバー"));
    bar->setMovable(false);
    bar->setFloatable(false);
    bar->toggleViewAction()->setVisible(false);
    bar->setIconSize(QSize(22, 22));
    for (const ToolButtonRow& tool : CCommandTable::ToolBar()) {
        if (tool.id == CCommandTable::kSeparator) {
            bar->addSeparator();
            continue;
        }
        QAction* action = m_table.Action(tool.id);
        action->setIcon(ThemeOrOwnIcon(QString::fromLatin1(tool.themeIcon), QString::fromLatin1(tool.ownIcon)));
        action->setToolTip(QString::fromUtf16(tool.toolTip));
        bar->addAction(action);
        if (auto* button = qobject_cast<QToolButton*>(bar->widgetForAction(action))) {
            button->setFixedSize(43, 30);
            button->setObjectName(QStringLiteral("tool%1").arg(tool.id));
            button->setAccessibleName(QString::fromUtf16(tool.accessibleName));
            button->setAccessibleDescription(QString::fromUtf16(tool.toolTip));
        }
    }
}

QToolButton* CMainFrame::ToolButton(int id) const {
    return findChild<QToolButton*>(QStringLiteral("tool%1").arg(id));
}

// The accelerators work only while the tree or the contents list has the focus.
void CMainFrame::BuildAccelerators() {
    for (QWidget* view : {static_cast<QWidget*>(m_tree), static_cast<QWidget*>(m_list)}) {
        for (const AcceleratorRow& entry : CCommandTable::Accelerators()) {
            auto* shortcut = new QShortcut(entry.keys, view, nullptr, nullptr, Qt::WidgetWithChildrenShortcut);
            const int id = entry.id;
            const bool permanent = entry.permanent;
            connect(shortcut, &QShortcut::activated, this, [this, id, permanent] {
                UpdateCommandStates();
                m_permanentDelete = permanent;
                OnCommand(id);
                m_permanentDelete = false;
            });
        }
    }
}

// ---- enabling ----

// Reading the clipboard is a round trip to its owner on X11 and Wayland: it is read once per change,
// not at every enabling pass.
void CMainFrame::RefreshClipboardState() {
    ++m_clipboardReads;
    m_clipboardHasFiles = HoldsFiles(QGuiApplication::clipboard()->mimeData());
    if (m_list && !m_table.Actions().isEmpty())
        UpdateCommandStates();
}

void CMainFrame::UpdateCommandStates() {
    m_table.UpdateStates();
    m_table.Action(cmd::Paste)->setText(m_clipboardHasFiles && !InsideClipboardHasItems()
                                            ? QStringLiteral("暗号化して貼り付け(&P)\tCtrl+V")
                                            : CCommandTable::Text(cmd::Paste));
    UpdateUndoItem();
}

// ---- routing ----

void CMainFrame::OnCommand(int id) {
    if (m_table.Run(id))
        UpdateCommandStates();
}

void CMainFrame::SetViewStyle(int dispMode) {
    m_app.State().settings.dispMode = dispMode;
    m_list->SetViewStyle(dispMode);
}

void CMainFrame::ToggleCheckSetting(int id) {
    SettingsRecord& settings = m_app.State().settings;
    if (id == cmd::NoWatch)
        settings.execProcEndWaitFlg = settings.execProcEndWaitFlg == 1 ? 0 : 1;
    else
        settings.dandDDecryFlg = settings.dandDDecryFlg == 1 ? 0 : 1;
}

void CMainFrame::RunSettingsSheet() {
    AppState& state = m_app.State();
    const KankyoResult result = RunKankyoSet(this, state.settings, *state.workFolder, state.environmentFolder);
    if (!result.extensionDisplayChanged)
        return;
    // Both lists show the new form at once, so a rename starts from the name the rule now expects.
    if (m_contents)
        m_contents->RefreshDisplay();
    if (m_decrypted)
        m_decrypted->RefreshDisplay();
}

// The help file of the installation when there is one, else our own guide beside the program; either is
// handed to the desktop's program for its type (the browser for the guide).
void CMainFrame::OpenHelp() {
    const QString zorp = m_app.ProgramFolder() + QStringLiteral("/ZORp/");
    QString help = zorp + QStringLiteral("ZORportable.chm");
    if (!QFileInfo(help).isFile())
        help = zorp + QStringLiteral("help/index.html");
    if (!QFileInfo(help).isFile() || !OpenWithDesktop(help))
        m_ui.Message(QStringLiteral("ヘルプが見つかりません　"), Icon::Warning);
}

bool CMainFrame::OpenWithDesktop(const QString& file) {
    if (!m_launcher)
        return QDesktopServices::openUrl(QUrl::fromLocalFile(file));
    qint64 pid = 0;
    QString appId;
    QString executable;
    if (m_launcher->Launch(file, QString(), pid, appId, executable) != 0)
        return false;
    // The launcher leaves its children for the process probe to reap: nobody watches this one, so reap it
    // here once it ends rather than leave a zombie until the program exits.
    if (pid > 0 && m_processes) {
        auto* reaper = new QTimer(this);
        reaper->setObjectName(QStringLiteral("helpReaper"));
        connect(reaper, &QTimer::timeout, this, [this, reaper, pid] {
            if (!m_processes->IsRunning(pid))
                reaper->deleteLater();
        });
        reaper->start(1000);
    }
    return true;
}

void CMainFrame::OpenHomePage() {
    QDesktopServices::openUrl(QUrl(HomePageUrl(m_app.ProgramFolder())));
}

void CMainFrame::ShowVersion() {
    CVersionDialog dialog(HomePageUrl(m_app.ProgramFolder()), this);
    dialog.Run();
}

} // namespace korimbo
