#include "ui/NameSearchWindow.h"

#include "folder/NameSearchModel.h"

#include <QCheckBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTreeView>
#include <QVBoxLayout>

namespace korimbo {

CNameSearchWindow::CNameSearchWindow(const CNameSearch& search, QWidget* parent)
    : QDialog(parent), m_search(search), m_model(new CNameSearchModel(this)) {
    setObjectName(QStringLiteral("nameSearchWindow"));
    setWindowTitle(QStringLiteral("名前で検索"));
    setAccessibleName(QStringLiteral("名前で検索"));
    setModal(false);
    BuildLayout();
    m_typingPause.setSingleShot(true);
    m_typingPause.setInterval(kTypingPauseMs);
    connect(&m_typingPause, &QTimer::timeout, this, &CNameSearchWindow::SearchNow);
    connect(m_query, &QLineEdit::textChanged, this, [this] { m_typingPause.start(); });
    connect(m_results, &QTreeView::doubleClicked, this, [this](const QModelIndex& index) { ChooseRow(index.row()); });
    connect(m_choose, &QPushButton::clicked, this, &CNameSearchWindow::ChooseCurrent);
    connect(m_close, &QPushButton::clicked, this, &QDialog::reject);
    connect(m_model, &QAbstractItemModel::modelReset, this, [this] { m_choose->setEnabled(m_model->rowCount() > 0); });
    connect(m_model, &QAbstractItemModel::rowsRemoved, this, [this] { ShowCount(); });
    connect(m_everyFolder, &QCheckBox::toggled, this, [this](bool on) {
        if (on && everyFolderChosen)
            everyFolderChosen();
        ShowScope();
        SearchNow();
    });
    resize(560, 420);
}

CNameSearchWindow::~CNameSearchWindow() = default;

void CNameSearchWindow::BuildLayout() {
    auto* queryLabel = new QLabel(QStringLiteral("検索する名前(&N):"), this);
    m_query = new QLineEdit(this);
    m_query->setObjectName(QStringLiteral("searchQuery"));
    m_query->setAccessibleName(QStringLiteral("検索する名前"));
    m_query->setClearButtonEnabled(true);
    m_query->installEventFilter(this);
    queryLabel->setBuddy(m_query);
    m_scope = new QLabel(this);
    m_scope->setObjectName(QStringLiteral("searchScope"));
    m_scope->setTextInteractionFlags(Qt::TextSelectableByMouse);
    m_everyFolder = new QCheckBox(QStringLiteral("ログイン中のすべての暗号フォルダーを検索する(&A)"), this);
    m_everyFolder->setObjectName(QStringLiteral("searchEveryFolder"));
    m_everyFolder->setAccessibleName(QStringLiteral("ログイン中のすべての暗号フォルダーを検索する"));

    auto* resultsLabel = new QLabel(QStringLiteral("見つかった項目(&R):"), this);
    m_results = new QTreeView(this);
    m_results->setObjectName(QStringLiteral("searchResults"));
    m_results->setAccessibleName(QStringLiteral("見つかった項目"));
    m_results->setRootIsDecorated(false);
    m_results->setUniformRowHeights(true);
    m_results->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_results->setSelectionMode(QAbstractItemView::SingleSelection);
    m_results->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_results->setModel(m_model);
    m_results->header()->resizeSection(CNameSearchModel::kName, 220);
    m_results->installEventFilter(this);
    resultsLabel->setBuddy(m_results);
    m_count = new QLabel(this);
    m_count->setObjectName(QStringLiteral("searchCount"));

    m_choose = new QPushButton(QStringLiteral("選択(&S)"), this);
    m_choose->setObjectName(QStringLiteral("searchChoose"));
    m_choose->setAccessibleName(QStringLiteral("選択"));
    m_choose->setAutoDefault(false);
    m_choose->setEnabled(false);
    m_close = new QPushButton(QStringLiteral("閉じる(&C)"), this);
    m_close->setObjectName(QStringLiteral("searchClose"));
    m_close->setAccessibleName(QStringLiteral("閉じる"));
    m_close->setAutoDefault(false);

    auto* buttons = new QHBoxLayout;
    buttons->addWidget(m_count, 1);
    buttons->addWidget(m_choose);
    buttons->addWidget(m_close);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(queryLabel);
    layout->addWidget(m_query);
    layout->addWidget(m_scope);
    layout->addWidget(m_everyFolder);
    layout->addWidget(resultsLabel);
    layout->addWidget(m_results, 1);
    layout->addLayout(buttons);
    setTabOrder(m_query, m_everyFolder);
    setTabOrder(m_everyFolder, m_results);
    setTabOrder(m_results, m_choose);
    setTabOrder(m_choose, m_close);
}

void CNameSearchWindow::SetFolder(const QString& folder) {
    m_folder = folder;
    ShowScope();
    SearchNow();
}

bool CNameSearchWindow::EveryFolder() const {
    return m_everyFolder->isChecked();
}

void CNameSearchWindow::ShowScope() {
    if (EveryFolder())
        m_scope->setText(QStringLiteral("検索する暗号フォルダー: ログイン中のすべて"));
    else if (m_folder.isEmpty())
        m_scope->setText(QStringLiteral("検索する暗号フォルダー: （ログインしていません）"));
    else
        m_scope->setText(QStringLiteral("検索する暗号フォルダー: ") + m_folder);
}

void CNameSearchWindow::ForgetFolder(const QString& folder) {
    m_model->ForgetFolder(folder);
    if (m_folder != folder)
        return;
    m_folder.clear();
    ShowScope();
    SearchNow();
}

void CNameSearchWindow::SearchNow() {
    m_typingPause.stop();
    if ((m_folder.isEmpty() && !EveryFolder()) || m_query->text().isEmpty())
        m_model->Clear();
    else
        m_model->SetFound(m_search.Find(m_query->text(), kShownLimit, EveryFolder() ? QString() : m_folder));
    if (m_model->rowCount() > 0)
        m_results->setCurrentIndex(m_model->index(0, 0));
    ShowCount();
}

void CNameSearchWindow::FocusQuery() {
    m_query->setFocus(Qt::ShortcutFocusReason);
    m_query->selectAll();
}

QString CNameSearchWindow::CountText() const {
    return m_count->text();
}

void CNameSearchWindow::ShowCount() {
    m_choose->setEnabled(m_model->rowCount() > 0);
    if (m_query->text().isEmpty() || (m_folder.isEmpty() && !EveryFolder())) {
        m_count->clear();
        return;
    }
    const int total = m_model->Total();
    if (total == 0)
        m_count->setText(QStringLiteral("見つかりませんでした。"));
    else if (total > m_model->rowCount())
        m_count->setText(QStringLiteral("%1 件（最初の %2 件を表示）").arg(total).arg(m_model->rowCount()));
    else
        m_count->setText(QStringLiteral("%1 件").arg(total));
}

int CNameSearchWindow::CurrentRow() const {
    const QModelIndex current = m_results->currentIndex();
    return current.isValid() ? current.row() : (m_model->rowCount() > 0 ? 0 : -1);
}

void CNameSearchWindow::ChooseCurrent() {
    // A query still waiting for its pause runs first, so Enter right after typing chooses from its rows.
    if (m_typingPause.isActive())
        SearchNow();
    ChooseRow(CurrentRow());
}

void CNameSearchWindow::ChooseRow(int row) {
    if (row < 0 || row >= m_model->rowCount() || !choose)
        return;
    const NameHit hit = m_model->Hit(row); // the choice may change the rows
    choose(hit);
}

// Enter chooses from the box and from the rows; the arrows go from the box into the rows and back.
bool CNameSearchWindow::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() != QEvent::KeyPress)
        return QDialog::eventFilter(watched, event);
    const auto* key = static_cast<QKeyEvent*>(event);
    const bool enter = key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter;
    if (enter && key->modifiers() == Qt::NoModifier) {
        ChooseCurrent();
        return true;
    }
    if (watched == m_query && (key->key() == Qt::Key_Down || key->key() == Qt::Key_PageDown)) {
        if (m_typingPause.isActive())
            SearchNow();
        if (m_model->rowCount() == 0)
            return true;
        m_results->setFocus(Qt::TabFocusReason);
        const int row = CurrentRow();
        m_results->setCurrentIndex(m_model->index(row, 0));
        return true;
    }
    if (watched == m_results && key->key() == Qt::Key_Up && m_results->currentIndex().row() <= 0) {
        m_query->setFocus(Qt::TabFocusReason);
        return true;
    }
    return QDialog::eventFilter(watched, event);
}

} // namespace korimbo
