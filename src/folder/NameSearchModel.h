#pragma once

#include "folder/NameSearch.h"

#include <QAbstractTableModel>

namespace korimbo {

// The rows of the search window: one per item found, its name and the directory it lies in. Qt Core only.
class CNameSearchModel : public QAbstractTableModel {
    Q_OBJECT

public:
    enum Column { kName, kPlace, kColumnCount };
    enum Role {
        kPathRole = Qt::UserRole + 1, // QString: where the item lies on disk
        kFolderRole,                  // bool: the item is a folder
    };

    explicit CNameSearchModel(QObject* parent = nullptr);

    // The rows become the hits found; `total` counts those beyond them too.
    void SetFound(const CNameSearch::Found& found);
    void Clear();
    // The rows of `folder` go (its logout or release).
    void ForgetFolder(const QString& folder);
    [[nodiscard]] const NameHit& Hit(int row) const { return m_hits.at(row); }
    [[nodiscard]] int Total() const { return m_total; }

    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    int columnCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;

private:
    QList<NameHit> m_hits;
    int m_total = 0;
};

} // namespace korimbo
