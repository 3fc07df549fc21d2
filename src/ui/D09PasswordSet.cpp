#include "ui/D09PasswordSet.h"

#include "app/Kelpie5App.h"
#include "ui/D08Password.h"
#include "ui/DialogButtons.h"
#include "ui/DialogHook.h"
#include "util/MessageNumbers.h"
#include "util/MessageText.h"
#include "util/SecretText.h"
#include "workspace/PasswordPrompts.h"

#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>

#include <utility>
#include <QVBoxLayout>

namespace korimbo {

CD09PasswordSet::CD09PasswordSet(PasswordPrompts::SetMode mode, const QString& folder, Ckelpie5App& app,
                                 QWidget* parent)
    : QDialog(parent), m_app(app), m_ui(app.Svc().ui), m_messages(app.State().engine->Messages()), m_mode(mode),
      m_password(new QLineEdit(this)), m_confirm(new QLineEdit(this)), m_hint(new QLineEdit(this)),
      m_strength(new QProgressBar(this)), m_info(new QLabel(this)), m_folder(new QLineEdit(this)),
      m_ok(new QPushButton(QStringLiteral("OK"), this)), m_cancel(new QPushButton(QStringLiteral("キャンセル"), this)) {
    const bool registering = mode == PasswordPrompts::SetMode::kRegisterFolder;
    setObjectName(QStringLiteral("パスワード入力"));
    setWindowTitle(m_messages.MsgA(registering ? msg::kTitleRegisterPassword : msg::kTitleSetPassword));

    m_password->setObjectName(QStringLiteral("1044"));
    m_confirm->setObjectName(QStringLiteral("1046"));
    m_hint->setObjectName(QStringLiteral("1047"));
    m_strength->setObjectName(QStringLiteral("1042"));
    m_info->setObjectName(QStringLiteral("1054"));
    m_folder->setObjectName(QStringLiteral("1079"));

    m_password->setEchoMode(QLineEdit::Password);
    m_confirm->setEchoMode(QLineEdit::Password);
    m_hint->setMaxLength(kMaxHintLength);
    m_strength->setRange(0, kMaxStrength);
    m_strength->setValue(0);
    m_strength->setTextVisible(false);
    m_info->setText(m_messages.MsgA(registering ? msg::kInfoRegisterPassword : msg::kInfoSetPassword));
    m_info->setWordWrap(true);
    m_info->setTextFormat(Qt::PlainText);
    m_folder->setReadOnly(true);
    if (registering) {
        // Long paths show their end, where the folder's own name is.
        m_folder->setText(folder);
        m_folder->setCursorPosition(static_cast<int>(folder.size()));
    }
    m_folder->setMinimumWidth(360);

    connect(m_password, &QLineEdit::textChanged, this,
            [this](const QString& text) { m_strength->setValue(StrengthOf(text)); });

    auto* form = new QFormLayout;
    form->addRow(QStringLiteral("暗号フォルダー:"), m_folder);
    form->addRow(QStringLiteral("パスワード(&P):"), m_password);
    form->addRow(QStringLiteral("パスワードの確認(&C):"), m_confirm);
    form->addRow(QStringLiteral("パスワードの強度:"), m_strength);
    form->addRow(QStringLiteral("ヒント(&H):"), m_hint);

    auto* buttons = ButtonRow(*this, m_ok, m_cancel);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(m_info);
    layout->addLayout(form);
    layout->addLayout(buttons);
    m_password->setFocus();
    setAccessibleName(windowTitle());
    setAccessibleDescription(m_info->text());
    m_folder->setAccessibleName(QStringLiteral("暗号フォルダー"));
    m_password->setAccessibleName(QStringLiteral("パスワード"));
    m_confirm->setAccessibleName(QStringLiteral("パスワードの確認"));
    m_strength->setAccessibleName(QStringLiteral("パスワードの強度"));
    m_hint->setAccessibleName(QStringLiteral("ヒント"));
}

CD09PasswordSet::~CD09PasswordSet() {
    WipeText(m_acceptedPassword);
}

void CD09PasswordSet::SetHint(const QString& hint) {
    m_hint->setText(hint);
}

void CD09PasswordSet::SetHintEnabled(bool enabled) {
    m_hint->setEnabled(enabled);
}

int CD09PasswordSet::Run() {
    return DialogHook::Exec(*this) == QDialog::Accepted ? QDialog::Accepted : QDialog::Rejected;
}

// Handed over, not copied: the caller wipes it after use.
QString CD09PasswordSet::TakePassword() {
    return std::exchange(m_acceptedPassword, QString());
}

void CD09PasswordSet::Refuse(int number, const QString& tail, QLineEdit* focus) {
    ReportMessage(m_ui, m_messages, number, tail, Icon::Warning);
    focus->setFocus();
}

bool CD09PasswordSet::Confirm(int number) {
    return m_ui.Message(m_messages.MsgA(number), Icon::Question, Buttons::YesNo, 0, number) == kAnswerYes;
}

// The checks run in a fixed order and stop at the first refusal; the dialog then stays open.
void CD09PasswordSet::accept() {
    QString password = m_password->text();
    const QString hint = m_hint->text();
    // A refusal keeps the dialog open with the fields as typed: only this reference is let go.
    const auto keep = [&password] { password.clear(); };

    if (password.size() < kMinPasswordLength || password.size() > kMaxPasswordLength) {
        Refuse(msg::kSetPasswordLength, PasswordRangeText() + m_messages.MsgA(msg::kSetPasswordLengthTail), m_password);
        return keep();
    }
    if (!CCryptEngine::HasAllowedPasswordChars(password)) {
        Refuse(msg::kPasswordChars, QString(), m_password);
        return keep();
    }
    if (m_confirm->text() != password) {
        Refuse(msg::kConfirmationDiffers, QString(), m_confirm);
        return keep();
    }
    // A password must not be one of the registered change passwords; the manager says so itself.
    if (m_app.Passwords().RefuseChangePassword(password)) {
        m_password->setFocus();
        return keep();
    }
    if (hint.size() > kMaxHintLength) {
        Refuse(msg::kHintTooLong, QString::number(kMaxHintLength) + m_messages.MsgA(msg::kHintTooLongTail), m_hint);
        return keep();
    }
    if (hint == password) {
        Refuse(msg::kHintIsPassword, QString(), m_hint);
        return keep();
    }
    if (StrengthOf(password) < 25) {
        if (!Confirm(msg::kWeakPassword))
            return keep();
    } else if (!Confirm(m_mode == PasswordPrompts::SetMode::kRegisterFolder ? msg::kRegisterWithPassword
                                                                            : msg::kSetThisPassword)) {
        return keep();
    }
    m_acceptedPassword = DeepCopy(password);
    m_acceptedHint = hint;
    WipeText(password);
    QDialog::accept();
}

// Both password fields are emptied however the dialog closes.
void CD09PasswordSet::done(int result) {
    WipeField(*m_password);
    WipeField(*m_confirm);
    QDialog::done(result);
}

} // namespace korimbo
