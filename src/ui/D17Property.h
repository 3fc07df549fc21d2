#pragma once

#include "folder/ItemProperties.h"

#include <QDialog>
#include <QHash>
#include <QString>

class QLabel;

namespace korimbo {

// The properties of one file or folder of an encrypted folder ("プロパティ"): the item's name, then one
// row per value the item has (type, program, location, sizes, times, disk name, hint, creator); OK closes.
class CD17Property : public QDialog {
    Q_OBJECT

public:
    explicit CD17Property(const ItemProperties& properties, QWidget* parent = nullptr);

    int Run();
    // The value shown beside `label` ("種類：", "暗号ファイルの\nサイズ：", ...); empty when the row is left out.
    QString ValueOf(const QString& label) const;
    QString NameText() const;

private:
    void AddRow(const QString& label, const QString& value);

    QLabel* m_name = nullptr;
    QHash<QString, QLabel*> m_values;
};

} // namespace korimbo
