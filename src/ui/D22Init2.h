#pragma once

#include <QDialog>

class QLabel;
class QPushButton;

namespace korimbo {

// The guidance shown after the first folder was created ("ガイダンス（暗号化手順）"): how files get into
// the encrypted folder and out again. OK only.
class CD22Init2 : public QDialog {
    Q_OBJECT

public:
    explicit CD22Init2(QWidget* parent = nullptr);

    int Run();

    QLabel* TextLabel() const { return m_text; }
    QPushButton* OkButton() const { return m_ok; }

private:
    QLabel* m_text;
    QPushButton* m_ok;
};

} // namespace korimbo
