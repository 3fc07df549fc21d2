#pragma once

#include "state/SettingsFile.h"

#include <QSplitter>

#include <array>

namespace korimbo {

// Column widths of the three panes from the settings.
struct PaneWidths {
    // At creation: tree, then frame width - tree - decrypted list (not below 0), then the rest.
    static std::array<int, 2> Initial(const SettingsRecord& settings);
    // After a resize or a bar release: tree, then window width - (tree + decrypted list + 14), at least 100.
    static std::array<int, 2> Layout(const SettingsRecord& settings, int windowWidth);
    // A released bar: the right bar moved when the tree kept its width.
    static void TakeRelease(SettingsRecord& settings, int oldTreeWidth, int treeWidth, int listWidth, int border);
};

// The splitter of the main window: three columns, 4-pixel bars, no frame. Tells when a bar is released.
class CUSplitterWnd : public QSplitter {
    Q_OBJECT

public:
    explicit CUSplitterWnd(QWidget* parent = nullptr);

Q_SIGNALS:
    void BarReleased();

protected:
    QSplitterHandle* createHandle() override;
};

} // namespace korimbo
