#pragma once

#include <QDialog>

class QCheckBox;
class QPushButton;

namespace korimbo {

// "暗号化したまま取り出し": the items go out as they are encrypted; the box chooses their names.
class CD02AngoOut : public QDialog {
    Q_OBJECT

public:
    explicit CD02AngoOut(bool nameAfterPlain, QWidget* parent = nullptr);
    // QDialog::Accepted or Rejected.
    int Run();
    bool NameAfterPlain() const;

    QCheckBox* NamingBox() const { return m_naming; }
    QPushButton* OkButton() const { return m_ok; }

private:
    QCheckBox* m_naming;
    QPushButton* m_ok;
    QPushButton* m_cancel;
};

// The naming check box of the take-out dialogs.
QString NamingBoxText();

} // namespace korimbo
