#include "ui/D25ReturnMsg.h"

#include "ui/D13Msg1.h"
#include "ui/DialogButtons.h"
#include "ui/DialogHook.h"

#include <QCheckBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QStyle>
#include <QVBoxLayout>

namespace korimbo {

CD25ReturnMsg::CD25ReturnMsg(const Options& options, QWidget* parent)
    : QDialog(parent), m_icon(new QLabel(this)), m_message(new QLabel(options.text, this)),
      m_list(new QPlainTextEdit(this)), m_check(new QCheckBox(options.checkLabel, this)),
      m_ok(new QPushButton(QStringLiteral("OK"), this)), m_cancel(new QPushButton(QStringLiteral("キャンセル"), this)) {
    setWindowTitle(options.caption);

    // The object names are the control ids, so that tests and style sheets can find the controls.
    m_message->setObjectName(QStringLiteral("1110"));
    m_list->setObjectName(QStringLiteral("1108"));
    m_check->setObjectName(QStringLiteral("1107"));

    const QIcon icon = MessageIcon(options.icon, options.customIcon, this);
    if (icon.isNull()) {
        m_icon->hide();
    } else {
        const int size = style()->pixelMetric(QStyle::PM_MessageBoxIconSize, nullptr, this);
        m_icon->setPixmap(icon.pixmap(size, size));
    }
    m_message->setWordWrap(true);
    m_message->setTextFormat(Qt::PlainText);
    m_message->setMinimumWidth(360);

    m_list->setReadOnly(true);
    m_list->setLineWrapMode(QPlainTextEdit::NoWrap);
    m_list->setPlainText(options.items.join(u'\n'));

    m_check->setChecked(options.checked);
    m_check->setVisible(!options.checkLabel.isEmpty());

    auto* top = new QHBoxLayout;
    top->addWidget(m_icon, 0, Qt::AlignTop);
    top->addWidget(m_message, 1);

    auto* buttons = ButtonRow(*this, m_ok, m_cancel, true);

    auto* layout = new QVBoxLayout(this);
    layout->addLayout(top);
    layout->addWidget(m_list, 1);
    layout->addWidget(m_check);
    layout->addLayout(buttons);
    resize(480, 320);
    setAccessibleName(windowTitle().isEmpty() ? QStringLiteral("メッセージ") : windowTitle());
    setAccessibleDescription(m_message->text());
    m_list->setAccessibleName(QStringLiteral("対象のファイル"));
}

int CD25ReturnMsg::Run() {
    return DialogHook::Exec(*this) == QDialog::Accepted ? QDialog::Accepted : QDialog::Rejected;
}

bool CD25ReturnMsg::Checked() const {
    return m_check->isChecked();
}

} // namespace korimbo
