#pragma once

#include <QDialog>
#include <QString>

class QCheckBox;
class QLabel;
class QPushButton;

namespace korimbo {

// Registering a folder on a network drive ("暗号フォルダー登録設定"): a warning about several users
// updating it at once and the choice to register it read-only.
class CD20EntryRemote : public QDialog {
    Q_OBJECT

public:
    explicit CD20EntryRemote(const QString& folder, QWidget* parent = nullptr);

    // QDialog::Accepted or Rejected.
    int Run();
    bool ReadOnly() const;

    QLabel* WarningLabel() const { return m_warning; }
    QCheckBox* ReadOnlyBox() const { return m_readOnly; }
    QPushButton* OkButton() const { return m_ok; }
    QPushButton* CancelButton() const { return m_cancel; }

private:
    QLabel* m_warning;
    QCheckBox* m_readOnly;
    QPushButton* m_ok;
    QPushButton* m_cancel;
};

} // namespace korimbo
