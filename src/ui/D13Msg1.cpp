#include "ui/D13Msg1.h"

#include "ui/DialogButtons.h"
#include "ui/DialogHook.h"

#include <QCheckBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QStyle>
#include <QVBoxLayout>

namespace korimbo {

QIcon MessageIcon(Icon icon, const QIcon& customIcon, const QWidget* widget) {
    if (!customIcon.isNull())
        return customIcon;
    QStyle* style = widget->style();
    switch (icon) {
    case Icon::Information:
        return style->standardIcon(QStyle::SP_MessageBoxInformation, nullptr, widget);
    case Icon::Warning:
        return style->standardIcon(QStyle::SP_MessageBoxWarning, nullptr, widget);
    case Icon::Error:
        return style->standardIcon(QStyle::SP_MessageBoxCritical, nullptr, widget);
    case Icon::Question:
        return style->standardIcon(QStyle::SP_MessageBoxQuestion, nullptr, widget);
    case Icon::None:
        break;
    }
    return {};
}

CD13Msg1::CD13Msg1(const Options& options, QWidget* parent)
    : QDialog(parent), m_icon(new QLabel(this)), m_message(new QLabel(options.text, this)),
      m_check(new QCheckBox(options.checkLabel, this)), m_ok(new QPushButton(this)), m_cancel(new QPushButton(this)) {
    setWindowTitle(QStringLiteral("Korimbo-portable"));

    const QIcon icon = MessageIcon(options.icon, options.customIcon, this);
    if (icon.isNull()) {
        m_icon->hide();
    } else {
        const int size = style()->pixelMetric(QStyle::PM_MessageBoxIconSize, nullptr, this);
        m_icon->setPixmap(icon.pixmap(size, size));
    }
    m_icon->setAlignment(Qt::AlignTop | Qt::AlignHCenter);
    m_message->setWordWrap(true);
    m_message->setTextFormat(Qt::PlainText);
    m_message->setTextInteractionFlags(Qt::TextSelectableByMouse);
    m_message->setMinimumWidth(320);

    m_check->setChecked(options.checked);
    m_check->setVisible(!options.checkLabel.isEmpty());

    m_ok->setText(options.yesNo ? QStringLiteral("はい") : QStringLiteral("OK"));
    m_cancel->setText(options.yesNo ? QStringLiteral("いいえ") : QStringLiteral("キャンセル"));
    m_cancel->setVisible(options.withCancel || options.yesNo);

    auto* top = new QHBoxLayout;
    top->addWidget(m_icon, 0, Qt::AlignTop);
    top->addWidget(m_message, 1);

    // Stretch on both sides keeps a lone OK in the middle.
    auto* buttons = ButtonRow(*this, m_ok, m_cancel, true);

    auto* layout = new QVBoxLayout(this);
    layout->addLayout(top);
    layout->addWidget(m_check);
    layout->addLayout(buttons);
    setAccessibleName(QStringLiteral("メッセージ"));
    setAccessibleDescription(m_message->text());
}

int CD13Msg1::Run(bool& checked) {
    const int result = DialogHook::Exec(*this) == QDialog::Accepted ? QDialog::Accepted : QDialog::Rejected;
    checked = m_check->isChecked();
    return result;
}

} // namespace korimbo
