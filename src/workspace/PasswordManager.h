#pragma once

#include "crypto/CryptEngine.h"
#include "state/CommonManagementData.h"
#include "util/FileSystem.h"
#include "util/Interaction.h"
#include "util/MessageSource.h"
#include "util/OpResult.h"
#include "workspace/PasswordPrompts.h"

#include <QList>
#include <QString>

namespace korimbo {

// The commands of the administrator password and the change-password list, and the checks the password
// dialogs ask of the common management data. The dialogs only show and collect; what is stored, refused
// or asked next is decided here, through the PasswordPrompts and Interaction seams.
class CPasswordManager {
public:
    CPasswordManager(CCryptEngine& engine, FileSystem& files, Interaction& ui, MessageSource& messages,
                     const QString& envFolder);

    // The administrator password command: register a new administrator password, change it (the list is
    // re-enciphered under the new one) or delete it together with the change-password list. Done when
    // something was stored or deleted; declined when the user cancelled.
    OpResult RunAdminPasswordCommand(PasswordPrompts& prompts);
    // The change-password command: asks the administrator password, shows the list and saves it in the
    // order shown when confirmed. Done when saved; declined when the user cancelled.
    OpResult RunChangePasswordsCommand(PasswordPrompts& prompts);

    // The registered change passwords in their order, for the take-out under another password; empty
    // when none are registered or the file could not be read (shown).
    QList<ChangePasswordText> ReadChangePasswords();
    // Whether a new password is refused: true with A520 shown when it is a registered change password.
    // A common data file that cannot be read has shown its own message and does not block the password.
    bool RefuseChangePassword(const QString& password);
    // OK of the list: true when every identification name is unique; false with the duplicate message
    // shown and `row` at the second of two entries with the same name.
    bool CheckChangePasswordList(const QList<ChangePasswordText>& entries, int& row);

private:
    // 1 with an administrator record on file, 0 without; -1 when the file could not be read (shown).
    int AdminRegistered(CommonManagementData& data);
    // Whether one is registered; A191 shown when there is none.
    bool RequireAdmin(CommonManagementData& data);
    // Asks the current administrator password and loads the common data with it for a save. A wrong
    // password is shown by the load itself.
    OpResult LoadWithAdminPassword(PasswordPrompts& prompts, CommonManagementData& data,
                                   PasswordPrompts::PromptMode mode, QString& password);
    OpResult RegisterAdmin(PasswordPrompts& prompts);
    OpResult ChangeAdmin(PasswordPrompts& prompts);
    OpResult DeleteAdmin();

    CCryptEngine& m_engine;
    FileSystem& m_files;
    Interaction& m_ui;
    MessageSource& m_messages;
    QString m_env;
};

} // namespace korimbo
