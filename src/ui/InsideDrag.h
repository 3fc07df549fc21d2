#pragma once

#include <QString>
#include <QStringList>

class QMimeData;

namespace korimbo {

// Items dragged from the contents list. The drag carries them in a format of our own beside whatever it
// offers outside the program, so our own drop targets (the list and the tree) recognise a drag that
// started inside and offer copy or move within the encrypted folders instead of encrypting.
struct InsideDragItems {
    QString directory;   // the shown folder the drag started in (disk path)
    QStringList paths;   // the dragged containers and folders (disk paths), in selection order
};

inline constexpr const char* kInsideDragFormat = "application/x-korimbo-inside";

// Stores `items` in `data` under kInsideDragFormat (UTF-8: the directory, then one path a line).
void WriteInsideDrag(QMimeData& data, const InsideDragItems& items);
// False when `data` carries no items of ours.
bool ReadInsideDrag(const QMimeData* data, InsideDragItems& items);

} // namespace korimbo
