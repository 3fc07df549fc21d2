#include "ui/D08Password.h"

#include "crypto/CryptEngine.h"
#include "ui/DialogButtons.h"
#include "ui/DialogHook.h"
#include "util/SecretText.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include <utility>

namespace korimbo {

QString PasswordRangeText() {
    return QStringLiteral("%1～%2").arg(kMinPasswordLength).arg(kMaxPasswordLength);
}

int StrengthOf(const QString& password) {
    return CCryptEngine::PasswordStrength(password);
}

void WipeText(QString& text) {
    WipeString(text);
}

// The field's text() shares the field's buffer, so wiping it overwrites what the field held.
void WipeField(QLineEdit& edit) {
    QString text = edit.text();
    WipeString(text);
    edit.clear();
}

CD08Password::CD08Password(PasswordPrompts::PromptMode mode, MessageSource& messages, QWidget* parent)
    : QDialog(parent), m_prompt(new QLabel(this)), m_edit(new QLineEdit(this)),
      m_ok(new QPushButton(QStringLiteral("OK"), this)), m_cancel(new QPushButton(QStringLiteral("キャンセル"), this)) {
    int caption = 505;
    int prompt = 506;
    if (mode == PasswordPrompts::PromptMode::kAdminBeforeList) {
        caption = 501;
        prompt = 502;
    } else if (mode == PasswordPrompts::PromptMode::kAdminBeforeChange) {
        caption = 503;
        prompt = 504;
    }
    setObjectName(QStringLiteral("パスワード認証"));
    setWindowTitle(messages.MsgA(caption));
    m_prompt->setObjectName(QStringLiteral("1060"));
    m_prompt->setText(messages.MsgA(prompt));
    m_prompt->setWordWrap(true);
    m_prompt->setTextFormat(Qt::PlainText);
    m_edit->setObjectName(QStringLiteral("1043"));
    m_edit->setEchoMode(QLineEdit::Password);
    m_edit->setMinimumWidth(300);

    auto* buttons = ButtonRow(*this, m_ok, m_cancel);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(m_prompt);
    layout->addWidget(m_edit);
    layout->addLayout(buttons);
    m_edit->setFocus();
    setAccessibleName(windowTitle());
    setAccessibleDescription(m_prompt->text());
    m_edit->setAccessibleName(QStringLiteral("パスワード"));
    m_edit->setAccessibleDescription(m_prompt->text());
}

CD08Password::~CD08Password() {
    WipeText(m_password);
}

PasswordPrompts::Answer CD08Password::Run() {
    const int result = DialogHook::Exec(*this);
    if (result == QDialog::Accepted)
        return PasswordPrompts::Answer::kOk;
    return result == kInvalidCode ? PasswordPrompts::Answer::kInvalid : PasswordPrompts::Answer::kCancel;
}

// Handed over, not copied: the caller wipes it after use.
QString CD08Password::TakePassword() {
    return std::exchange(m_password, QString());
}

// OK closes the dialog either way: the caller reports a password outside the rules with its own message.
void CD08Password::accept() {
    QString typed = m_edit->text();
    if (CCryptEngine::KeepsPasswordRules(typed)) {
        m_password = DeepCopy(typed);
        WipeText(typed);
        QDialog::accept();
        return;
    }
    WipeText(typed);
    done(kInvalidCode);
}

// The field is emptied however the dialog closes, so no password stays in the widget.
void CD08Password::done(int result) {
    WipeField(*m_edit);
    QDialog::done(result);
}

} // namespace korimbo
