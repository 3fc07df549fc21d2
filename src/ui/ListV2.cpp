#include "ui/ListV2.h"

#include "ui/CommandTable.h"
#include "ui/TypeIcons.h"
#include "workspace/DecryptedFileModel.h"

#include <QColor>
#include <QContextMenuEvent>
#include <QHeaderView>
#include <QKeyEvent>
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
// write-back of all copies; an empty list offers nothing. The Menu key and Shift+F10 open the pop-up of
// the current row (the platform's keyboard pop-up event is left to the key, which comes with it).
void CListV2::contextMenuEvent(QContextMenuEvent* event) {
    if (event->reason() == QContextMenuEvent::Keyboard)
        return;
    ShowPopup(indexAt(viewport()->mapFromGlobal(event->globalPos())), event->globalPos());
}

void CListV2::keyPressEvent(QKeyEvent* event) {
    if (!CCommandTable::IsPopupKey(*event)) {
        QTreeView::keyPressEvent(event);
        return;
    }
    const QModelIndex current = currentIndex();
    const QPoint at = current.isValid() ? visualRect(current).center() : QPoint(0, 0);
    ShowPopup(current, viewport()->mapToGlobal(at));
}

void CListV2::ShowPopup(const QModelIndex& at, const QPoint& globalPos) {
    if (RowCount() == 0)
        return;
    PopupContext context;
    context.pane = PopupContext::Pane::kDecryptedArea;
    if (at.isValid()) {
        if (!selectionModel()->isRowSelected(at.row(), QModelIndex()))
            setCurrentIndex(at);
        context.pane = PopupContext::Pane::kDecryptedRows;
        context.selected = int(SelectedRows().size());
    }
    QMenu menu(this);
    CCommandTable::FillPopup(menu, context);
    int id = 0;
    if (runMenu) {
        id = runMenu(menu, globalPos);
    } else if (QAction* chosen = menu.exec(globalPos)) {
        id = chosen->data().toInt();
    }
    if (id != 0)
        Q_EMIT PopupCommand(id);
}

} // namespace korimbo
