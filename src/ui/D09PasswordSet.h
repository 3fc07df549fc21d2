#pragma once

#include "workspace/PasswordPrompts.h"

#include <QDialog>
#include <QString>

class QLabel;
class QLineEdit;
class QProgressBar;
class QPushButton;

namespace korimbo {

class Ckelpie5App;
class Interaction;
class MessageSource;

// The password setting dialog ("パスワード入力"): a new password typed twice, its hint and a strength
// bar. Registering a folder shows the folder; other modes set a password that belongs to no folder.
class CD09PasswordSet : public QDialog {
    Q_OBJECT

public:
    CD09PasswordSet(PasswordPrompts::SetMode mode, const QString& folder, Ckelpie5App& app, QWidget* parent = nullptr);
    ~CD09PasswordSet() override;

    void SetHint(const QString& hint);
    void SetHintEnabled(bool enabled);

    // QDialog::Accepted once every check passed, Rejected for Cancel.
    int Run();
    // The accepted password; the dialog forgets it.
    QString TakePassword();
    QString Hint() const { return m_acceptedHint; }

    QLineEdit* PasswordEdit() const { return m_password; }
    QLineEdit* ConfirmEdit() const { return m_confirm; }
    QLineEdit* HintEdit() const { return m_hint; }
    QLineEdit* FolderEdit() const { return m_folder; }
    QProgressBar* StrengthBar() const { return m_strength; }
    QLabel* InfoLabel() const { return m_info; }
    QPushButton* OkButton() const { return m_ok; }
    QPushButton* CancelButton() const { return m_cancel; }

public Q_SLOTS:
    void accept() override;
    void done(int result) override;

private:
    // A refused entry: A<number> + tail, then the focus to the field to correct.
    void Refuse(int number, const QString& tail, QLineEdit* focus);
    bool Confirm(int number);

    Ckelpie5App& m_app;
    Interaction& m_ui;
    MessageSource& m_messages;
    PasswordPrompts::SetMode m_mode;
    QLineEdit* m_password;
    QLineEdit* m_confirm;
    QLineEdit* m_hint;
    QProgressBar* m_strength;
    QLabel* m_info;
    QLineEdit* m_folder;
    QPushButton* m_ok;
    QPushButton* m_cancel;
    QString m_acceptedPassword;
    QString m_acceptedHint;
};

} // namespace korimbo
