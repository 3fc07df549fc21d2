#pragma once

#include "workspace/PasswordPrompts.h"

#include <QDialog>

class QPushButton;

namespace korimbo {

// The choice of the administrator password command ("管理パスワードの設定"): register, change or delete.
class CD14KanriPass : public QDialog {
    Q_OBJECT

public:
    // The dialog's result codes of the three buttons, beside QDialog::Rejected (Cancel).
    enum Choice { kRegister = 2, kChange = 3, kDelete = 4 };

    explicit CD14KanriPass(QWidget* parent = nullptr);

    PasswordPrompts::AdminChoice Run();

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

} // namespace korimbo
