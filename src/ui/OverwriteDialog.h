#pragma once

#include "folder/EncryptInPrompts.h"
#include "util/MessageSource.h"

#include <QDialog>

class QLabel;
class QPushButton;

namespace korimbo {

// "ファイルの上書き確認" and "フォルダーの上書き確認": whether an item that is already in the encrypted
// folder is replaced. Four answers: "はい", "すべて上書き", "いいえ" and "キャンセル"; the single-item form
// offers only "はい" and "いいえ".
class COverwriteDialog : public QDialog {
    Q_OBJECT

public:
    // The file form: the existing container and the incoming file, each with its icon, size and time.
    COverwriteDialog(MessageSource& messages, const EncryptInPrompts::FileSide& existing,
                     const EncryptInPrompts::FileSide& incoming, bool singleItem, QWidget* parent = nullptr);
    // The folder form.
    COverwriteDialog(MessageSource& messages, const QString& target, const QString& source, QWidget* parent = nullptr);

    // Closing the window counts as "キャンセル" (or "いいえ" in the single-item form, which has no Cancel).
    EncryptInPrompts::Overwrite Run();

    QLabel* Question() const { return m_question; }
    QPushButton* Button(EncryptInPrompts::Overwrite answer) const;

    // The text of one side: "元のサイズ：　" or "サイズ：　", the size, "\n更新日時：　" and the time.
    static QString SideText(const EncryptInPrompts::FileSide& side);

private:
    void AddButtons(bool singleItem);

    QLabel* m_question = nullptr;
    QPushButton* m_buttons[4] = {};
    bool m_single = false;
};

} // namespace korimbo
