#include "ui/D22Init2.h"

#include "ui/DialogButtons.h"
#include "ui/DialogHook.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

namespace korimbo {

CD22Init2::CD22Init2(QWidget* parent)
    : QDialog(parent), m_text(new QLabel(this)), m_ok(new QPushButton(QStringLiteral("OK"), this)) {
    setObjectName(QStringLiteral("ガイダンス（暗号化手順）"));
    setWindowTitle(QStringLiteral("ガイダンス（暗号化手順）"));
    m_text->setText(
        QStringLiteral("暗号フォルダーを作成しました。ファイルは次の手順で暗号化します。\n\n"
                       "1. 左の一覧で暗号フォルダーを選び、パスワードを入力してログインします。\n"
                       "2. 暗号化したいファイルを、ファイルマネージャーから中央のファイル一覧にドラッグします。"
                       "コピーしたファイルを貼り付けることもできます。\n"
                       "3. 入れたファイルは自動的に暗号化され、暗号フォルダーに保存されます。\n"
                       "4. ファイルを開くには、一覧でダブルクリックするか、選んで Enter キーを押します。\n"
                       "5. 作業が終わったら、暗号フォルダーからログアウトしてください。"));
    m_text->setWordWrap(true);
    m_text->setTextFormat(Qt::PlainText);
    m_text->setMinimumWidth(460);

    auto* buttons = ButtonRow(*this, m_ok, nullptr, true);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(m_text);
    layout->addLayout(buttons);
    setAccessibleName(windowTitle());
    setAccessibleDescription(m_text->text());
}

int CD22Init2::Run() {
    return DialogHook::Exec(*this) == QDialog::Accepted ? QDialog::Accepted : QDialog::Rejected;
}

} // namespace korimbo
