// The main window's menu bar, toolbar, accelerators, command enabling and routing.
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
#include <algorithm>

namespace korimbo {

namespace {

constexpr int kSeparator = 0;
constexpr int kNewItems = -2; // the submenu "新規作成(&W)"

struct MenuLayout {
    const char16_t* title;
    std::initializer_list<int> ids;
};

// Item commands: they act on the selection of the list or on the tree item, by focus.
constexpr int kItemCommands[] = {cmd::Open,
                                 cmd::TakeOutVariant1,
                                 cmd::TakeOutVariant2,
                                 cmd::DecryptOnly,
                                 cmd::TakeOutVariant3,
                                 cmd::TakeOutWithOtherPassword,
                                 cmd::TakeOutVariant4,
                                 cmd::Delete,
                                 cmd::Rename,
                                 cmd::Properties,
                                 cmd::InsideCut,
                                 cmd::InsideCopy};

bool IsItemCommand(int id) {
    return std::find(std::begin(kItemCommands), std::end(kItemCommands), id) != std::end(kItemCommands);
}

// The open and take-out range 32878..32890.
bool IsOpenOrTakeOut(int id) {
    return id >= cmd::Open && id <= cmd::TakeOutVariant4;
}

QString ItemText(int id) {
    switch (id) {
    case cmd::Login:
        return QStringLiteral("ログイン(&I)...");
    case cmd::Logout:
        return QStringLiteral("ログアウト(&E)...");
    case cmd::ReleaseFolder:
        return QStringLiteral("選択された暗号フォルダーを解除(&K)");
    case cmd::Open:
        return QStringLiteral("開く(&O)");
    case cmd::TakeOutWithOtherPassword:
        return QStringLiteral("暗号化パスワードを変更して取り出す(&U)...");
    case cmd::TakeOutVariant1:
        return QStringLiteral("取り出す(&G)...");
    case cmd::TakeOutVariant2:
        return QStringLiteral("メールに添付(&H)...");
    case cmd::TakeOutVariant3:
        return QStringLiteral("暗号化したまま取り出す(&S)...");
    case cmd::TakeOutVariant4:
        return QStringLiteral("暗号化パスワードを変更してメールに添付(&V)...");
    case cmd::DecryptOnly:
        return QStringLiteral("選択したファイルの復号のみを行う(&F)");
    case cmd::Delete:
        return QStringLiteral("削除(&D)");
    case cmd::Rename:
        return QStringLiteral("名前の変更(&M)");
    case cmd::Properties:
        return QStringLiteral("プロパティ(&R)");
    case cmd::Exit:
        return QStringLiteral("アプリケーションの終了(&X)");
    case cmd::Undo:
        return QStringLiteral("元に戻す(&U)\tCtrl+Z");
    case cmd::InsideCut:
        return QStringLiteral("切り取り （inside） (&T)\tCtrl+X");
    case cmd::InsideCopy:
        return QStringLiteral("コピー （inside） (&C)\tCtrl+C");
    case cmd::Paste:
        return QStringLiteral("貼り付け(&P)\tCtrl+V");
    case cmd::SelectAll:
        return QStringLiteral("すべて選択(&A)\tCtrl+A");
    case cmd::UpOneLevel:
        return QStringLiteral("上位フォルダーへ移動(&U)\tCtrl+U");
    case cmd::ViewIcons:
        return QStringLiteral("アイコン(&I)");
    case cmd::ViewDetails:
        return QStringLiteral("詳細(&D)");
    case cmd::Refresh:
        return QStringLiteral("最新の情報に更新(&R)");
    case cmd::NoWatch:
        return QStringLiteral("開いたファイルの終了監視を行わない(&E)");
    case cmd::DragTakeOutEncrypted:
        return QStringLiteral("ドラッグ＆ドロップ操作で暗号化したまま取り出す(&F)");
    case cmd::Settings:
        return QStringLiteral("環境設定(&K)...");
    case cmd::Help:
        return QStringLiteral("ヘルプ(&H)");
    case cmd::HomePage:
        return QStringLiteral("ホームページ(&W)");
    case cmd::Version:
        return QStringLiteral("バージョン情報(&A)...");
    case cmd::WriteBackAll:
        return QStringLiteral("すべて暗号化して戻す");
    case cmd::ViewToggle:
        return QStringLiteral("表示の切り替え");
    case cmd::Stop:
        return QStringLiteral("中止");
    default:
        return QStringLiteral("#%1").arg(id);
    }
}

// Toolbar buttons: the desktop theme's icon where there is one, else our own.
QIcon ToolIcon(int id) {
    const struct {
        int id;
        const char* theme;
        const char* own;
    } kIcons[] = {
        {cmd::Login, "dialog-password", "login"},
        {cmd::Logout, "system-log-out", "logout"},
        {cmd::WriteBackAll, "document-save-all", "write-back-all"},
        {cmd::UpOneLevel, "go-up", "up"},
        {cmd::ViewToggle, "view-list-icons", "view-toggle"},
        {cmd::Stop, "process-stop", "stop"},
        {cmd::DragTakeOutEncrypted, "document-export", "take-out-encrypted"},
    };
    for (const auto& icon : kIcons)
        if (icon.id == id)
            return ThemeOrOwnIcon(QString::fromLatin1(icon.theme), QString::fromLatin1(icon.own));
    return QIcon();
}

QString ToolTip(int id) {
    switch (id) {
    case cmd::Login:
        return QStringLiteral("ログイン");
    case cmd::Logout:
        return QStringLiteral("ログアウト");
    case cmd::WriteBackAll:
        return QStringLiteral("復号中のファイルをすべて暗号化して戻す");
    case cmd::UpOneLevel:
        return QStringLiteral("上位フォルダーへ移動");
    case cmd::ViewToggle:
        return QStringLiteral("表示の切り替え（アイコン／詳細）");
    case cmd::Stop:
        return QStringLiteral("処理を中止");
    case cmd::DragTakeOutEncrypted:
        return QStringLiteral("ドラッグ＆ドロップ操作で暗号化したまま取り出す");
    default:
        return QString();
    }
}

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

} // namespace

void CMainFrame::BuildMenuBar() {
    // Every command gets its action, also those only the larger creation menu lists.
    const int allIds[] = {cmd::RegisterFolder,
                          cmd::Open,
                          cmd::TakeOutVariant1,
                          cmd::TakeOutVariant2,
                          cmd::DecryptOnly,
                          cmd::TakeOutVariant3,
                          cmd::TakeOutWithOtherPassword,
                          cmd::TakeOutVariant4,
                          cmd::ReleaseFolder,
                          cmd::Delete,
                          cmd::Rename,
                          cmd::Properties,
                          cmd::InsideCut,
                          cmd::InsideCopy,
                          cmd::Paste,
                          cmd::SelectAll,
                          cmd::UpOneLevel,
                          cmd::DecryptedFileCommand1,
                          cmd::WriteBackAll,
                          cmd::Backup,
                          cmd::Settings,
                          cmd::Undo,
                          cmd::Help,
                          cmd::ViewIcons,
                          cmd::ViewDetails,
                          cmd::ViewToggle,
                          cmd::OpenByEnter,
                          cmd::Logout,
                          cmd::Login,
                          cmd::DecryptedFileCommand2,
                          cmd::NoWatch,
                          cmd::ChangePasswords,
                          cmd::ImportBackup,
                          cmd::PlainFileCheck,
                          cmd::AdminPassword,
                          cmd::HintWindow,
                          cmd::Stop,
                          cmd::Version,
                          cmd::HomePage,
                          cmd::Refresh,
                          cmd::DragTakeOutEncrypted,
                          cmd::Exit};
    for (int id : allIds) {
        if (m_actions.contains(id))
            continue;
        auto* action = new QAction(ItemText(id), this);
        action->setData(id);
        action->setObjectName(QString::number(id));
        action->setCheckable(id == cmd::ViewIcons || id == cmd::ViewDetails || id == cmd::NoWatch ||
                             id == cmd::DragTakeOutEncrypted);
        connect(action, &QAction::triggered, this, [this, id] { OnCommand(id); });
        m_actions.insert(id, action);
    }

    // The layout never changes: menus made while the window was created serve after its show as well.
    if (!m_topMenus.isEmpty())
        return;
    menuBar()->clear();
    const MenuLayout menus[] = {
        {u"ファイル(&F)",
         {cmd::Login, cmd::Logout, kSeparator, cmd::ReleaseFolder, kSeparator, kNewItems, kSeparator, cmd::Open,
          cmd::TakeOutWithOtherPassword, kSeparator, cmd::Delete, cmd::Rename, cmd::Properties, kSeparator, cmd::Exit}},
        {u"編集(&E)", {cmd::Undo, kSeparator, cmd::InsideCut, cmd::InsideCopy, cmd::Paste, kSeparator, cmd::SelectAll}},
        {u"表示(&V)", {cmd::UpOneLevel, -1, cmd::Refresh}}, // -1: the view style sub-menu
        {u"操作(&S)", {cmd::NoWatch, kSeparator, cmd::DragTakeOutEncrypted}},
        {u"ツール(&T)", {cmd::Settings}},
        {u"ヘルプ(&H)", {cmd::Help, cmd::HomePage, kSeparator, cmd::Version}},
    };
    for (const MenuLayout& layout : menus) {
        QMenu* menu = menuBar()->addMenu(QString::fromUtf16(layout.title));
        connect(menu, &QMenu::aboutToShow, this, &CMainFrame::UpdateCommandStates);
        for (int id : layout.ids) {
            if (id == kSeparator) {
                menu->addSeparator();
            } else if (id == kNewItems) {
                AddNewItemsMenu(menu, true);
            } else if (id == -1) {
                QMenu* styles = menu->addMenu(QStringLiteral("表示(&V)"));
                styles->addAction(m_actions[cmd::ViewIcons]);
                styles->addAction(m_actions[cmd::ViewDetails]);
            } else {
                menu->addAction(m_actions[id]);
            }
        }
        m_topMenus.append(menu);
    }
    if (IsBusy())
        SetMenusEnabled(false);
}

void CMainFrame::BuildToolBar() {
    if (m_actions.isEmpty())
        BuildMenuBar();
    QToolBar* bar = addToolBar(QStringLiteral("ツールバー"));
    bar->setObjectName(QStringLiteral("toolbar"));
    bar->setMovable(false);
    bar->setFloatable(false);
    bar->toggleViewAction()->setVisible(false);
    bar->setIconSize(QSize(22, 22));
    const int buttons[] = {cmd::Login, cmd::Logout,     kSeparator, cmd::WriteBackAll, cmd::UpOneLevel,
                           kSeparator, cmd::ViewToggle, cmd::Stop,  kSeparator,        cmd::DragTakeOutEncrypted};
    for (int id : buttons) {
        if (id == kSeparator) {
            bar->addSeparator();
            continue;
        }
        QAction* action = m_actions[id];
        action->setIcon(ToolIcon(id));
        action->setToolTip(ToolTip(id));
        bar->addAction(action);
        if (auto* button = qobject_cast<QToolButton*>(bar->widgetForAction(action))) {
            button->setFixedSize(43, 30);
            button->setObjectName(QStringLiteral("tool%1").arg(id));
        }
    }
}

QToolButton* CMainFrame::ToolButton(int id) const {
    return findChild<QToolButton*>(QStringLiteral("tool%1").arg(id));
}

// The accelerators work only while the tree or the contents list has the focus.
void CMainFrame::BuildAccelerators() {
    const struct {
        QKeySequence keys;
        int id;
    } table[] = {{QKeySequence(Qt::Key_Delete), cmd::Delete},
                 {QKeySequence(Qt::SHIFT | Qt::Key_Delete), cmd::Delete},
                 {QKeySequence(Qt::Key_F2), cmd::Rename},
                 {QKeySequence(Qt::CTRL | Qt::Key_A), cmd::SelectAll},
                 {QKeySequence(Qt::CTRL | Qt::Key_C), cmd::InsideCopy},
                 {QKeySequence(Qt::CTRL | Qt::Key_X), cmd::InsideCut},
                 {QKeySequence(Qt::CTRL | Qt::Key_U), cmd::UpOneLevel},
                 {QKeySequence(Qt::CTRL | Qt::Key_V), cmd::Paste},
                 {QKeySequence(Qt::CTRL | Qt::Key_Z), cmd::Undo},
                 {QKeySequence(Qt::Key_Return), cmd::OpenByEnter},
                 {QKeySequence(Qt::Key_Enter), cmd::OpenByEnter}};
    for (QWidget* view : {static_cast<QWidget*>(m_tree), static_cast<QWidget*>(m_list)}) {
        for (const auto& entry : table) {
            auto* shortcut = new QShortcut(entry.keys, view, nullptr, nullptr, Qt::WidgetWithChildrenShortcut);
            const int id = entry.id;
            const bool shifted = entry.keys == QKeySequence(Qt::SHIFT | Qt::Key_Delete);
            connect(shortcut, &QShortcut::activated, this, [this, id, shifted] {
                UpdateCommandStates();
                m_permanentDelete = shifted;
                if (CommandEnabled(id))
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
    if (m_list && !m_actions.isEmpty())
        UpdateCommandStates();
}

bool CMainFrame::ItemCommandEnabled(int id) const {
    if (m_list->hasFocus()) {
        const int selected = m_list->SelectedCount();
        if (selected == 0)
            return false;
        if (m_list->SelectionHasPlainFile() &&
            (IsOpenOrTakeOut(id) || id == cmd::Rename || id == cmd::InsideCut || id == cmd::InsideCopy))
            return false;
        if (m_list->SelectionHasDirectory() &&
            (id == cmd::Open || id == cmd::TakeOutVariant2 || id == cmd::TakeOutVariant4))
            return false;
        return id != cmd::Properties || selected == 1;
    }
    if (m_tree->hasFocus()) {
        if (IsOpenOrTakeOut(id) || id == cmd::Rename)
            return false;
        const CTreeV::ItemKind kind = m_tree->KindAtCursor();
        if (id == cmd::Properties)
            return kind != CTreeV::ItemKind::None;
        return kind == CTreeV::ItemKind::Below;
    }
    return false;
}

bool CMainFrame::CommandEnabled(int id) const {
    if (id == cmd::Stop)
        return m_abortable;
    if (IsBusy())
        return false;
    const bool listFocus = m_list->hasFocus();
    const bool hasFolder = !m_currentFolder.isEmpty();
    if (IsItemCommand(id))
        return ItemCommandEnabled(id);
    switch (id) {
    case cmd::ReleaseFolder:
        return !listFocus && m_tree->KindAtCursor() == CTreeV::ItemKind::TopFolder;
    case cmd::Backup:
        return !listFocus;
    case cmd::Login:
        return !listFocus && !m_abortable && m_tree->KindAtCursor() != CTreeV::ItemKind::None && !hasFolder;
    case cmd::Logout:
        return !listFocus && !m_abortable && m_tree->KindAtCursor() != CTreeV::ItemKind::None && hasFolder;
    case cmd::UpOneLevel: {
        if (m_abortable || !hasFolder)
            return false;
        const FolderRegistry* registry = m_app.State().registry.get();
        return !registry || registry->SlotOf(m_currentFolder) < 0; // not already the top of its folder
    }
    case cmd::WriteBackAll:
        return !m_abortable && m_list2->RowCount() > 0;
    case cmd::ViewToggle:
        return !m_abortable && hasFolder;
    case cmd::SelectAll:
    case cmd::ViewIcons:
    case cmd::ViewDetails:
        return hasFolder;
    case cmd::Paste:
        return InsideClipboardHasItems() || (m_clipboardHasFiles && hasFolder);
    case cmd::Undo:
        return m_history.Count() > 0;
    default:
        return true;
    }
}

void CMainFrame::UpdateCommandStates() {
    for (auto it = m_actions.begin(); it != m_actions.end(); ++it)
        it.value()->setEnabled(CommandEnabled(it.key()));
    const SettingsRecord& settings = m_app.State().settings;
    m_actions[cmd::ViewIcons]->setChecked(settings.dispMode == 0);
    m_actions[cmd::ViewDetails]->setChecked(settings.dispMode == 2);
    m_actions[cmd::NoWatch]->setChecked(settings.execProcEndWaitFlg != 1);
    m_actions[cmd::DragTakeOutEncrypted]->setChecked(settings.dandDDecryFlg == 0);
    m_actions[cmd::Paste]->setText(m_clipboardHasFiles && !InsideClipboardHasItems()
                                       ? QStringLiteral("暗号化して貼り付け(&P)\tCtrl+V")
                                       : QStringLiteral("貼り付け(&P)\tCtrl+V"));
    UpdateUndoItem();
}

// ---- routing ----

void CMainFrame::OnCommand(int id) {
    if (!CommandEnabled(id))
        return;
    switch (id) {
    case cmd::SelectAll:
        m_list->SelectAll();
        break;
    case cmd::Open:
    case cmd::OpenByEnter:
        // A single folder is entered; files go to their programs.
        if (m_list->hasFocus() && m_list->SelectedCount() == 1 && m_list->SelectionHasDirectory())
            OpenRow(m_list->SelectedRows().first());
        else if (m_list->hasFocus())
            OpenSelected();
        break;
    case cmd::UpOneLevel:
        UpOneLevel();
        break;
    case cmd::DecryptOnly:
        if (m_copies && m_list->hasFocus()) {
            Busy(true);
            static_cast<void>(m_copies->DecryptOnly(m_list->SelectedPaths()));
            Busy(false);
        }
        break;
    case cmd::TakeOutVariant1:
    case cmd::TakeOutVariant2:
    case cmd::TakeOutVariant3:
    case cmd::TakeOutVariant4:
    case cmd::TakeOutWithOtherPassword:
        if (m_list->hasFocus())
            TakeOutSelected(TakeOutKindOf(id));
        break;
    case cmd::WriteBackAll:
        if (m_commands && m_decrypted)
            static_cast<void>(m_commands->WriteBackAll(m_decrypted->Folder(), true));
        break;
    case cmd::Refresh:
        ShowFolder(m_currentFolder);
        break;
    case cmd::Properties:
        if (m_list->hasFocus())
            ShowProperties(m_list->SelectedPaths());
        else if (QTreeWidgetItem* item = m_tree->ItemAtCursor())
            ShowProperties({CTreeV::PathOf(item)});
        break;
    case cmd::Paste:
        if (InsideClipboardHasItems())
            PasteInside(m_currentFolder);
        else
            PasteFiles();
        break;
    case cmd::InsideCut:
    case cmd::InsideCopy:
        if (m_list->hasFocus())
            TakeItems(m_list->SelectedPaths(), id == cmd::InsideCut, m_currentFolder);
        else if (m_tree->hasFocus())
            OnTreeInsideCommand(id == cmd::InsideCut ? cmd::TreeCut : cmd::TreeCopy,
                                CTreeV::PathOf(m_tree->ItemAtCursor()));
        break;
    case cmd::Delete: {
        // Shift held as the command starts makes the delete permanent.
        const bool permanent = m_permanentDelete || (QGuiApplication::keyboardModifiers() & Qt::ShiftModifier);
        if (m_list->hasFocus())
            DeleteItems(m_list->SelectedPaths(), permanent);
        else if (m_tree->hasFocus())
            DeleteItems({CTreeV::PathOf(m_tree->ItemAtCursor())}, permanent);
        break;
    }
    case cmd::Rename:
        if (m_list->hasFocus() && m_list->SelectedCount() > 0)
            m_list->BeginRename(m_list->SelectedRows().first());
        break;
    case cmd::Undo:
        UndoLast();
        break;
    case cmd::Exit:
        close();
        break;
    case cmd::ViewIcons:
        SetViewStyle(0);
        break;
    case cmd::ViewDetails:
        SetViewStyle(2);
        break;
    case cmd::ViewToggle:
        SetViewStyle(m_app.State().settings.dispMode != 0 ? 0 : 2);
        break;
    case cmd::NoWatch:
    case cmd::DragTakeOutEncrypted:
        ToggleCheckSetting(id);
        break;
    case cmd::Settings:
        RunSettingsSheet();
        break;
    case cmd::Help:
        OpenHelp();
        break;
    case cmd::HomePage:
        OpenHomePage();
        break;
    case cmd::Version:
        ShowVersion();
        break;
    case cmd::Stop:
        m_abortRequested = true;
        break;
    case cmd::Login:
        LoginFolder(SelectedTopFolder());
        break;
    case cmd::Logout:
        LogoutFolder(SelectedTopFolder());
        break;
    case cmd::ReleaseFolder:
        ReleaseFolder(SelectedTopFolder());
        break;
    case cmd::AdminPassword: {
        CDialogPrompts prompts(this, m_app);
        static_cast<void>(m_app.Passwords().RunAdminPasswordCommand(prompts));
        break;
    }
    case cmd::ChangePasswords: {
        CDialogPrompts prompts(this, m_app);
        static_cast<void>(m_app.Passwords().RunChangePasswordsCommand(prompts));
        break;
    }
    default:
        NotYetAvailable(id);
        break;
    }
    UpdateCommandStates();
}

// Login, logout, release, open, take-out, the inside operations, undo, up one level, refresh and the
// rest are carried out by the tree, the contents list and the workspace; until those are in place the
// commands are present, follow the enabling rules and do nothing.
void CMainFrame::NotYetAvailable(int /*id*/) {}

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
    if (!QFileInfo(help).isFile() || OpenWithDesktop(help) != 0)
        m_ui.Message(QStringLiteral("ヘルプが見つかりません　"), Icon::Warning);
}

int CMainFrame::OpenWithDesktop(const QString& file) {
    if (!m_launcher)
        return QDesktopServices::openUrl(QUrl::fromLocalFile(file)) ? 0 : -1;
    qint64 pid = 0;
    QString appId;
    QString executable;
    if (m_launcher->Launch(file, QString(), pid, appId, executable) != 0)
        return -1;
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
    return 0;
}

void CMainFrame::OpenHomePage() {
    QDesktopServices::openUrl(QUrl(HomePageUrl(m_app.ProgramFolder())));
}

void CMainFrame::ShowVersion() {
    CVersionDialog dialog(HomePageUrl(m_app.ProgramFolder()), this);
    dialog.Run();
}

} // namespace korimbo
