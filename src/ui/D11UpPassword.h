#pragma once

#include "workspace/PasswordPrompts.h"

#include <QDialog>
#include <QList>
#include <QString>

class QAction;
class QMenu;
class QPushButton;
class QTreeWidget;

namespace korimbo {

class Interaction;
class MessageSource;

// The change-password list ("変更用パスワード登録"): new, edit, delete and reorder the entries. OK runs the
// check the command gave (duplicate identification names) and hands the list back in the order shown.
class CD11UpPassword : public QDialog {
    Q_OBJECT

public:
    static constexpr int kMaxEntries = 100;

    CD11UpPassword(Interaction& ui, MessageSource& messages, QWidget* parent = nullptr);
    ~CD11UpPassword() override;

    void SetEntries(const QList<ChangePasswordText>& entries);
    // Run by OK; a refusal keeps the dialog open with the row it names selected.
    void SetCheck(PasswordPrompts::ListCheck check) { m_check = std::move(check); }
    QList<ChangePasswordText> Entries() const;
    // QDialog::Accepted or Rejected.
    int Run();

    QTreeWidget* List() const { return m_list; }
    QPushButton* NewButton() const { return m_new; }
    QPushButton* UpButton() const { return m_up; }
    QPushButton* DownButton() const { return m_down; }
    QPushButton* OkButton() const { return m_ok; }
    QPushButton* CancelButton() const { return m_cancel; }
    QMenu* PopupMenu() const { return m_popup; }
    QAction* EditAction() const { return m_edit; }
    QAction* DeleteAction() const { return m_delete; }

public Q_SLOTS:
    void NewEntry();
    void EditSelected();
    void DeleteSelected();
    void MoveUp();
    void MoveDown();
    void accept() override;

private:
    void AddRow(const ChangePasswordText& entry);
    void Move(int step);
    void ShowPopup(const QPoint& pos);

    Interaction& m_ui;
    MessageSource& m_messages;
    PasswordPrompts::ListCheck m_check;
    QTreeWidget* m_list;
    QPushButton* m_new;
    QPushButton* m_up;
    QPushButton* m_down;
    QPushButton* m_ok;
    QPushButton* m_cancel;
    QMenu* m_popup;
    QAction* m_edit;
    QAction* m_delete;
};

} // namespace korimbo
