#pragma once

#include <QDialog>

class QPushButton;

namespace korimbo {

class Ckelpie5App;

// The choice of the administrator password command ("管理パスワードの設定"): register, change or delete.
class CD14KanriPass : public QDialog {
    Q_OBJECT

public:
    // Dialog results beside QDialog::Rejected (Cancel).
    enum Choice { kRegister = 2, kChange = 3, kDelete = 4 };

    explicit CD14KanriPass(QWidget* parent = nullptr);

    // kRegister, kChange, kDelete or QDialog::Rejected.
    int Run();

    QPushButton* RegisterButton() const { return m_register; }
    QPushButton* ChangeButton() const { return m_change; }
    QPushButton* DeleteButton() const { return m_delete; }
    QPushButton* CancelButton() const { return m_cancel; }

private:
    QPushButton* m_register;
    QPushButton* m_change;
    QPushButton* m_delete;
    QPushButton* m_cancel;
};

// The administrator password command: the choice above, then registers a new administrator password,
// changes it (the list is re-enciphered under it) or deletes it together with the change-password list.
// 0 when something was stored or deleted; -1 when cancelled or refused (the message was shown).
int RunAdminPasswordCommand(QWidget* parent, Ckelpie5App& app);

// The change-password command: asks the administrator password, shows the change-password list and
// saves it when confirmed. 0 when saved; -1 when cancelled or refused (the message was shown).
int RunChangePasswordsCommand(QWidget* parent, Ckelpie5App& app);

} // namespace korimbo
