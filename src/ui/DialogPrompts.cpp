#include "ui/DialogPrompts.h"

#include "app/Kelpie5App.h"
#include "ui/D08Password.h"
#include "ui/D09PasswordSet.h"
#include "ui/D11UpPassword.h"
#include "ui/D14KanriPass.h"
#include "ui/D20EntryRemote.h"

namespace korimbo {

int CDialogPrompts::AskPassword(int mode, QString& password) {
    password.clear();
    CD08Password dialog(mode, m_app.State().engine->Messages(), m_parent);
    const int result = dialog.Run();
    if (result == CD08Password::kOk) {
        password = dialog.TakePassword();
        return kOk;
    }
    return result == CD08Password::kInvalid ? kInvalid : kCancel;
}

int CDialogPrompts::AskNewPassword(int mode, const QString& folder, QString& password, QString& hint) {
    password.clear();
    CD09PasswordSet dialog(mode, folder, m_app, m_parent);
    dialog.SetHint(hint);
    dialog.SetHintEnabled(m_hintEditable);
    if (dialog.Run() != QDialog::Accepted)
        return kCancel;
    password = dialog.TakePassword();
    hint = dialog.Hint();
    return kOk;
}

int CDialogPrompts::AskNetworkRegistration(const QString& folder, bool& readOnly) {
    CD20EntryRemote dialog(folder, m_parent);
    if (dialog.Run() != QDialog::Accepted)
        return kCancel;
    readOnly = dialog.ReadOnly();
    return kOk;
}

int CDialogPrompts::AskAdminChoice() {
    CD14KanriPass dialog(m_parent);
    const int choice = dialog.Run();
    return choice == QDialog::Rejected ? kCancel : choice;
}

int CDialogPrompts::AskChangePasswordList(QList<ChangePasswordText>& entries, const ListCheck& check) {
    CD11UpPassword dialog(m_app.Svc().ui, m_app.State().engine->Messages(), m_parent);
    dialog.SetEntries(entries);
    dialog.SetCheck(check);
    if (dialog.Run() != QDialog::Accepted)
        return kCancel;
    entries = dialog.Entries();
    return kOk;
}

} // namespace korimbo
