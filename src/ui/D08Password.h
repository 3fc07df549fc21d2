#pragma once

#include "util/MessageSource.h"
#include "workspace/PasswordPrompts.h"

#include <QDialog>
#include <QString>

class QLabel;
class QLineEdit;
class QPushButton;

namespace korimbo {

// The password rules every dialog applies to a new or typed password.
inline constexpr int kMinPasswordLength = 8;
inline constexpr int kMaxPasswordLength = 32;
inline constexpr int kMaxHintLength = 48;
inline constexpr int kMaxStrength = 85;

// "8～32", the range as the length messages show it.
QString PasswordRangeText();
// The strength score of the bars (0..85).
int StrengthOf(const QString& password);
// Overwrites a text held in memory before it is dropped.
void WipeText(QString& text);
// Overwrites the text the field holds, in the field's own buffer, and empties the field.
void WipeField(QLineEdit& edit);

// The password prompt ("パスワード認証"): one password field and a prompt whose texts depend on the mode.
class CD08Password : public QDialog {
    Q_OBJECT

public:
    CD08Password(PasswordPrompts::PromptMode mode, MessageSource& messages, QWidget* parent = nullptr);
    ~CD08Password() override;

    // kOk with a password that keeps the rules, kInvalid (OK with anything else) or kCancel.
    PasswordPrompts::Answer Run();
    // The accepted password; the dialog forgets it.
    QString TakePassword();

    QLineEdit* PasswordEdit() const { return m_edit; }
    QLabel* PromptLabel() const { return m_prompt; }
    QPushButton* OkButton() const { return m_ok; }
    QPushButton* CancelButton() const { return m_cancel; }

public Q_SLOTS:
    void accept() override;
    void done(int result) override;

private:
    QLabel* m_prompt;
    QLineEdit* m_edit;
    QPushButton* m_ok;
    QPushButton* m_cancel;
    QString m_password;
    // The dialog's result code for OK with a password outside the rules, beside Accepted and Rejected.
    static constexpr int kInvalidCode = -1;
};

} // namespace korimbo
