#pragma once

#include "folder/ItemProperties.h"

#include <QDialog>
#include <QString>

class QLabel;

namespace korimbo {

// The properties of several items together: titled with the first item's name and "のプロパティ", the
// number of files and folders among and below them, and their total sizes; OK closes.
class CD18PropertySum : public QDialog {
    Q_OBJECT

public:
    explicit CD18PropertySum(const PropertiesSummary& summary, QWidget* parent = nullptr);

    int Run();
    QString CountsText() const;
    QString PlainSizeText() const;
    QString ContainerSizeText() const;

private:
    QLabel* m_counts = nullptr;
    QLabel* m_plainSize = nullptr;
    QLabel* m_containerSize = nullptr;
};

} // namespace korimbo
