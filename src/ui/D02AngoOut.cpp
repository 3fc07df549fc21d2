#include "ui/D02AngoOut.h"

#include "ui/DialogButtons.h"
#include "ui/DialogHook.h"

#include <QCheckBox>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

namespace korimbo {

QString NamingBoxText() {
    return QStringLiteral("取り出す暗号ファイル名に元のファイル名を使用する");
}

CD02AngoOut::CD02AngoOut(bool nameAfterPlain, QWidget* parent)
    : QDialog(parent), m_naming(new QCheckBox(NamingBoxText(), this)),
      m_ok(new QPushButton(QStringLiteral("OK"), this)), m_cancel(new QPushButton(QStringLiteral("キャンセル"), this)) {
    setObjectName(QStringLiteral("暗号化したまま取り出し"));
    setWindowTitle(QStringLiteral("暗号化したまま取り出し"));
    m_naming->setObjectName(QStringLiteral("naming"));
    m_naming->setChecked(nameAfterPlain);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(new QLabel(QStringLiteral("選択されたファイル／フォルダーを暗号化したまま取り出します。"), this));
    layout->addSpacing(8);
    layout->addWidget(m_naming);
    layout->addLayout(ButtonRow(*this, m_ok, m_cancel));
    setAccessibleName(windowTitle());
    setAccessibleDescription(QStringLiteral("選択されたファイル／フォルダーを暗号化したまま取り出します。"));
}

int CD02AngoOut::Run() {
    return DialogHook::Exec(*this) == QDialog::Accepted ? QDialog::Accepted : QDialog::Rejected;
}

bool CD02AngoOut::NameAfterPlain() const {
    return m_naming->isChecked();
}

} // namespace korimbo
