#pragma once

#include <QList>
#include <QString>

#include <functional>

namespace korimbo {

// One row of the change-password list, as typed.
struct ChangePasswordText {
    QString name;
    QString password;
    QString hint;
};

// The password dialogs the core asks through. The window answers with its dialogs, tests from a script.
class PasswordPrompts {
public:
    // How a password dialog was left: OK with what it asks for, OK with a typed password that breaks the
    // password rules (the prompt only), or cancelled.
    enum class Answer { kOk, kInvalid, kCancel };
    // What the password prompt asks for: the folder's password at login (and at a registration), the
    // administrator password before the change-password list, or before a change of the administrator
    // password. The prompt's texts differ.
    enum class PromptMode { kLogin, kAdminBeforeList, kAdminBeforeChange };
    // What the password setting dialog sets: a password of no folder, a new folder's (the folder is shown),
    // or the new administrator password.
    enum class SetMode { kOther, kRegisterFolder, kChangeAdmin };
    // The choice of the administrator password dialog.
    enum class AdminChoice { kCancel, kRegister, kChange, kDelete };

    // The check the list dialog runs when OK is pressed: true lets the dialog close; false keeps it open
    // (the message was shown) with `row` selected.
    using ListCheck = std::function<bool(const QList<ChangePasswordText>& entries, int& row)>;

    virtual ~PasswordPrompts() = default;

    // The password prompt: kOk with a password that keeps the rules, kInvalid when the typed text does not,
    // kCancel.
    virtual Answer AskPassword(PromptMode mode, QString& password) = 0;
    // The password setting dialog with all its checks: kOk with password and hint, or kCancel.
    // `hint` comes in as the preset hint.
    virtual Answer AskNewPassword(SetMode mode, const QString& folder, QString& password, QString& hint) = 0;
    // The network registration box: kOk (readOnly tells whether the read-only box was ticked) or kCancel.
    virtual Answer AskNetworkRegistration(const QString& folder, bool& readOnly) = 0;
    virtual AdminChoice AskAdminChoice() = 0;
    // The change-password list, shown with `entries` and edited there (new and changed entries through the
    // entry dialog with its own checks). OK runs `check` and closes only when it passes. kOk with the
    // entries in the order shown, or kCancel.
    virtual Answer AskChangePasswordList(QList<ChangePasswordText>& entries, const ListCheck& check) = 0;
};

} // namespace korimbo
