#include "ui/TreeV.h"

#include <QCursor>

namespace korimbo {

CTreeV::CTreeV(QWidget* parent) : QTreeWidget(parent) {
    setObjectName(QStringLiteral("CTreeV"));
    setHeaderHidden(true);
    setFocusPolicy(Qt::StrongFocus);
}

CTreeV::ItemKind CTreeV::KindAtCursor() const {
    const QPoint pos = viewport()->mapFromGlobal(QCursor::pos());
    QTreeWidgetItem* item = viewport()->rect().contains(pos) ? itemAt(pos) : nullptr;
    if (!item)
        item = currentItem();
    if (!item)
        return ItemKind::None;
    return item->parent() ? ItemKind::Below : ItemKind::TopFolder;
}

} // namespace korimbo
