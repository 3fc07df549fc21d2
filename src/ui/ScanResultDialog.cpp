#include "ui/ScanResultDialog.h"

#include "folder/ScanResultModel.h"
#include "ui/DialogButtons.h"
#include "ui/DialogHook.h"
#include "util/MessageNumbers.h"

#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QTableView>
#include <QVBoxLayout>

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
    resize(760, 360);
    setAccessibleName(windowTitle());
    setAccessibleDescription(QStringLiteral("壊れている暗号ファイルと、別のパスワードの暗号ファイルの一覧です。"));
    close->setFocus();
}

int CScanResultDialog::Run() {
    return DialogHook::Exec(*this);
}

QString CScanResultDialog::HeadingText() const {
    return m_heading->text();
}

} // namespace korimbo
