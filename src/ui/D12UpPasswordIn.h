#pragma once

#include "util/SecretText.h"

#include <QDialog>
#include <QString>

class QLineEdit;
class QProgressBar;
class QPushButton;

namespace korimbo {

class Interaction;
class MessageSource;

// One change password ("変更用パスワード入力"): identification name, password, hint and a strength bar.
// The fields take longer texts than allowed so that OK can name what is too long.
class CD12UpPasswordIn : public QDialog {
    Q_OBJECT

public:
    CD12UpPasswordIn(Interaction& ui, MessageSource& messages, QWidget* parent = nullptr);
    ~CD12UpPasswordIn() override;

    void SetEntry(const QString& name, const QString& password, const QString& hint);
    // QDialog::Accepted once every check passed, Rejected for Cancel.
    int Run();

    QString Name() const { return m_acceptedName; }
    // A copy of its own: the dialog wipes its password when it goes.
    QString Password() const { return DeepCopy(m_acceptedPassword); }
    QString Hint() const { return m_acceptedHint; }

    QLineEdit* NameEdit() const { return m_name; }
    QLineEdit* PasswordEdit() const { return m_password; }
    QLineEdit* HintEdit() const { return m_hint; }
    QProgressBar* StrengthBar() const { return m_strength; }
    QPushButton* OkButton() const { return m_ok; }
    QPushButton* CancelButton() const { return m_cancel; }

public Q_SLOTS:
    void accept() override;
    void done(int result) override;

private:
    // A refused entry: A<number> + tail, then the focus to the field to correct.
    void Refuse(int number, const QString& tail, QLineEdit* focus);

    Interaction& m_ui;
    MessageSource& m_messages;
    QLineEdit* m_name;
    QLineEdit* m_password;
    QLineEdit* m_hint;
    QProgressBar* m_strength;
    QPushButton* m_ok;
    QPushButton* m_cancel;
    QString m_acceptedName;
    QString m_acceptedPassword;
    QString m_acceptedHint;
};

} // namespace korimbo
