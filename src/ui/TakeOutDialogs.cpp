#include "ui/TakeOutDialogs.h"

#include "ui/D01TakeOut.h"
#include "ui/D02AngoOut.h"
#include "ui/CommandIds.h"
#include "ui/D03PassChange.h"

namespace korimbo {

TakeOutKind TakeOutKindOf(int commandId) {
    switch (commandId) {
    case cmd::AttachToMail:
        return TakeOutKind::kMail;
    case cmd::TakeOutEncrypted:
        return TakeOutKind::kEncrypted;
    case cmd::TakeOutWithOtherPassword:
        return TakeOutKind::kNewPassword;
    case cmd::AttachWithNewPassword:
        return TakeOutKind::kMailNewPassword;
    default:
        return TakeOutKind::kDecrypted;
    }
}

bool CTakeOutDialogs::AskEncryptedTakeOut(bool& nameAfterPlain) {
    CD02AngoOut dialog(nameAfterPlain, m_parent);
    if (dialog.Run() != QDialog::Accepted)
        return false;
    nameAfterPlain = dialog.NameAfterPlain();
    return true;
}

bool CTakeOutDialogs::AskNewPassword(const QList<ChangePasswordText>& registered, bool& nameAfterPlain,
                                     NewPassword& chosen, const PasswordCheck& check) {
    CD03PassChange dialog(registered, nameAfterPlain, check, m_parent);
    if (dialog.Run() != QDialog::Accepted)
        return false;
    chosen = dialog.Chosen();
    nameAfterPlain = dialog.NameAfterPlain();
    return true;
}

TakeOutPrompts::WindowResult CTakeOutDialogs::ShowTakeOutWindow(const TakeOutWindowRequest& request,
                                                                CTakeOut& takeOut) {
    CD01TakeOut window(request, takeOut, m_parent);
    return window.Run();
}

} // namespace korimbo
