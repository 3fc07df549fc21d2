#include "ui/EncryptInDialogs.h"

#include "ui/D08Password.h"
#include "ui/D13Msg1.h"
#include "ui/OverwriteDialog.h"

namespace korimbo {

namespace {

// The check box of the already-encrypted notice.
const QString kNoticeCheck = QStringLiteral("今後、このメッセージを表示しない");

} // namespace

EncryptInPrompts::Overwrite CEncryptInDialogs::AskFileOverwrite(const FileSide& existing, const FileSide& incoming,
                                                                bool singleItem) {
    COverwriteDialog dialog(m_messages, existing, incoming, singleItem, m_parent);
    return dialog.Run();
}

EncryptInPrompts::Overwrite CEncryptInDialogs::AskFolderOverwrite(const QString& target, const QString& source) {
    COverwriteDialog dialog(m_messages, target, source, m_parent);
    return dialog.Run();
}

bool CEncryptInDialogs::ShowAlreadyEncryptedNotice(const QString& text) {
    CD13Msg1::Options options;
    options.text = text;
    options.icon = Icon::Information;
    options.checkLabel = kNoticeCheck;
    CD13Msg1 notice(options, m_parent);
    bool checked = false;
    notice.Run(checked);
    return checked;
}

EncryptInPrompts::PasswordAnswer CEncryptInDialogs::AskContainerPassword(const QString& /*container*/,
                                                                         QString& password) {
    password.clear();
    CD08Password prompt(PasswordPrompts::PromptMode::kLogin, m_messages, m_parent);
    switch (prompt.Run()) {
    case PasswordPrompts::Answer::kOk:
        password = prompt.TakePassword();
        return PasswordAnswer::kOk;
    case PasswordPrompts::Answer::kInvalid:
        return PasswordAnswer::kInvalid;
    case PasswordPrompts::Answer::kCancel:
        break;
    }
    return PasswordAnswer::kCancel;
}

} // namespace korimbo
