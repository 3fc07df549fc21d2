#include "ui/D11UpPassword.h"

#include "ui/D12UpPasswordIn.h"
#include "ui/DialogButtons.h"
#include "ui/DialogHook.h"
#include "util/Interaction.h"
#include "util/MessageNumbers.h"
#include "util/MessageSource.h"
#include "util/MessageText.h"

#include <QAction>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QMenu>
#include <QPushButton>
#include <QTreeWidget>
#include <QVBoxLayout>

namespace korimbo {

namespace {

enum Column { kNameColumn = 0, kPasswordColumn = 1, kHintColumn = 2 };

} // namespace

CD11UpPassword::CD11UpPassword(Interaction& ui, MessageSource& messages, QWidget* parent)
    : QDialog(parent), m_ui(ui), m_messages(messages), m_list(new QTreeWidget(this)),
      m_new(new QPushButton(QStringLiteral("新規"), this)), m_up(new QPushButton(QStringLiteral("▲"), this)),
      m_down(new QPushButton(QStringLiteral("▼"), this)), m_ok(new QPushButton(QStringLiteral("OK"), this)),
      m_cancel(new QPushButton(QStringLiteral("キャンセル"), this)), m_popup(new QMenu(this)),
      m_edit(m_popup->addAction(QStringLiteral("変更..."))), m_delete(m_popup->addAction(QStringLiteral("削除"))) {
    setObjectName(QStringLiteral("変更用パスワード登録"));
    setWindowTitle(QStringLiteral("変更用パスワード登録"));

    m_list->setColumnCount(3);
    m_list->setHeaderLabels({QStringLiteral("識別名称"), QStringLiteral("パスワード"), QStringLiteral("ヒント")});
    m_list->setRootIsDecorated(false);
    m_list->setItemsExpandable(false);
    m_list->setAllColumnsShowFocus(true);
    m_list->setSelectionMode(QAbstractItemView::SingleSelection);
    m_list->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_list->setContextMenuPolicy(Qt::CustomContextMenu);
    m_list->header()->resizeSection(kNameColumn, 180);
    m_list->header()->resizeSection(kPasswordColumn, 180);

    connect(m_new, &QPushButton::clicked, this, &CD11UpPassword::NewEntry);
    connect(m_up, &QPushButton::clicked, this, &CD11UpPassword::MoveUp);
    connect(m_down, &QPushButton::clicked, this, &CD11UpPassword::MoveDown);
    connect(m_edit, &QAction::triggered, this, &CD11UpPassword::EditSelected);
    connect(m_delete, &QAction::triggered, this, &CD11UpPassword::DeleteSelected);
    connect(m_list, &QTreeWidget::customContextMenuRequested, this, &CD11UpPassword::ShowPopup);
    connect(m_list, &QTreeWidget::itemDoubleClicked, this, &CD11UpPassword::EditSelected);

    auto* side = new QVBoxLayout;
    side->addWidget(m_new);
    side->addWidget(m_up);
    side->addWidget(m_down);
    side->addStretch(1);

    auto* top = new QHBoxLayout;
    top->addWidget(m_list, 1);
    top->addLayout(side);

    auto* buttons = ButtonRow(*this, m_ok, m_cancel);

    auto* layout = new QVBoxLayout(this);
    layout->addLayout(top, 1);
    layout->addLayout(buttons);
    resize(600, 360);
    setAccessibleName(windowTitle());
    setAccessibleDescription(QStringLiteral("変更用パスワードの一覧です。メニュー キーで変更と削除のメニューを開きます。"));
    m_list->setAccessibleName(QStringLiteral("変更用パスワードの一覧"));
    m_up->setAccessibleName(QStringLiteral("上へ移動"));
    m_down->setAccessibleName(QStringLiteral("下へ移動"));
    m_edit->setText(QStringLiteral("変更(&E)..."));
    m_delete->setText(QStringLiteral("削除(&D)"));
}

// The passwords leave the widget when the dialog goes.
CD11UpPassword::~CD11UpPassword() {
    m_list->clear();
}

void CD11UpPassword::AddRow(const ChangePasswordText& entry) {
    new QTreeWidgetItem(m_list, {entry.name, entry.password, entry.hint});
}

void CD11UpPassword::SetEntries(const QList<ChangePasswordText>& entries) {
    m_list->clear();
    for (const ChangePasswordText& entry : entries)
        AddRow(entry);
    if (m_list->topLevelItemCount() > 0)
        m_list->setCurrentItem(m_list->topLevelItem(0));
}

QList<ChangePasswordText> CD11UpPassword::Entries() const {
    QList<ChangePasswordText> entries;
    for (int i = 0; i < m_list->topLevelItemCount(); ++i) {
        const QTreeWidgetItem* item = m_list->topLevelItem(i);
        entries.append({item->text(kNameColumn), item->text(kPasswordColumn), item->text(kHintColumn)});
    }
    return entries;
}

int CD11UpPassword::Run() {
    return DialogHook::Exec(*this) == QDialog::Accepted ? QDialog::Accepted : QDialog::Rejected;
}

void CD11UpPassword::NewEntry() {
    if (m_list->topLevelItemCount() >= kMaxEntries) {
        ReportMessage(m_ui, m_messages, msg::kChangeListFull,
                      QString::number(kMaxEntries) + m_messages.MsgA(msg::kChangeListFullTail), Icon::Warning);
        return;
    }
    CD12UpPasswordIn entry(m_ui, m_messages, this);
    if (entry.Run() != QDialog::Accepted)
        return;
    AddRow({entry.Name(), entry.Password(), entry.Hint()});
    m_list->setCurrentItem(m_list->topLevelItem(m_list->topLevelItemCount() - 1));
}

void CD11UpPassword::EditSelected() {
    QTreeWidgetItem* item = m_list->currentItem();
    if (item == nullptr)
        return;
    CD12UpPasswordIn entry(m_ui, m_messages, this);
    entry.SetEntry(item->text(kNameColumn), item->text(kPasswordColumn), item->text(kHintColumn));
    if (entry.Run() != QDialog::Accepted)
        return;
    item->setText(kNameColumn, entry.Name());
    item->setText(kPasswordColumn, entry.Password());
    item->setText(kHintColumn, entry.Hint());
}

void CD11UpPassword::DeleteSelected() {
    const int row = m_list->indexOfTopLevelItem(m_list->currentItem());
    if (row < 0)
        return;
    delete m_list->takeTopLevelItem(row);
}

void CD11UpPassword::MoveUp() {
    Move(-1);
}

void CD11UpPassword::MoveDown() {
    Move(1);
}

void CD11UpPassword::Move(int step) {
    const int row = m_list->indexOfTopLevelItem(m_list->currentItem());
    const int target = row + step;
    if (row < 0 || target < 0 || target >= m_list->topLevelItemCount())
        return;
    QTreeWidgetItem* item = m_list->takeTopLevelItem(row);
    m_list->insertTopLevelItem(target, item);
    m_list->setCurrentItem(item);
}

void CD11UpPassword::ShowPopup(const QPoint& pos) {
    QTreeWidgetItem* item = m_list->itemAt(pos);
    if (item != nullptr)
        m_list->setCurrentItem(item);
    m_edit->setEnabled(item != nullptr);
    m_delete->setEnabled(item != nullptr);
    m_popup->exec(m_list->viewport()->mapToGlobal(pos));
}

void CD11UpPassword::accept() {
    int row = -1;
    if (m_check && !m_check(Entries(), row)) {
        if (row >= 0 && row < m_list->topLevelItemCount())
            m_list->setCurrentItem(m_list->topLevelItem(row));
        return;
    }
    QDialog::accept();
}

} // namespace korimbo
