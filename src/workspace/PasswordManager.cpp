#include "workspace/PasswordManager.h"

#include "util/DisplayText.h"
#include "util/MessageNumbers.h"
#include "util/MessageText.h"
#include "util/SecretText.h"

#include <QStringList>

namespace korimbo {

namespace {

// Overwrites a password held in memory before it is dropped.
void Wipe(QString& text) {
    WipeString(text);
}

void Wipe(QStringList& texts) {
    for (QString& text : texts)
        Wipe(text);
    texts.clear();
}

} // namespace

CPasswordManager::CPasswordManager(CCryptEngine& engine, FileSystem& files, Interaction& ui, MessageSource& messages,
                                   const QString& envFolder)
    : m_engine(engine), m_files(files), m_ui(ui), m_messages(messages), m_env(envFolder) {}

int CPasswordManager::AdminRegistered(CommonManagementData& data) {
    if (!data.ManagementDataExists(m_env))
        return 0;
    if (data.LoadManagementData(m_env, QStringLiteral(" "), 0) == Verdict::kFailed) {
        data.ClearManagementData();
        return -1;
    }
    const bool registered = data.AdminTag() == CommonManagementData::kAdminTag;
    data.ClearManagementData();
    return registered ? 1 : 0;
}

bool CPasswordManager::RequireAdmin(CommonManagementData& data) {
    const int registered = AdminRegistered(data);
    if (registered == 0)
        ReportMessage(m_ui, m_messages, msg::kNoAdminPassword, QString(), Icon::Warning);
    return registered == 1;
}

OpResult CPasswordManager::LoadWithAdminPassword(PasswordPrompts& prompts, CommonManagementData& data,
                                                 PasswordPrompts::PromptMode mode, QString& password) {
    const PasswordPrompts::Answer answer = prompts.AskPassword(mode, password);
    if (answer == PasswordPrompts::Answer::kCancel) {
        Wipe(password);
        return OpResult::kDeclined;
    }
    // The prompt checks the rules already; the check here keeps a looser dialog from getting through.
    if (answer == PasswordPrompts::Answer::kInvalid || !CCryptEngine::KeepsPasswordRules(password)) {
        Wipe(password);
        ReportMessage(m_ui, m_messages, msg::kInvalidAdminPassword, QString(), Icon::Warning);
        return OpResult::kFailed;
    }
    if (data.LoadManagementData(m_env, password, 1) != Verdict::kYes) {
        data.ClearManagementData();
        Wipe(password);
        return OpResult::kFailed;
    }
    return OpResult::kDone;
}

OpResult CPasswordManager::RunAdminPasswordCommand(PasswordPrompts& prompts) {
    switch (prompts.AskAdminChoice()) {
    case PasswordPrompts::AdminChoice::kRegister:
        return RegisterAdmin(prompts);
    case PasswordPrompts::AdminChoice::kChange:
        return ChangeAdmin(prompts);
    case PasswordPrompts::AdminChoice::kDelete:
        return DeleteAdmin();
    case PasswordPrompts::AdminChoice::kCancel:
        break;
    }
    return OpResult::kDeclined;
}

OpResult CPasswordManager::RegisterAdmin(PasswordPrompts& prompts) {
    QString password;
    QString hint;
    if (prompts.AskNewPassword(PasswordPrompts::SetMode::kOther, QString(), password, hint) !=
        PasswordPrompts::Answer::kOk) {
        Wipe(password);
        return OpResult::kDeclined;
    }
    CommonManagementData data(m_engine, m_files);
    // A strict load: an administrator password already on file must be the one typed, so that registering
    // cannot replace someone else's password and list.
    OpResult rc = data.LoadManagementData(m_env, password, 1) == Verdict::kFailed ? OpResult::kFailed : OpResult::kDone;
    if (rc == OpResult::kDone)
        rc = data.SaveManagementData(m_env, password, hint, 1);
    data.ClearManagementData();
    Wipe(password);
    return rc;
}

OpResult CPasswordManager::ChangeAdmin(PasswordPrompts& prompts) {
    CommonManagementData data(m_engine, m_files);
    if (!RequireAdmin(data))
        return OpResult::kFailed;
    QString oldPassword;
    if (const OpResult loaded =
            LoadWithAdminPassword(prompts, data, PasswordPrompts::PromptMode::kAdminBeforeChange, oldPassword);
        loaded != OpResult::kDone)
        return loaded;
    Wipe(oldPassword);

    QString password;
    QString hint; // the new password starts with an empty hint
    OpResult rc = OpResult::kDeclined;
    if (prompts.AskNewPassword(PasswordPrompts::SetMode::kChangeAdmin, QString(), password, hint) ==
        PasswordPrompts::Answer::kOk) {
        // A new admin record: the verifier, and with it the list key, change; the save re-enciphers the list.
        rc = data.SaveManagementData(m_env, password, hint, 1);
    }
    Wipe(password);
    data.ClearManagementData();
    return rc;
}

OpResult CPasswordManager::DeleteAdmin() {
    CommonManagementData data(m_engine, m_files);
    if (!data.ManagementDataExists(m_env)) {
        ReportMessage(m_ui, m_messages, msg::kNoAdminPassword, QString(), Icon::Warning);
        return OpResult::kFailed;
    }
    if (m_ui.Message(m_messages.MsgA(msg::kDeleteAdminQuestion), Icon::Question, Buttons::YesNo, 0,
                     msg::kDeleteAdminQuestion) != kAnswerYes)
        return OpResult::kDeclined;
    // The file holds the administrator record and the list it protects: both go.
    if (data.DeleteManagementData(m_env) != OpResult::kDone)
        return OpResult::kFailed;
    ReportMessage(m_ui, m_messages, msg::kAdminDeleted, QString(), Icon::Information);
    return OpResult::kDone;
}

OpResult CPasswordManager::RunChangePasswordsCommand(PasswordPrompts& prompts) {
    CommonManagementData data(m_engine, m_files);
    if (!RequireAdmin(data))
        return OpResult::kFailed;
    QString adminPassword;
    if (const OpResult loaded =
            LoadWithAdminPassword(prompts, data, PasswordPrompts::PromptMode::kAdminBeforeList, adminPassword);
        loaded != OpResult::kDone)
        return loaded;

    int count = 0;
    QStringList names;
    QStringList passwords;
    QStringList hints;
    data.GetChangePasswords(count, names, passwords, hints);
    QList<ChangePasswordText> entries;
    for (int i = 0; i < count; ++i)
        entries.append({names[i], DeepCopy(passwords[i]), hints[i]});
    Wipe(passwords);
    names.clear();
    hints.clear();

    OpResult rc = OpResult::kFailed;
    const PasswordPrompts::ListCheck check = [this](const QList<ChangePasswordText>& list, int& row) {
        return CheckChangePasswordList(list, row);
    };
    const bool confirmed = prompts.AskChangePasswordList(entries, check) == PasswordPrompts::Answer::kOk;
    if (confirmed) {
        // The dialog closes only on a passing check; a script or a looser dialog is held to it here too.
        int row = -1;
        if (CheckChangePasswordList(entries, row)) {
            for (const ChangePasswordText& entry : entries) {
                names.append(entry.name);
                passwords.append(entry.password);
                hints.append(entry.hint);
            }
            if (data.SetChangePasswords(static_cast<int>(entries.size()), names, passwords, hints))
                rc = data.SaveManagementData(m_env, adminPassword, WithoutTrailingSpaces(data.AdminHint()), 0);
            Wipe(passwords);
        }
    }
    for (ChangePasswordText& entry : entries)
        Wipe(entry.password);
    data.ClearManagementData();
    Wipe(adminPassword);
    if (!confirmed)
        return OpResult::kDeclined;
    return rc;
}

QList<ChangePasswordText> CPasswordManager::ReadChangePasswords() {
    QList<ChangePasswordText> entries;
    CommonManagementData data(m_engine, m_files);
    if (!data.ManagementDataExists(m_env))
        return entries;
    // Reading the list needs no administrator password: the list key comes from the stored record.
    if (data.LoadManagementData(m_env, QStringLiteral(" "), 0) != Verdict::kFailed) {
        int count = 0;
        QStringList names;
        QStringList passwords;
        QStringList hints;
        data.GetChangePasswords(count, names, passwords, hints);
        for (int i = 0; i < count; ++i)
            entries.append({names[i], passwords[i], hints[i]});
        Wipe(passwords);
    }
    data.ClearManagementData();
    return entries;
}

bool CPasswordManager::RefuseChangePassword(const QString& password) {
    CommonManagementData data(m_engine, m_files);
    if (data.IsChangePasswordRegistered(m_env, password) != Verdict::kYes)
        return false;
    ReportMessage(m_ui, m_messages, msg::kPasswordInUse, QString(), Icon::Warning);
    return true;
}

// Identification names pick a change password later, so each must be unique.
bool CPasswordManager::CheckChangePasswordList(const QList<ChangePasswordText>& entries, int& row) {
    row = -1;
    for (qsizetype i = 0; i < entries.size(); ++i) {
        for (qsizetype j = i + 1; j < entries.size(); ++j) {
            if (entries[i].name != entries[j].name)
                continue;
            row = static_cast<int>(j);
            m_ui.Message(QStringLiteral("識別名称 ' ") + entries[i].name + m_messages.MsgA(msg::kDuplicateChangeName),
                         Icon::Warning, Buttons::Ok, 0, msg::kDuplicateChangeName);
            return false;
        }
    }
    return true;
}

} // namespace korimbo
