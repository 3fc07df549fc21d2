#pragma once

#include <QDialog>
#include <QStringList>

#include <functional>

class QFrame;
class QPlainTextEdit;
class QPushButton;

namespace korimbo {

// "ヒント確認ウィンドウ": containers dropped on its frame, or chosen with the button, show the hints stored
// in them, one line each, without a password.
class CD16HintDisp : public QDialog {
    Q_OBJECT

public:
    using HintLine = std::function<QString(const QString& path)>;

    CD16HintDisp(HintLine line, QWidget* parent = nullptr);

    // Adds one line per file to the text area, as a drop does.
    void ShowHints(const QStringList& paths);

    QFrame* DropFrame() const { return m_frame; }
    QPlainTextEdit* TextArea() const { return m_text; }
    QPushButton* ChooseButton() const { return m_choose; }
    QPushButton* CloseButton() const { return m_close; }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void ChooseFiles();

    HintLine m_line;
    QFrame* m_frame;
    QPlainTextEdit* m_text;
    QPushButton* m_choose;
    QPushButton* m_close;
};

} // namespace korimbo
