#include "ui/InsideDrag.h"

#include <QMimeData>

namespace korimbo {

void WriteInsideDrag(QMimeData& data, const InsideDragItems& items) {
    QStringList lines{items.directory};
    lines += items.paths;
    data.setData(QString::fromLatin1(kInsideDragFormat), lines.join(QLatin1Char('\n')).toUtf8());
}

bool ReadInsideDrag(const QMimeData* data, InsideDragItems& items) {
    if (!data || !data->hasFormat(QString::fromLatin1(kInsideDragFormat)))
        return false;
    QStringList lines = QString::fromUtf8(data->data(QString::fromLatin1(kInsideDragFormat))).split(QLatin1Char('\n'));
    if (lines.size() < 2 || lines.first().isEmpty())
        return false;
    items.directory = lines.takeFirst();
    lines.removeAll(QString());
    items.paths = lines;
    return !items.paths.isEmpty();
}

} // namespace korimbo
