#include "ui/CommandTable.h"

#include "platform/Associations.h"

#include <QAction>
#include <QKeyEvent>
#include <QMenu>

namespace korimbo {

namespace {

using F = FocusRule;
using P = Placement;

// The pop-up rules.
bool FilesOnly(const PopupContext& context) {
    return context.folders == 0; // a mail message takes files only
}
bool OneRow(const PopupContext& context) {
    return context.selected == 1;
}
bool OfTopFolder(const PopupContext& context) {
    return context.topFolder;
}
// As on the menu bar, a registered folder itself is neither cut, copied nor deleted.
bool BelowTopFolder(const PopupContext& context) {
    return !context.topFolder;
}
// A backup is verified with the folder's key, so the folder must be logged in.
bool OfLoggedInTopFolder(const PopupContext& context) {
    return context.topFolder && context.loggedIn;
}
bool PasteAllowed(const PopupContext& context) {
    return context.pasteAllowed;
}
bool Placeable(const PopupContext& context) {
    return !context.dragOnly;
}

// The rows of the main window's menu bar, toolbar and accelerators.
QList<CommandRow> MenuRows() {
    return {
        {.id = cmd::Login, .text = u"ログイン(&I)...", .focus = F::kNotList},
        {.id = cmd::Logout, .text = u"ログアウト(&E)...", .focus = F::kNotList},
        {.id = cmd::RegisterFolder, .text = u"暗号フォルダーの登録(&A)..."},
        {.id = cmd::ReleaseFolder, .text = u"選択された暗号フォルダーを解除(&K)", .focus = F::kNotList},
        {.id = cmd::Open, .text = u"開く(&O)", .focus = F::kListOrTree},
        {.id = cmd::TakeOutWithOtherPassword, .text = u"暗号化パスワードを変更して取り出す(&U)...", .focus = F::kListOrTree},
        {.id = cmd::Delete, .text = u"削除(&D)", .focus = F::kListOrTree},
        {.id = cmd::Rename, .text = u"名前の変更(&M)", .focus = F::kListOrTree},
        {.id = cmd::Properties, .text = u"プロパティ(&R)", .focus = F::kListOrTree},
        {.id = cmd::Exit, .text = u"アプリケーションの終了(&X)"},
        {.id = cmd::Undo, .text = u"元に戻す(&U)\tCtrl+Z"},
        {.id = cmd::InsideCut, .text = u"切り取り （inside） (&T)\tCtrl+X", .focus = F::kListOrTree},
        {.id = cmd::InsideCopy, .text = u"コピー （inside） (&C)\tCtrl+C", .focus = F::kListOrTree},
        {.id = cmd::Paste, .text = u"貼り付け(&P)\tCtrl+V", .popupRule = PasteAllowed},
        {.id = cmd::SelectAll, .text = u"すべて選択(&A)\tCtrl+A"},
        {.id = cmd::UpOneLevel, .text = u"上位フォルダーへ移動(&U)\tCtrl+U"},
        {.id = cmd::ViewIcons, .text = u"アイコン(&I)", .checkable = true},
        {.id = cmd::ViewDetails, .text = u"詳細(&D)", .checkable = true},
        {.id = cmd::Refresh, .text = u"最新の情報に更新(&R)"},
        {.id = cmd::NoWatch, .text = u"開いたファイルの終了監視を行わない(&E)", .checkable = true},
        {.id = cmd::DragTakeOutEncrypted, .text = u"ドラッグ＆ドロップ操作で暗号化したまま取り出す(&F)", .checkable = true},
        {.id = cmd::IntegrityScan, .text = u"整合性の検査(&I)..."},
        {.id = cmd::Settings, .text = u"環境設定(&K)..."},
        {.id = cmd::PlainFileCheck, .text = u"暗号化されていないファイルの確認(&P)..."},
        {.id = cmd::HintWindow, .text = u"ヒント確認ウィンドウ(&N)..."},
        {.id = cmd::Help, .text = u"ヘルプ(&H)"},
        {.id = cmd::HomePage, .text = u"ホームページ(&W)"},
        {.id = cmd::Version, .text = u"バージョン情報(&A)..."},
        {.id = cmd::WriteBackAll, .text = u"すべて暗号化して戻す"},
        {.id = cmd::ViewToggle, .text = u"表示の切り替え"},
        {.id = cmd::Stop, .text = u"中止", .whileBusy = true},
        {.id = cmd::OpenByEnter, .text = u"開く"},
        {.id = cmd::NewFolder, .text = u"フォルダー(&F)"},
        {.id = cmd::NewFileFirst, .text = u"", .count = kMaxNewFileTypes},
        {.id = cmd::NewFileSettings, .text = u"「新規作成」の設定(&S)..."},
        {.id = cmd::FindByName, .text = u"名前で検索(&F)...\tCtrl+F"},
    };
}

// The rows only the pop-ups offer, and those the running program offers nowhere.
QList<CommandRow> OtherRows() {
    return {
        {.id = cmd::PopupOpen, .text = u"開く(&O)", .placement = P::kPopup},
        {.id = cmd::OpenWithFirst, .text = u"", .placement = P::kPopup, .count = cmd::kMaxPrograms},
        {.id = cmd::OpenWithChooser, .text = u"プログラムから開く(&P)...", .placement = P::kPopup},
        {.id = cmd::TakeOut, .text = u"取り出す(&G)...", .focus = F::kListOrTree, .placement = P::kPopup},
        {.id = cmd::TakeOutEncrypted, .text = u"暗号化したまま取り出す(&S)...", .focus = F::kListOrTree, .placement = P::kPopup},
        {.id = cmd::AttachToMail, .text = u"メールに添付(&H)...", .focus = F::kListOrTree, .placement = P::kPopup,
         .popupRule = FilesOnly},
        {.id = cmd::AttachWithNewPassword, .text = u"暗号化パスワードを変更してメールに添付(&V)...", .focus = F::kListOrTree,
         .placement = P::kPopup, .popupRule = FilesOnly},
        {.id = cmd::EncryptPlain, .text = u"暗号化する(&U)", .placement = P::kPopup},
        {.id = cmd::TakeOutAsTheyAre, .text = u"このまま取り出す(&S)...", .placement = P::kPopup},
        {.id = cmd::TreeRelease, .text = u"この暗号フォルダーを解除(&K)", .placement = P::kPopup, .popupRule = OfTopFolder},
        {.id = cmd::TreeCut, .text = u"切り取り （inside） (&T)", .placement = P::kPopup, .popupRule = BelowTopFolder},
        {.id = cmd::TreeCopy, .text = u"コピー （inside） (&C)", .placement = P::kPopup, .popupRule = BelowTopFolder},
        {.id = cmd::TreePaste, .text = u"貼り付け(&P)", .placement = P::kPopup},
        {.id = cmd::TreeDelete, .text = u"削除(&D)", .placement = P::kPopup, .popupRule = BelowTopFolder},
        {.id = cmd::TreeProperties, .text = u"プロパティ(&R)", .placement = P::kPopup},
        {.id = cmd::WriteBackSelected, .text = u"選択した復号中のファイルを暗号化する(&S)", .placement = P::kPopup},
        {.id = cmd::GoToContainer, .text = u"このファイルの場所に移動する(&M)", .placement = P::kPopup, .popupRule = OneRow},
        {.id = cmd::WriteBackAllFromList, .text = u"すべての復号中のファイルを暗号化する(&A)", .placement = P::kPopup},
        {.id = cmd::TakeOutCopyTo, .text = u"場所を指定してコピーする(&C)...", .placement = P::kPopup,
         .owner = CommandOwner::kTakeOutWindow, .popupRule = Placeable},
        {.id = cmd::TakeOutMoveTo, .text = u"場所を指定して移動する(&M)...", .placement = P::kPopup,
         .owner = CommandOwner::kTakeOutWindow, .popupRule = Placeable},
        // Kept with their rules; no menu, button or key of the running program offers them.
        {.id = cmd::DecryptOnly, .text = u"選択したファイルの復号のみを行う(&F)", .focus = F::kListOrTree, .placement = P::kNotInMenus},
        {.id = cmd::WriteBackSelectedCopies, .text = u"選択した復号中のファイルを暗号化する(&S)", .placement = P::kNotInMenus},
        {.id = cmd::EraseSelectedCopies, .text = u"選択した復号中のファイルを削除する(&D)", .placement = P::kNotInMenus},
        // These two are offered: in the operations menu, the backup in the tree's pop-up too.
        {.id = cmd::Backup, .text = u"バックアップ(&B)...", .focus = F::kNotList, .popupRule = OfLoggedInTopFolder},
        {.id = cmd::ImportBackup, .text = u"バックアップの取り込み(&T)..."},
        {.id = cmd::AdminPassword, .text = u"管理パスワード設定(&K)...", .placement = P::kNotInMenus},
        {.id = cmd::ChangePasswords, .text = u"変更用パスワードの登録(&H)...", .placement = P::kNotInMenus},
    };
}

// The pop-up of the contents list's selection: plain files are encrypted or taken out as they are; the
// others are opened (files), taken out, cut, copied, deleted, renamed; a mixed selection has its properties.
QList<int> ContentsItemsLayout(const PopupContext& context) {
    constexpr int kSep = CCommandTable::kSeparator;
    QList<int> ids;
    if (context.plainFiles == context.selected) {
        ids = {cmd::EncryptPlain, cmd::TakeOutAsTheyAre};
    } else if (context.plainFiles == 0) {
        if (context.folders == 0)
            ids = {cmd::PopupOpen, CCommandTable::kOpenWithMenu};
        ids += {kSep, cmd::TakeOut, cmd::TakeOutEncrypted, cmd::TakeOutWithOtherPassword, kSep, cmd::AttachToMail,
                cmd::AttachWithNewPassword, kSep, cmd::InsideCut, cmd::InsideCopy, kSep, cmd::Delete, cmd::Rename};
    }
    if (!ids.isEmpty())
        ids.append(kSep);
    ids.append(cmd::Properties);
    return ids;
}

// What stands after the number of a numbered entry: digits, then the letters the fixed entries leave.
QChar NumberKey(int index, const QString& reserved) {
    static const QString kKeys = QStringLiteral("123456789ABCDEFGHIJKLMNOPQRSTUVWXYZ");
    int at = -1;
    for (int left = index; left >= 0;) {
        if (++at >= kKeys.size())
            return QChar();
        if (!reserved.contains(kKeys.at(at)))
            --left;
    }
    return kKeys.at(at);
}

} // namespace

const QList<CommandRow>& CCommandTable::Rows() {
    static const QList<CommandRow> rows = MenuRows() + OtherRows();
    return rows;
}

const CommandRow* CCommandTable::Row(int id) {
    for (const CommandRow& row : Rows())
        if (id >= row.id && id < row.id + row.count)
            return &row;
    return nullptr;
}

QString CCommandTable::Text(int id) {
    const CommandRow* row = Row(id);
    return row ? QString::fromUtf16(row->text) : QString();
}

QString CCommandTable::PopupText(int id) {
    return Text(id).section(u'\t', 0, 0);
}

QAction* CCommandTable::AddEntry(QMenu& menu, int id) {
    QAction* action = menu.addAction(PopupText(id));
    action->setData(id);
    return action;
}

QString CCommandTable::NumberedText(int index, const QString& name, const QString& reserved) {
    QString shown = name;
    shown.replace(u'&', QStringLiteral("&&"));
    const QChar key = NumberKey(index, reserved);
    return key.isNull() ? shown : QStringLiteral("&%1 %2").arg(key, shown);
}

QList<int> CCommandTable::PopupLayout(const PopupContext& context) {
    using Pane = PopupContext::Pane;
    switch (context.pane) {
    case Pane::kContentsItems:
        return ContentsItemsLayout(context);
    case Pane::kContentsArea:
        return context.newItems ? QList<int>{cmd::Paste, kSeparator, kNewItemsMenu} : QList<int>{cmd::Paste};
    case Pane::kTree:
        return {cmd::TreeRelease, kSeparator,      cmd::TreeCut,       cmd::TreeCopy,
                cmd::TreePaste,   kSeparator,      cmd::TreeDelete,    cmd::TreeProperties, kSeparator, cmd::Backup};
    case Pane::kDecryptedRows:
        return {cmd::WriteBackSelected, cmd::GoToContainer};
    case Pane::kDecryptedArea:
        return {cmd::WriteBackAllFromList};
    case Pane::kTakeOut:
        return {cmd::TakeOutCopyTo, cmd::TakeOutMoveTo};
    }
    return {};
}

bool CCommandTable::PopupEnabled(int id, const PopupContext& context) {
    const CommandRow* row = Row(id);
    return row && (!row->popupRule || row->popupRule(context));
}

void CCommandTable::FillPopup(QMenu& menu, const PopupContext& context, const SubmenuFiller& submenu) {
    for (int id : PopupLayout(context)) {
        if (id == kSeparator) {
            menu.addSeparator();
        } else if (id < 0) {
            if (submenu)
                submenu(menu, id);
        } else {
            QAction* action = AddEntry(menu, id);
            action->setEnabled(PopupEnabled(id, context));
            if (id == cmd::Paste && context.pasteEncrypts)
                action->setText(QStringLiteral("暗号化して貼り付け(&P)"));
        }
    }
}

QList<MenuLayout> CCommandTable::MenuBar() {
    return {
        {QStringLiteral("ファイル(&F)"),
         {cmd::Login, cmd::Logout, kSeparator, cmd::RegisterFolder, cmd::ReleaseFolder, kSeparator, kNewItemsMenu, kSeparator, cmd::Open,
          cmd::TakeOutWithOtherPassword, kSeparator, cmd::Delete, cmd::Rename, cmd::Properties, kSeparator,
          cmd::Exit}},
        {QStringLiteral("編集(&E)"),
         {cmd::Undo, kSeparator, cmd::InsideCut, cmd::InsideCopy, cmd::Paste, kSeparator, cmd::SelectAll}},
        {QStringLiteral("表示(&V)"), {cmd::UpOneLevel, kViewStyleMenu, cmd::Refresh, kSeparator, cmd::FindByName}},
        {QStringLiteral("操作(&S)"),
         {cmd::NoWatch, kSeparator, cmd::DragTakeOutEncrypted, kSeparator, cmd::Backup, cmd::ImportBackup,
          kSeparator, cmd::IntegrityScan}},
        {QStringLiteral("ツール(&T)"), {cmd::PlainFileCheck, cmd::HintWindow, kSeparator, cmd::Settings}},
        {QStringLiteral("ヘルプ(&H)"), {cmd::Help, cmd::HomePage, kSeparator, cmd::Version}},
    };
}

// Toolbar buttons: the desktop theme's icon where there is one, else our own.
QList<ToolButtonRow> CCommandTable::ToolBar() {
    return {
        {cmd::Login, "dialog-password", "login", u"ログイン", u"ログイン"},
        {cmd::Logout, "system-log-out", "logout", u"ログアウト", u"ログアウト"},
        {.id = kSeparator},
        {cmd::WriteBackAll, "document-save-all", "write-back-all", u"復号中のファイルをすべて暗号化して戻す",
         u"すべて暗号化して戻す"},
        {cmd::UpOneLevel, "go-up", "up", u"上位フォルダーへ移動", u"上位フォルダーへ移動"},
        {.id = kSeparator},
        {cmd::ViewToggle, "view-list-icons", "view-toggle", u"表示の切り替え（アイコン／詳細）", u"表示の切り替え"},
        {cmd::Stop, "process-stop", "stop", u"処理を中止", u"中止"},
        {.id = kSeparator},
        {cmd::DragTakeOutEncrypted, "document-export", "take-out-encrypted",
         u"ドラッグ＆ドロップ操作で暗号化したまま取り出す", u"ドラッグ＆ドロップで暗号化したまま取り出す"},
    };
}

QList<AcceleratorRow> CCommandTable::Accelerators() {
    return {{QKeySequence(Qt::Key_Delete), cmd::Delete, false},
            {QKeySequence(Qt::SHIFT | Qt::Key_Delete), cmd::Delete, true},
            {QKeySequence(Qt::Key_F2), cmd::Rename, false},
            {QKeySequence(Qt::CTRL | Qt::Key_A), cmd::SelectAll, false},
            {QKeySequence(Qt::CTRL | Qt::Key_C), cmd::InsideCopy, false},
            {QKeySequence(Qt::CTRL | Qt::Key_X), cmd::InsideCut, false},
            {QKeySequence(Qt::CTRL | Qt::Key_U), cmd::UpOneLevel, false},
            {QKeySequence(Qt::CTRL | Qt::Key_V), cmd::Paste, false},
            {QKeySequence(Qt::CTRL | Qt::Key_Z), cmd::Undo, false},
            {QKeySequence(Qt::CTRL | Qt::Key_F), cmd::FindByName, false},
            {QKeySequence(Qt::Key_Return), cmd::OpenByEnter, false},
            {QKeySequence(Qt::Key_Enter), cmd::OpenByEnter, false}};
}

bool CCommandTable::IsPopupKey(const QKeyEvent& event) {
    const Qt::KeyboardModifiers mods = event.modifiers() & (Qt::ShiftModifier | Qt::ControlModifier | Qt::AltModifier);
    return (event.key() == Qt::Key_Menu && mods == Qt::NoModifier) ||
           (event.key() == Qt::Key_F10 && mods == Qt::ShiftModifier);
}

// ---- the window's rows ----

int CCommandTable::RowId(int id) const {
    const CommandRow* row = Row(id);
    return row ? row->id : id;
}

void CCommandTable::Bind(int id, Predicate enabled, Handler handler, Predicate checked) {
    Binding& binding = m_bindings[RowId(id)];
    binding.enabled = std::move(enabled);
    binding.handler = std::move(handler);
    binding.checked = std::move(checked);
}

void CCommandTable::BindPopup(int id, Handler handler) {
    m_bindings[RowId(id)].popup = std::move(handler);
}

bool CCommandTable::HasRule(int id) const {
    const auto it = m_bindings.constFind(RowId(id));
    return it != m_bindings.constEnd() && it->enabled;
}

bool CCommandTable::HasHandler(int id) const {
    const auto it = m_bindings.constFind(RowId(id));
    return it != m_bindings.constEnd() && (it->handler || it->popup);
}

QList<int> CCommandTable::Unbound() const {
    QList<int> ids;
    for (const CommandRow& row : Rows())
        if (row.owner == m_owner && (!HasRule(row.id) || !HasHandler(row.id)))
            ids.append(row.id);
    return ids;
}

bool CCommandTable::IsEnabled(int id) const {
    const CommandRow* row = Row(id);
    const auto it = m_bindings.constFind(RowId(id));
    if (!row || it == m_bindings.constEnd() || !it->enabled)
        return false;
    if (!row->whileBusy && isBusy && isBusy())
        return false;
    if (focusHolds && !focusHolds(row->focus))
        return false;
    return it->enabled();
}

bool CCommandTable::Run(int id) {
    const auto it = m_bindings.constFind(RowId(id));
    if (it == m_bindings.constEnd() || !it->handler || !IsEnabled(id))
        return false;
    const Handler handler = it->handler; // the work may bind again
    handler(id);
    return true;
}

bool CCommandTable::RunPopup(int id) {
    const auto it = m_bindings.constFind(RowId(id));
    if (it == m_bindings.constEnd())
        return false;
    if (!it->popup)
        return Run(id);
    const Handler popup = it->popup;
    popup(id);
    return true;
}

void CCommandTable::MakeActions(QObject* parent, const std::function<void(int id)>& trigger) {
    for (const CommandRow& row : Rows()) {
        if (row.owner != m_owner || row.count != 1 || m_actions.contains(row.id))
            continue;
        auto* action = new QAction(Text(row.id), parent);
        action->setData(row.id);
        action->setObjectName(QString::number(row.id));
        action->setCheckable(row.checkable);
        const int id = row.id;
        QObject::connect(action, &QAction::triggered, parent, [trigger, id] { trigger(id); });
        m_actions.insert(id, action);
    }
}

void CCommandTable::UpdateStates() {
    for (auto it = m_actions.cbegin(); it != m_actions.cend(); ++it) {
        it.value()->setEnabled(IsEnabled(it.key()));
        const auto binding = m_bindings.constFind(it.key());
        if (binding != m_bindings.constEnd() && binding->checked)
            it.value()->setChecked(binding->checked());
    }
}

} // namespace korimbo
