#include "ui/D14KanriPass.h"

#include "ui/DialogHook.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

namespace korimbo {

CD14KanriPass::CD14KanriPass(QWidget* parent)
    : QDialog(parent), m_register(new QPushButton(QStringLiteral("新規登録"), this)),
      m_change(new QPushButton(QStringLiteral("変更"), this)), m_delete(new QPushButton(QStringLiteral("削除"), this)),
      m_cancel(new QPushButton(QStringLiteral("キャンセル"), this)) {
    setObjectName(QStringLiteral("管理パスワードの設定"));
    setWindowTitle(QStringLiteral("管理パスワードの設定"));
    auto* text = new QLabel(QStringLiteral("管理パスワードの操作を選んでください。"), this);

    connect(m_register, &QPushButton::clicked, this, [this] { done(kRegister); });
    connect(m_change, &QPushButton::clicked, this, [this] { done(kChange); });
    connect(m_delete, &QPushButton::clicked, this, [this] { done(kDelete); });
    connect(m_cancel, &QPushButton::clicked, this, &QDialog::reject);

    auto* buttons = new QHBoxLayout;
    buttons->addWidget(m_register);
    buttons->addWidget(m_change);
    buttons->addWidget(m_delete);
    buttons->addWidget(m_cancel);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(text);
    layout->addLayout(buttons);
    setAccessibleName(windowTitle());
    setAccessibleDescription(QStringLiteral("管理パスワードを登録、変更または削除します。"));
}

PasswordPrompts::AdminChoice CD14KanriPass::Run() {
    switch (DialogHook::Exec(*this)) {
    case kRegister:
        return PasswordPrompts::AdminChoice::kRegister;
    case kChange:
        return PasswordPrompts::AdminChoice::kChange;
    case kDelete:
        return PasswordPrompts::AdminChoice::kDelete;
    default:
        return PasswordPrompts::AdminChoice::kCancel;
    }
}

} // namespace korimbo
