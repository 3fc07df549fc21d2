#pragma once

#include "util/Interaction.h"

#include <QDialog>
#include <QIcon>
#include <QString>
#include <QStringList>

class QCheckBox;
class QLabel;
class QPlainTextEdit;
class QPushButton;

namespace korimbo {

// The confirmation dialog of exit and logout: a message, the folders concerned in a read-only list,
// a check box, OK and Cancel.
class CD25ReturnMsg : public QDialog {
    Q_OBJECT

public:
    struct Options {
        QString caption;
        QString text;
        Icon icon = Icon::Information;
        QIcon customIcon; // wins over `icon` when set
        QStringList items;
        QString checkLabel;
        bool checked = false;
    };

    explicit CD25ReturnMsg(const Options& options, QWidget* parent = nullptr);

    // QDialog::Accepted for OK, Rejected for Cancel.
    int Run();
    bool Checked() const;

    QLabel* IconLabel() const { return m_icon; }
    QLabel* MessageLabel() const { return m_message; }
    QPlainTextEdit* ListBox() const { return m_list; }
    QCheckBox* CheckBox() const { return m_check; }
    QPushButton* OkButton() const { return m_ok; }
    QPushButton* CancelButton() const { return m_cancel; }

private:
    QLabel* m_icon;
    QLabel* m_message;
    QPlainTextEdit* m_list;
    QCheckBox* m_check;
    QPushButton* m_ok;
    QPushButton* m_cancel;
};

} // namespace korimbo
