#include "ui/ListV.h"

namespace korimbo {

CListV::CListV(QWidget* parent) : QListWidget(parent) {
    setObjectName(QStringLiteral("CListV"));
    setSelectionMode(QAbstractItemView::ExtendedSelection);
    setFocusPolicy(Qt::StrongFocus);
}

int CListV::SelectedCount() const {
    return static_cast<int>(selectedItems().size());
}

bool CListV::SelectionHasPlainFile() const {
    return false;
}

bool CListV::SelectionHasDirectory() const {
    return false;
}

QString CListV::IdlePrompt() {
    return QStringLiteral("レディ");
}

QString CListV::SelectionSummary() const {
    const int selected = SelectedCount();
    if (selected == 0)
        return IdlePrompt();
    return QStringLiteral("%1 個の項目を選択").arg(selected);
}

void CListV::SetViewStyle(int dispMode) {
    m_style = dispMode == 0 ? 0 : 2;
    setViewMode(m_style == 0 ? QListView::IconMode : QListView::ListMode);
}

} // namespace korimbo
