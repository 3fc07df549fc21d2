#include "ui/D12UpPasswordIn.h"

#include "crypto/CryptEngine.h"
#include "ui/D08Password.h"
#include "ui/DialogButtons.h"
#include "ui/DialogHook.h"
#include "util/Interaction.h"
#include "util/MessageNumbers.h"
#include "util/MessageSource.h"
#include "util/MessageText.h"

#include <QFormLayout>
#include <QHBoxLayout>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QVBoxLayout>

namespace korimbo {

namespace {

constexpr int kMaxNameLength = 48;

} // namespace

CD12UpPasswordIn::CD12UpPasswordIn(Interaction& ui, MessageSource& messages, QWidget* parent)
    : QDialog(parent), m_ui(ui), m_messages(messages), m_name(new QLineEdit(this)), m_password(new QLineEdit(this)),
      m_hint(new QLineEdit(this)), m_strength(new QProgressBar(this)),
      m_ok(new QPushButton(QStringLiteral("OK"), this)), m_cancel(new QPushButton(QStringLiteral("キャンセル"), this)) {
    setObjectName(QStringLiteral("変更用パスワード入力"));
    setWindowTitle(QStringLiteral("変更用パスワード入力"));
    m_name->setObjectName(QStringLiteral("1058"));
    m_password->setObjectName(QStringLiteral("1044"));
    m_hint->setObjectName(QStringLiteral("1045"));
    m_strength->setObjectName(QStringLiteral("1059"));
    m_strength->setRange(0, kMaxStrength);
    m_strength->setValue(0);
    m_strength->setTextVisible(false);
    m_name->setMinimumWidth(300);

    connect(m_password, &QLineEdit::textChanged, this,
            [this](const QString& text) { m_strength->setValue(StrengthOf(text)); });

    auto* form = new QFormLayout;
    form->addRow(QStringLiteral("識別名称(&N):"), m_name);
    form->addRow(QStringLiteral("パスワード(&P):"), m_password);
    form->addRow(QStringLiteral("パスワードの強度:"), m_strength);
    form->addRow(QStringLiteral("ヒント(&H):"), m_hint);

    auto* buttons = ButtonRow(*this, m_ok, m_cancel);

    auto* layout = new QVBoxLayout(this);
    layout->addLayout(form);
    layout->addLayout(buttons);
    m_name->setFocus();
    setAccessibleName(windowTitle());
    setAccessibleDescription(QStringLiteral("変更用パスワードの識別名称、パスワード、ヒントを入力します。"));
    m_name->setAccessibleName(QStringLiteral("識別名称"));
    m_password->setAccessibleName(QStringLiteral("パスワード"));
    m_strength->setAccessibleName(QStringLiteral("パスワードの強度"));
    m_hint->setAccessibleName(QStringLiteral("ヒント"));
}

CD12UpPasswordIn::~CD12UpPasswordIn() {
    WipeText(m_acceptedPassword);
}

void CD12UpPasswordIn::SetEntry(const QString& name, const QString& password, const QString& hint) {
    m_name->setText(name);
    m_password->setText(password);
    m_hint->setText(hint);
}

int CD12UpPasswordIn::Run() {
    return DialogHook::Exec(*this) == QDialog::Accepted ? QDialog::Accepted : QDialog::Rejected;
}

void CD12UpPasswordIn::Refuse(int number, const QString& tail, QLineEdit* focus) {
    ReportMessage(m_ui, m_messages, number, tail, Icon::Warning);
    focus->setFocus();
}

// The checks run in a fixed order and stop at the first refusal; the dialog then stays open.
void CD12UpPasswordIn::accept() {
    const QString name = m_name->text();
    QString password = m_password->text();
    const QString hint = m_hint->text();
    // A refusal keeps the dialog open with the fields as typed: only this reference is let go.
    const auto keep = [&password] { password.clear(); };

    if (name.size() > kMaxNameLength) {
        Refuse(msg::kChangeNameTooLong, QString::number(kMaxNameLength) + m_messages.MsgA(msg::kChangeNameTooLongTail),
               m_name);
        return keep();
    }
    if (name.isEmpty()) {
        Refuse(msg::kChangeNameMissing, QString(), m_name);
        return keep();
    }
    if (password.size() < kMinPasswordLength || password.size() > kMaxPasswordLength) {
        Refuse(msg::kChangePasswordLength, PasswordRangeText() + m_messages.MsgA(msg::kChangePasswordLengthTail),
               m_password);
        return keep();
    }
    if (!CCryptEngine::HasAllowedPasswordChars(password)) {
        Refuse(msg::kChangePasswordChars, QString(), m_password);
        return keep();
    }
    if (password == name) {
        Refuse(msg::kChangePasswordIsName, QString(), m_password);
        return keep();
    }
    if (hint.size() > kMaxHintLength) {
        Refuse(msg::kChangeHintTooLong, QString::number(kMaxHintLength) + m_messages.MsgA(msg::kChangeHintTooLongTail),
               m_hint);
        return keep();
    }
    if (hint == password) {
        Refuse(msg::kHintIsPassword, QString(), m_hint);
        return keep();
    }
    if (StrengthOf(password) < 25 && m_ui.Message(m_messages.MsgA(msg::kWeakChangePassword), Icon::Question,
                                                  Buttons::YesNo, 0, msg::kWeakChangePassword) != kAnswerYes)
        return keep();
    m_acceptedName = name;
    m_acceptedPassword = DeepCopy(password);
    m_acceptedHint = hint;
    WipeText(password);
    QDialog::accept();
}

// The password field is emptied however the dialog closes.
void CD12UpPasswordIn::done(int result) {
    WipeField(*m_password);
    QDialog::done(result);
}

} // namespace korimbo
