#pragma once

#include <QTreeWidget>

namespace korimbo {

// The folder tree (left pane). Its items, registration, login and drops land with the tree's own work;
// the frame already asks it what the enabling rules need.
class CTreeV : public QTreeWidget {
    Q_OBJECT

public:
    enum class ItemKind { None, TopFolder, Below };

    explicit CTreeV(QWidget* parent = nullptr);

    // The kind of the item under the mouse pointer, else of the current item.
    ItemKind KindAtCursor() const;
};

} // namespace korimbo
