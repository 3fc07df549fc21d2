#include "ui/DialogPrompts.h"

#include "app/Kelpie5App.h"
#include "ui/D08Password.h"
#include "ui/D09PasswordSet.h"
#include "ui/D11UpPassword.h"
#include "ui/D14KanriPass.h"
#include "ui/D20EntryRemote.h"

namespace korimbo {

PasswordPrompts::Answer CDialogPrompts::AskPassword(PromptMode mode, QString& password) {
    password.clear();
    CD08Password dialog(mode, m_app.State().engine->Messages(), m_parent);
    const Answer answer = dialog.Run();
    if (answer == Answer::kOk)
        password = dialog.TakePassword();
    return answer;
}

PasswordPrompts::Answer CDialogPrompts::AskNewPassword(SetMode mode, const QString& folder, QString& password,
                                                       QString& hint) {
    password.clear();
    CD09PasswordSet dialog(mode, folder, m_app, m_parent);
    dialog.SetHint(hint);
    dialog.SetHintEnabled(m_hintEditable);
    if (dialog.Run() != QDialog::Accepted)
        return Answer::kCancel;
    password = dialog.TakePassword();
    hint = dialog.Hint();
    return Answer::kOk;
}

PasswordPrompts::Answer CDialogPrompts::AskNetworkRegistration(const QString& folder, bool& readOnly) {
    CD20EntryRemote dialog(folder, m_parent);
    if (dialog.Run() != QDialog::Accepted)
        return Answer::kCancel;
    readOnly = dialog.ReadOnly();
    return Answer::kOk;
}

PasswordPrompts::AdminChoice CDialogPrompts::AskAdminChoice() {
    CD14KanriPass dialog(m_parent);
    return dialog.Run();
}

PasswordPrompts::Answer CDialogPrompts::AskChangePasswordList(QList<ChangePasswordText>& entries,
                                                              const ListCheck& check) {
    CD11UpPassword dialog(m_app.Svc().ui, m_app.State().engine->Messages(), m_parent);
    dialog.SetEntries(entries);
    dialog.SetCheck(check);
    if (dialog.Run() != QDialog::Accepted)
        return Answer::kCancel;
    entries = dialog.Entries();
    return Answer::kOk;
}

} // namespace korimbo
