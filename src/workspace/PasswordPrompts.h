#pragma once

#include <QString>

namespace korimbo {

// The password dialogs the core asks through. The window answers with its dialogs, tests from a script.
class PasswordPrompts {
public:
    enum Result { kCancel = 0, kOk = 1, kInvalid = -1 };
    // Prompt modes of the password prompt dialog.
    enum PromptMode { kPromptLogin = 0, kPromptMode3 = 3, kPromptMode4 = 4 };
    // Modes of the password setting dialog: 3 registers a folder (the folder is shown), others do not.
    enum SetMode { kSetDefault = 0, kSetRegisterFolder = 3, kSetChangeAdmin = 4 };

    virtual ~PasswordPrompts() = default;

    // The password prompt: kOk with a password that keeps the rules, kInvalid when the typed text does not,
    // kCancel.
    virtual int AskPassword(int mode, QString& password) = 0;
    // The password setting dialog with all its checks: kOk with password and hint, or kCancel.
    // `hint` comes in as the preset hint.
    virtual int AskNewPassword(int mode, const QString& folder, QString& password, QString& hint) = 0;
    // The network registration box: kOk (readOnly tells whether the read-only box was ticked) or kCancel.
    virtual int AskNetworkRegistration(const QString& folder, bool& readOnly) = 0;
};

} // namespace korimbo
