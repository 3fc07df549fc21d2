#pragma once

#include "workspace/PasswordPrompts.h"
#include "workspace/TakeOut.h"

#include <QDialog>
#include <QList>

class QCheckBox;
class QComboBox;
class QLineEdit;
class QPushButton;
class QRadioButton;

namespace korimbo {

// "暗号化のパスワード変更": the password the taken-out containers get, chosen from the registered change
// passwords or typed with its hint and identification name; and the naming box. OK runs the core's check
// on a typed password and stays open when it refuses.
class CD03PassChange : public QDialog {
    Q_OBJECT

public:
    CD03PassChange(const QList<ChangePasswordText>& registered, bool nameAfterPlain,
                   TakeOutPrompts::PasswordCheck check, QWidget* parent = nullptr);
    ~CD03PassChange() override;
    // QDialog::Accepted or Rejected.
    int Run();
    // The choice after OK.
    TakeOutPrompts::NewPassword Chosen() const { return m_chosen; }
    bool NameAfterPlain() const;

    QRadioButton* RegisteredChoice() const { return m_useRegistered; }
    QRadioButton* TypedChoice() const { return m_useTyped; }
    QComboBox* RegisteredList() const { return m_list; }
    QLineEdit* PasswordEdit() const { return m_password; }
    QLineEdit* HintEdit() const { return m_hint; }
    QLineEdit* NameEdit() const { return m_name; }
    QCheckBox* NamingBox() const { return m_naming; }
    QPushButton* OkButton() const { return m_ok; }

public Q_SLOTS:
    void accept() override;
    void done(int result) override;

private:
    void FollowChoice();

    QList<ChangePasswordText> m_registered;
    TakeOutPrompts::PasswordCheck m_check;
    QRadioButton* m_useRegistered;
    QRadioButton* m_useTyped;
    QComboBox* m_list;
    QLineEdit* m_password;
    QLineEdit* m_hint;
    QLineEdit* m_name;
    QCheckBox* m_naming;
    QPushButton* m_ok;
    QPushButton* m_cancel;
    TakeOutPrompts::NewPassword m_chosen;
};

} // namespace korimbo
