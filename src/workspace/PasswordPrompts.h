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
    enum Result { kCancel = 0, kOk = 1, kInvalid = -1 };
    // Prompt modes of the password prompt dialog.
    enum PromptMode { kPromptLogin = 0, kPromptMode3 = 3, kPromptMode4 = 4 };
    // Modes of the password setting dialog: 3 registers a folder (the folder is shown), others do not.
    enum SetMode { kSetDefault = 0, kSetRegisterFolder = 3, kSetChangeAdmin = 4 };
    // The choices of the administrator password dialog beside kCancel.
    enum AdminChoice { kAdminRegister = 2, kAdminChange = 3, kAdminDelete = 4 };

    // The check the list dialog runs when OK is pressed: 0 lets the dialog close; -1 keeps it open (the
    // message was shown) with `row` selected.
    using ListCheck = std::function<int(const QList<ChangePasswordText>& entries, int& row)>;

    virtual ~PasswordPrompts() = default;

    // The password prompt: kOk with a password that keeps the rules, kInvalid when the typed text does not,
    // kCancel.
    virtual int AskPassword(int mode, QString& password) = 0;
    // The password setting dialog with all its checks: kOk with password and hint, or kCancel.
    // `hint` comes in as the preset hint.
    virtual int AskNewPassword(int mode, const QString& folder, QString& password, QString& hint) = 0;
    // The network registration box: kOk (readOnly tells whether the read-only box was ticked) or kCancel.
    virtual int AskNetworkRegistration(const QString& folder, bool& readOnly) = 0;
    // The administrator password dialog: kAdminRegister, kAdminChange, kAdminDelete or kCancel.
    virtual int AskAdminChoice() = 0;
    // The change-password list, shown with `entries` and edited there (new and changed entries through the
    // entry dialog with its own checks). OK runs `check` and closes only when it passes. kOk with the
    // entries in the order shown, or kCancel.
    virtual int AskChangePasswordList(QList<ChangePasswordText>& entries, const ListCheck& check) = 0;
};

} // namespace korimbo
