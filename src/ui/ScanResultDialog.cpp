#include "ui/ScanResultDialog.h"

#include "folder/ScanResultModel.h"
#include "ui/DialogButtons.h"
#include "ui/DialogHook.h"
#include "util/MessageNumbers.h"

#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QScreen>
#include <QTableView>
#include <QVBoxLayout>

#include <algorithm>

namespace korimbo {

namespace {

QString Heading(const FolderScanResult& result, MessageSource& messages) {
    const int damaged = result.Damaged();
    const QString first = messages.MsgA(damaged > 0 ? msg::kScanFoundDamage : msg::kScanOnlyOtherPassword);
    return first + QStringLiteral("\n\n検査した暗号ファイル：%1　壊れている・読み取れない：%2　別のパスワード：%3")
                       .arg(result.containers)
                       .arg(damaged)
                       .arg(result.OtherPassword());
}

} // namespace

CScanResultDialog::CScanResultDialog(const FolderScanResult& result, MessageSource& messages, QWidget* parent)
    : QDialog(parent) {
    setObjectName(QStringLiteral("CScanResultDialog"));
    setWindowTitle(QStringLiteral("整合性の検査の結果"));
    m_heading = new QLabel(Heading(result, messages), this);
    m_heading->setWordWrap(true);
    m_model = new CScanResultModel(messages, this);
    m_model->SetFindings(result.findings);
    m_table = new QTableView(this);
    m_table->setModel(m_model);
    m_table->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_table->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_table->setTabKeyNavigation(false);
    m_table->verticalHeader()->hide();
    m_table->horizontalHeader()->setStretchLastSection(true);
    m_table->resizeColumnsToContents();
    m_table->setAccessibleName(QStringLiteral("壊れている暗号ファイルの一覧"));
    if (m_model->rowCount() > 0)
        m_table->setCurrentIndex(m_model->index(0, 0));
    auto* label = new QLabel(QStringLiteral("暗号ファイル(&L)："), this);
    label->setBuddy(m_table);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(m_heading);
    layout->addWidget(label);
    layout->addWidget(m_table, 1);
    auto* close = new QPushButton(QStringLiteral("閉じる"), this);
    close->setObjectName(QStringLiteral("close"));
    layout->addLayout(ButtonRow(*this, close, nullptr));
    resize(WidthToShowAll(), 360);
    setAccessibleName(windowTitle());
    setAccessibleDescription(QStringLiteral("壊れている暗号ファイルと、別のパスワードの暗号ファイルの一覧です。"));
    close->setFocus();
}

// Wide enough for every column, the reason included, as far as the screen allows.
int CScanResultDialog::WidthToShowAll() const {
    int wanted = 2 * m_table->frameWidth() + 48;
    for (int column = 0; column < m_model->columnCount(); ++column)
        wanted += m_table->columnWidth(column);
    const QScreen* shown = screen();
    const int available = shown ? shown->availableGeometry().width() * 9 / 10 : 1200;
    return std::clamp(wanted, std::min(760, available), available);
}

int CScanResultDialog::Run() {
    return DialogHook::Exec(*this);
}

QString CScanResultDialog::HeadingText() const {
    return m_heading->text();
}

} // namespace korimbo
