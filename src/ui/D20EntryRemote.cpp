#include "ui/D20EntryRemote.h"

#include "ui/DialogButtons.h"
#include "ui/DialogHook.h"

#include <QCheckBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

namespace korimbo {

CD20EntryRemote::CD20EntryRemote(const QString& folder, QWidget* parent)
    : QDialog(parent), m_warning(new QLabel(this)),
      m_readOnly(new QCheckBox(QStringLiteral("読み取り専用で暗号フォルダーを登録する"), this)),
      m_ok(new QPushButton(QStringLiteral("OK"), this)), m_cancel(new QPushButton(QStringLiteral("キャンセル"), this)) {
    setObjectName(QStringLiteral("暗号フォルダー登録設定"));
    setWindowTitle(QStringLiteral("暗号フォルダー登録設定"));
    m_warning->setText(QStringLiteral(
        "このフォルダーはネットワーク上にあります。\n"
        "ネットワーク上の暗号フォルダーを複数の利用者が同時に更新すると、ファイルの内容や暗号フォルダーの情報が"
        "正しく保存されないことがあるため、安全ではありません。\n"
        "複数の利用者で使用する場合は、内容を更新する利用者を一人に限り、ほかの利用者は読み取り専用で登録してください"
        "。"));
    m_warning->setWordWrap(true);
    m_warning->setTextFormat(Qt::PlainText);
    m_warning->setMinimumWidth(420);

    auto* path = new QLineEdit(folder, this);
    path->setReadOnly(true);
    path->setCursorPosition(static_cast<int>(folder.size()));
    path->setVisible(!folder.isEmpty());

    auto* buttons = ButtonRow(*this, m_ok, m_cancel);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(m_warning);
    layout->addWidget(path);
    layout->addWidget(m_readOnly);
    layout->addLayout(buttons);
    setAccessibleName(windowTitle());
    setAccessibleDescription(m_warning->text());
    path->setAccessibleName(QStringLiteral("登録する暗号フォルダー"));
}

int CD20EntryRemote::Run() {
    return DialogHook::Exec(*this) == QDialog::Accepted ? QDialog::Accepted : QDialog::Rejected;
}

bool CD20EntryRemote::ReadOnly() const {
    return m_readOnly->isChecked();
}

} // namespace korimbo
