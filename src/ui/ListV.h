#pragma once

#include <QListWidget>

namespace korimbo {

// The folder contents list (middle pane). Its rows come with the contents model; the frame already
// asks it what the enabling rules and the status bar need.
class CListV : public QListWidget {
    Q_OBJECT

public:
    explicit CListV(QWidget* parent = nullptr);

    int SelectedCount() const;
    bool SelectionHasPlainFile() const;
    bool SelectionHasDirectory() const;
    // The text of status pane 0 when idle: the selection summary, or the idle prompt without rows.
    QString SelectionSummary() const;
    // 0 icons, 2 details (anything else shows as details).
    void SetViewStyle(int dispMode);
    int ViewStyle() const { return m_style; }

    static QString IdlePrompt();

private:
    int m_style = 0;
};

} // namespace korimbo
