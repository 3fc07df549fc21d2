#pragma once

#include <QString>
#include <QtGlobal>

namespace korimbo {

// The questions of the encrypt-in operation that are more than a message box. The window answers them
// with its dialogs, tests from a script.
class EncryptInPrompts {
public:
    // Answers of the overwrite dialogs ("はい", "すべて上書き", "いいえ", "キャンセル"); the values number
    // the dialog's buttons.
    enum class Overwrite { kCancel = 0, kYes = 1, kAll = 2, kNo = 3 };
    // How the password prompt was left: OK with a password that keeps the rules, OK with one that does
    // not, or cancelled.
    enum class PasswordAnswer { kOk, kInvalid, kCancel };

    // One side of the file overwrite dialog.
    struct FileSide {
        QString path;           // the file on disk (the container for the existing side)
        QString name;           // the name the user knows (the display name of a container)
        bool container = false; // "元のサイズ：" for a container, "サイズ：" for a plain file
        qint64 size = 0;
        QString time; // as shown
    };

    virtual ~EncryptInPrompts() = default;

    // "ファイルの上書き確認": the existing container, then the incoming file. With `singleItem` only "はい"
    // and "いいえ" are offered.
    virtual Overwrite AskFileOverwrite(const FileSide& existing, const FileSide& incoming, bool singleItem) = 0;
    // "フォルダーの上書き確認" for the folder `target` that `source` would replace.
    virtual Overwrite AskFolderOverwrite(const QString& target, const QString& source) = 0;
    // The already-encrypted notice: `text` (A68, the name, A69) with the information icon and a check box.
    // True when the box was ticked: the notice is not shown again in this operation.
    virtual bool ShowAlreadyEncryptedNotice(const QString& text) = 0;
    // The password of a container made with another password (the password prompt).
    virtual PasswordAnswer AskContainerPassword(const QString& container, QString& password) = 0;
};

// What an overwrite answer leaves to do with the item: replace it, skip it, or end the operation.
// "すべて上書き" also sets `all`, so that the items after it are replaced without a question.
enum class OverwriteStep { kReplace, kSkip, kEnd };

inline OverwriteStep StepForAnswer(EncryptInPrompts::Overwrite answer, bool& all) {
    switch (answer) {
    case EncryptInPrompts::Overwrite::kAll:
        all = true;
        return OverwriteStep::kReplace;
    case EncryptInPrompts::Overwrite::kYes:
        return OverwriteStep::kReplace;
    case EncryptInPrompts::Overwrite::kNo:
        return OverwriteStep::kSkip;
    case EncryptInPrompts::Overwrite::kCancel:
        break;
    }
    return OverwriteStep::kEnd;
}

} // namespace korimbo
