#include "folder/NameSearchModel.h"

#include <algorithm>

namespace korimbo {

CNameSearchModel::CNameSearchModel(QObject* parent) : QAbstractTableModel(parent) {}

void CNameSearchModel::SetFound(const CNameSearch::Found& found) {
    beginResetModel();
    m_hits = found.hits;
    m_total = found.total;
    endResetModel();
}

void CNameSearchModel::Clear() {
    SetFound({});
}

void CNameSearchModel::ForgetFolder(const QString& folder) {
    for (int row = int(m_hits.size()) - 1; row >= 0; --row) {
        if (m_hits.at(row).folder != folder)
            continue;
        beginRemoveRows(QModelIndex(), row, row);
        m_hits.removeAt(row);
        --m_total;
        endRemoveRows();
    }
    // Hits beyond the rows shown may have been of that folder too: the count is no longer known.
    m_total = std::max(m_total, int(m_hits.size()));
}

int CNameSearchModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : int(m_hits.size());
}

int CNameSearchModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : kColumnCount;
}

QVariant CNameSearchModel::data(const QModelIndex& index, int role) const {
    if (!checkIndex(index, CheckIndexOption::IndexIsValid | CheckIndexOption::ParentIsInvalid))
        return {};
    const NameHit& hit = m_hits.at(index.row());
    switch (role) {
    case Qt::DisplayRole:
        return index.column() == kName ? hit.name : hit.Directory();
    case Qt::ToolTipRole:
        return hit.folder + u'/' + hit.storedPath;
    case kPathRole:
        return hit.path;
    case kFolderRole:
        return hit.isFolder;
    default:
        return {};
    }
}

QVariant CNameSearchModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole || section < 0 || section >= kColumnCount)
        return {};
    return section == kName ? QStringLiteral("名前") : QStringLiteral("場所");
}

Qt::ItemFlags CNameSearchModel::flags(const QModelIndex& index) const {
    if (!index.isValid())
        return Qt::NoItemFlags;
    return Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemNeverHasChildren;
}

} // namespace korimbo
