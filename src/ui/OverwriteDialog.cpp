#include "ui/OverwriteDialog.h"

#include "ui/DialogHook.h"
#include "ui/TypeIcons.h"
#include "util/DisplayText.h"

#include <QDir>
#include <QFileInfo>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

namespace korimbo {

namespace {

constexpr int kMsgOverwriteHead = 496;
constexpr int kMsgOverwriteTail = 497;

QLabel* IconLabel(const QString& name, bool folder, QWidget* parent) {
    auto* label = new QLabel(parent);
    label->setPixmap(TypeIcon(name, folder).pixmap(32, 32));
    label->setAlignment(Qt::AlignTop);
    return label;
}

} // namespace

QString COverwriteDialog::SideText(const EncryptInPrompts::FileSide& side) {
    return (side.container ? QStringLiteral("元のサイズ：\u3000") : QStringLiteral("サイズ：\u3000")) +
           SizeText(side.size) + QStringLiteral("\n更新日時：\u3000") + side.time;
}

COverwriteDialog::COverwriteDialog(MessageSource& messages, const EncryptInPrompts::FileSide& existing,
                                   const EncryptInPrompts::FileSide& incoming, bool singleItem, QWidget* parent)
    : QDialog(parent), m_single(singleItem) {
    setWindowTitle(QStringLiteral("ファイルの上書き確認"));
    auto* layout = new QVBoxLayout(this);
    m_question = new QLabel(messages.MsgA(kMsgOverwriteHead) + existing.name + messages.MsgA(kMsgOverwriteTail), this);
    m_question->setWordWrap(true);
    layout->addWidget(m_question);
    auto* grid = new QGridLayout;
    grid->addWidget(new QLabel(QStringLiteral("現在のファイル"), this), 0, 0, 1, 2);
    grid->addWidget(IconLabel(existing.name, false, this), 1, 0);
    grid->addWidget(new QLabel(SideText(existing), this), 1, 1);
    grid->addWidget(new QLabel(QStringLiteral("に、次の新しいファイルを上書きしますか？"), this), 2, 0, 1, 2);
    grid->addWidget(IconLabel(incoming.name, false, this), 3, 0);
    grid->addWidget(new QLabel(SideText(incoming), this), 3, 1);
    grid->setColumnStretch(1, 1);
    layout->addLayout(grid);
    AddButtons(singleItem);
    setAccessibleName(windowTitle());
    setAccessibleDescription(QStringLiteral("同じ名前のファイルを上書きするかどうかを選びます。"));
}

COverwriteDialog::COverwriteDialog(MessageSource& messages, const QString& target, const QString& source,
                                   QWidget* parent)
    : QDialog(parent) {
    setWindowTitle(QStringLiteral("フォルダーの上書き確認"));
    auto* layout = new QVBoxLayout(this);
    auto* row = new QHBoxLayout;
    row->addWidget(IconLabel(QString(), true, this));
    m_question =
        new QLabel(messages.MsgA(kMsgOverwriteHead) + QFileInfo(target).fileName() + messages.MsgA(kMsgOverwriteTail) +
                       QStringLiteral("\n\n") + QDir::toNativeSeparators(source),
                   this);
    m_question->setWordWrap(true);
    row->addWidget(m_question, 1);
    layout->addLayout(row);
    AddButtons(false);
    setAccessibleName(windowTitle());
    setAccessibleDescription(m_question->text());
}

void COverwriteDialog::AddButtons(bool singleItem) {
    const struct {
        int result;
        const char16_t* text;
    } kButtons[] = {{EncryptInPrompts::kYes, u"はい(&Y)"},
                    {EncryptInPrompts::kAll, u"すべて上書き(&A)"},
                    {EncryptInPrompts::kNo, u"いいえ(&N)"},
                    {EncryptInPrompts::kCancel, u"キャンセル"}};
    auto* row = new QHBoxLayout;
    row->addStretch(1);
    for (const auto& entry : kButtons) {
        if (singleItem && (entry.result == EncryptInPrompts::kAll || entry.result == EncryptInPrompts::kCancel))
            continue;
        auto* button = new QPushButton(QString::fromUtf16(entry.text), this);
        button->setObjectName(QStringLiteral("overwrite%1").arg(entry.result));
        const int result = entry.result;
        connect(button, &QPushButton::clicked, this, [this, result] { done(result + 10); });
        row->addWidget(button);
        m_buttons[entry.result] = button;
    }
    m_buttons[EncryptInPrompts::kYes]->setDefault(true);
    m_buttons[EncryptInPrompts::kYes]->setFocus();
    static_cast<QVBoxLayout*>(layout())->addLayout(row);
}

QPushButton* COverwriteDialog::Button(int result) const {
    return result >= 0 && result < 4 ? m_buttons[result] : nullptr;
}

// The results are carried 10 above their values, so that a closed window (result 0) is told from
// "キャンセル" (value 0).
int COverwriteDialog::Run() {
    const int code = DialogHook::Exec(*this);
    if (code >= 10)
        return code - 10;
    return m_single ? EncryptInPrompts::kNo : EncryptInPrompts::kCancel;
}

} // namespace korimbo
