#pragma once

#include <QIcon>
#include <QString>

namespace korimbo {

// The icon of a file's type told by its name alone (the file need not exist): the desktop's icon theme
// for the type, else its generic icon, else a plain document; the folder icon for a folder. Cached by
// extension.
QIcon TypeIcon(const QString& name, bool folder);

} // namespace korimbo
