#include "ui/D03PassChange.h"

#include "ui/D02AngoOut.h"
#include "ui/DialogButtons.h"
#include "ui/DialogHook.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFormLayout>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>

namespace korimbo {

namespace {

void Wipe(QString& text) {
    text.fill(u'\0');
    text.clear();
}

} // namespace

CD03PassChange::CD03PassChange(const QList<ChangePasswordText>& registered, bool nameAfterPlain,
                               TakeOutPrompts::PasswordCheck check, QWidget* parent)
    : QDialog(parent), m_registered(registered), m_check(std::move(check)),
      m_useRegistered(new QRadioButton(QStringLiteral("登録済みの変更用パスワードを選択する"), this)),
      m_useTyped(new QRadioButton(QStringLiteral("新しいパスワードを入力する"), this)), m_list(new QComboBox(this)),
      m_password(new QLineEdit(this)), m_hint(new QLineEdit(this)), m_name(new QLineEdit(this)),
      m_naming(new QCheckBox(NamingBoxText(), this)), m_ok(new QPushButton(QStringLiteral("OK"), this)),
      m_cancel(new QPushButton(QStringLiteral("キャンセル"), this)) {
    setObjectName(QStringLiteral("暗号化のパスワード変更"));
    setWindowTitle(QStringLiteral("暗号化のパスワード変更"));
    m_useRegistered->setObjectName(QStringLiteral("registered"));
    m_useTyped->setObjectName(QStringLiteral("typed"));
    m_password->setObjectName(QStringLiteral("password"));
    m_hint->setObjectName(QStringLiteral("hint"));
    m_name->setObjectName(QStringLiteral("name"));
    m_naming->setObjectName(QStringLiteral("naming"));
    m_password->setEchoMode(QLineEdit::Password);
    m_password->setMinimumWidth(260);
    for (const ChangePasswordText& entry : m_registered)
        m_list->addItem(entry.name);
    m_naming->setChecked(nameAfterPlain);

    auto* typed = new QFormLayout;
    typed->addRow(QStringLiteral("パスワード(&P):"), m_password);
    typed->addRow(QStringLiteral("ヒント(&H):"), m_hint);
    typed->addRow(QStringLiteral("識別名称(&N):"), m_name);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(m_useRegistered);
    layout->addWidget(m_list);
    layout->addWidget(m_useTyped);
    layout->addLayout(typed);
    layout->addSpacing(8);
    layout->addWidget(m_naming);
    layout->addLayout(ButtonRow(*this, m_ok, m_cancel));

    // Without registered change passwords there is only the typed one.
    m_useRegistered->setEnabled(!m_registered.isEmpty());
    (m_registered.isEmpty() ? m_useTyped : m_useRegistered)->setChecked(true);
    connect(m_useRegistered, &QRadioButton::toggled, this, &CD03PassChange::FollowChoice);
    FollowChoice();
    setAccessibleName(windowTitle());
    setAccessibleDescription(QStringLiteral("登録済みの変更用パスワードを選ぶか、新しいパスワードを入力して取り出します。"));
    m_list->setAccessibleName(QStringLiteral("登録済みの変更用パスワード"));
    m_password->setAccessibleName(QStringLiteral("パスワード"));
    m_hint->setAccessibleName(QStringLiteral("ヒント"));
    m_name->setAccessibleName(QStringLiteral("識別名称"));
}

CD03PassChange::~CD03PassChange() {
    Wipe(m_chosen.password);
    for (ChangePasswordText& entry : m_registered)
        Wipe(entry.password);
}

void CD03PassChange::FollowChoice() {
    const bool registered = m_useRegistered->isChecked();
    m_list->setEnabled(registered);
    for (QLineEdit* edit : {m_password, m_hint, m_name})
        edit->setEnabled(!registered);
    (registered ? static_cast<QWidget*>(m_list) : m_password)->setFocus();
}

int CD03PassChange::Run() {
    return DialogHook::Exec(*this) == QDialog::Accepted ? QDialog::Accepted : QDialog::Rejected;
}

bool CD03PassChange::NameAfterPlain() const {
    return m_naming->isChecked();
}

void CD03PassChange::accept() {
    TakeOutPrompts::NewPassword chosen;
    if (m_useRegistered->isChecked()) {
        const int index = m_list->currentIndex();
        if (index < 0 || index >= m_registered.size())
            return;
        chosen.registered = true;
        chosen.name = m_registered[index].name;
        chosen.password = m_registered[index].password;
        chosen.hint = m_registered[index].hint;
    } else {
        chosen.password = m_password->text();
        chosen.hint = m_hint->text();
        chosen.name = m_name->text();
        // A refused password keeps the dialog open for another try.
        if (m_check && !m_check(chosen.password, chosen.hint)) {
            Wipe(chosen.password);
            m_password->setFocus();
            m_password->selectAll();
            return;
        }
    }
    Wipe(m_chosen.password);
    m_chosen = chosen;
    Wipe(chosen.password);
    QDialog::accept();
}

void CD03PassChange::done(int result) {
    m_password->setText(QString());
    QDialog::done(result);
}

} // namespace korimbo
