#include "ui/OverwriteDialog.h"

#include "ui/DialogHook.h"
#include "ui/TypeIcons.h"
#include "util/DisplayText.h"
#include "util/MessageNumbers.h"

#include <QDir>
#include <QFileInfo>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

namespace korimbo {

namespace {

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
    m_question =
        new QLabel(messages.MsgA(msg::kOverwriteHead) + existing.name + messages.MsgA(msg::kOverwriteTail), this);
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
        new QLabel(messages.MsgA(msg::kOverwriteHead) + QFileInfo(target).fileName() +
                       messages.MsgA(msg::kOverwriteTail) + QStringLiteral("\n\n") + QDir::toNativeSeparators(source),
                   this);
    m_question->setWordWrap(true);
    row->addWidget(m_question, 1);
    layout->addLayout(row);
    AddButtons(false);
    setAccessibleName(windowTitle());
    setAccessibleDescription(m_question->text());
}

void COverwriteDialog::AddButtons(bool singleItem) {
    using Overwrite = EncryptInPrompts::Overwrite;
    const struct {
        Overwrite answer;
        const char16_t* text;
    } kButtons[] = {{Overwrite::kYes, u"はい(&Y)"},
                    {Overwrite::kAll, u"すべて上書き(&A)"},
                    {Overwrite::kNo, u"いいえ(&N)"},
                    {Overwrite::kCancel, u"キャンセル"}};
    auto* row = new QHBoxLayout;
    row->addStretch(1);
    for (const auto& entry : kButtons) {
        if (singleItem && (entry.answer == Overwrite::kAll || entry.answer == Overwrite::kCancel))
            continue;
        const int index = static_cast<int>(entry.answer);
        auto* button = new QPushButton(QString::fromUtf16(entry.text), this);
        button->setObjectName(QStringLiteral("overwrite%1").arg(index));
        connect(button, &QPushButton::clicked, this, [this, index] { done(index + 10); });
        row->addWidget(button);
        m_buttons[index] = button;
    }
    Button(Overwrite::kYes)->setDefault(true);
    Button(Overwrite::kYes)->setFocus();
    static_cast<QVBoxLayout*>(layout())->addLayout(row);
}

QPushButton* COverwriteDialog::Button(EncryptInPrompts::Overwrite answer) const {
    return m_buttons[static_cast<int>(answer)];
}

// The results are carried 10 above their values, so that a closed window (result 0) is told from
// "キャンセル" (value 0).
EncryptInPrompts::Overwrite COverwriteDialog::Run() {
    const int code = DialogHook::Exec(*this);
    if (code >= 10 && code < 14)
        return static_cast<EncryptInPrompts::Overwrite>(code - 10);
    return m_single ? EncryptInPrompts::Overwrite::kNo : EncryptInPrompts::Overwrite::kCancel;
}

} // namespace korimbo
