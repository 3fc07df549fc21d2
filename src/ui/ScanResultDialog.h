#pragma once

#include "folder/FolderScan.h"

#include <QDialog>
#include <QString>

class QLabel;
class QTableView;

namespace korimbo {

class CScanResultModel;

// The result of an integrity scan: a heading with the counts, then one row per container not whole or of
// another password (kind, stored name, folder, name on disk, reason); Close closes.
class CScanResultDialog : public QDialog {
    Q_OBJECT

public:
    CScanResultDialog(const FolderScanResult& result, MessageSource& messages, QWidget* parent = nullptr);

    int Run();
    QString HeadingText() const;
    QTableView* Table() const { return m_table; }
    CScanResultModel* Model() const { return m_model; }

private:
    int WidthToShowAll() const;

    QLabel* m_heading = nullptr;
    QTableView* m_table = nullptr;
    CScanResultModel* m_model = nullptr;
};

} // namespace korimbo
