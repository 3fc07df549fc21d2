#pragma once

#include <QTreeWidget>

namespace korimbo {

// The decrypted-file list (right pane): the working copies of the selected folder. Its rows come with
// the workspace.
class CListV2 : public QTreeWidget {
    Q_OBJECT

public:
    explicit CListV2(QWidget* parent = nullptr);
};

} // namespace korimbo
