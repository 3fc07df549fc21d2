#pragma once

#include "workspace/TakeOut.h"

class QWidget;

namespace korimbo {

// The kind a command id takes out: 32880 decrypted, 32882 mail, 32886 still encrypted, 32888 under
// another password, 32890 mail under another password (the two mail commands take files only).
TakeOutKind TakeOutKindOf(int commandId);

// The window's answers to the take-out's dialogs: CD02AngoOut, CD03PassChange and the take-out window.
class CTakeOutDialogs final : public TakeOutPrompts {
public:
    explicit CTakeOutDialogs(QWidget* parent) : m_parent(parent) {}

    bool AskEncryptedTakeOut(bool& nameAfterPlain) override;
    bool AskNewPassword(const QList<ChangePasswordText>& registered, bool& nameAfterPlain, NewPassword& chosen,
                        const PasswordCheck& check) override;
    WindowResult ShowTakeOutWindow(const TakeOutWindowRequest& request, CTakeOut& takeOut) override;

private:
    QWidget* m_parent;
};

} // namespace korimbo
