#pragma once

#include "util/Interaction.h"

#include <QDialog>
#include <QIcon>
#include <QString>

class QCheckBox;
class QLabel;
class QPushButton;

namespace korimbo {

// The system icon of a message kind, or the caller's own icon when it has one; null for Icon::None.
QIcon MessageIcon(Icon icon, const QIcon& customIcon, const QWidget* widget);

// The notice dialog: an icon, a message, a check box set by the caller, and OK with an optional
// Cancel. The two buttons can read "はい" and "いいえ" instead.
class CD13Msg1 : public QDialog {
    Q_OBJECT

public:
    struct Options {
        QString text;
        Icon icon = Icon::Information;
        QIcon customIcon; // wins over `icon` when set
        QString checkLabel;
        bool checked = false;
        bool withCancel = false;
        bool yesNo = false; // "はい" / "いいえ"; implies the second button
    };

    explicit CD13Msg1(const Options& options, QWidget* parent = nullptr);

    // QDialog::Accepted for OK / "はい", Rejected otherwise; `checked` receives the final box state.
    int Run(bool& checked);

    QLabel* IconLabel() const { return m_icon; }
    QLabel* MessageLabel() const { return m_message; }
    QCheckBox* CheckBox() const { return m_check; }
    QPushButton* OkButton() const { return m_ok; }
    QPushButton* CancelButton() const { return m_cancel; }

private:
    QLabel* m_icon;
    QLabel* m_message;
    QCheckBox* m_check;
    QPushButton* m_ok;
    QPushButton* m_cancel;
};

} // namespace korimbo
