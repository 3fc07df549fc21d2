#pragma once

#include "folder/FolderScan.h"

#include <QAbstractTableModel>
#include <QList>

namespace korimbo {

// The rows of the integrity scan's result window: one per container found not whole or of another
// password, the kind first, so the two groups stand apart. Qt Core only; the window shows it.
class CScanResultModel final : public QAbstractTableModel {
public:
    enum Column { kKindColumn, kNameColumn, kFolderColumn, kDiskNameColumn, kReasonColumn, kColumnCount };

    CScanResultModel(MessageSource& messages, QObject* parent = nullptr);

    void SetFindings(const QList<ScanFinding>& findings);
    const ScanFinding& Finding(int row) const { return m_findings.at(row); }

    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    int columnCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;

    static QString KindText(ScanFinding::Kind kind);

private:
    QString Cell(const ScanFinding& finding, int column) const;

    MessageSource& m_messages;
    QList<ScanFinding> m_findings;
};

} // namespace korimbo
