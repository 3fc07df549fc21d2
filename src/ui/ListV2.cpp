#include "ui/ListV2.h"

#include "ui/TypeIcons.h"
#include "workspace/DecryptedFileModel.h"

#include <QColor>
#include <QContextMenuEvent>
#include <QHeaderView>
#include <QMenu>

namespace korimbo {

QVariant DecryptedColours::data(const QModelIndex& index, int role) const {
    const QModelIndex source = mapToSource(index);
    const bool changed = source.data(CDecryptedFileModel::kChangedRole).toBool();
    switch (role) {
    case Qt::ForegroundRole:
        return changed ? QVariant(QColor(0, 0, 255)) : QVariant();
    case Qt::BackgroundRole:
        return changed ? QVariant(QColor(240, 240, 240)) : QVariant();
    case Qt::DecorationRole:
        if (index.column() == CDecryptedFileModel::kDisplayName)
            return TypeIcon(source.data(CDecryptedFileModel::kFileNameRole).toString(), false);
        return QVariant();
    default:
        return QIdentityProxyModel::data(index, role);
    }
}

CListV2::CListV2(QWidget* parent) : QTreeView(parent) {
    setObjectName(QStringLiteral("CListV2"));
    setRootIsDecorated(false);
    setUniformRowHeights(true);
    setItemsExpandable(false);
    setSelectionMode(QAbstractItemView::ExtendedSelection);
    setSelectionBehavior(QAbstractItemView::SelectRows);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setFocusPolicy(Qt::StrongFocus);
    header()->setStretchLastSection(true);
}

void CListV2::SetModel(CDecryptedFileModel* model) {
    m_model = model;
    auto* colours = new DecryptedColours(this);
    colours->setSourceModel(model);
    setModel(colours);
    for (int column = CDecryptedFileModel::kVisibleColumns; column < CDecryptedFileModel::kColumnCount; ++column)
        setColumnHidden(column, true);
}

QList<int> CListV2::SelectedRows() const {
    QList<int> rows;
    if (!selectionModel())
        return rows;
    for (const QModelIndex& index : selectionModel()->selectedRows())
        rows.append(index.row());
    std::sort(rows.begin(), rows.end());
    return rows;
}

int CListV2::RowCount() const {
    return m_model ? m_model->rowCount() : 0;
}

// A click on a selected row offers its write-back and its container; a click beside the rows the
// write-back of all copies; an empty list offers nothing.
void CListV2::contextMenuEvent(QContextMenuEvent* event) {
    if (RowCount() == 0)
        return;
    const QModelIndex at = indexAt(viewport()->mapFromGlobal(event->globalPos()));
    QMenu menu(this);
    if (at.isValid()) {
        if (!selectionModel()->isRowSelected(at.row(), QModelIndex()))
            setCurrentIndex(at);
        menu.addAction(QStringLiteral("選択した復号中のファイルを暗号化する(&S)"))->setData(kWriteBackSelected);
        QAction* go = menu.addAction(QStringLiteral("このファイルの場所に移動する(&M)"));
        go->setData(kGoToContainer);
        go->setEnabled(SelectedRows().size() == 1);
    } else {
        menu.addAction(QStringLiteral("すべての復号中のファイルを暗号化する(&A)"))->setData(kWriteBackAll);
    }
    int id = 0;
    if (runMenu) {
        id = runMenu(menu, event->globalPos());
    } else if (QAction* chosen = menu.exec(event->globalPos())) {
        id = chosen->data().toInt();
    }
    if (id != 0)
        Q_EMIT PopupCommand(id);
}

} // namespace korimbo
