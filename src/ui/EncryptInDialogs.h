#pragma once

#include "folder/EncryptInPrompts.h"
#include "util/MessageSource.h"

#include <QPointer>
#include <QWidget>

namespace korimbo {

// The window's answers to the encrypt-in operation's questions: the overwrite dialogs, the
// already-encrypted notice and the password prompt.
class CEncryptInDialogs final : public EncryptInPrompts {
public:
    CEncryptInDialogs(MessageSource& messages, QWidget* parent) : m_messages(messages), m_parent(parent) {}

    Overwrite AskFileOverwrite(const FileSide& existing, const FileSide& incoming, bool singleItem) override;
    Overwrite AskFolderOverwrite(const QString& target, const QString& source) override;
    bool ShowAlreadyEncryptedNotice(const QString& text) override;
    PasswordAnswer AskContainerPassword(const QString& container, QString& password) override;

private:
    MessageSource& m_messages;
    QPointer<QWidget> m_parent;
};

} // namespace korimbo
