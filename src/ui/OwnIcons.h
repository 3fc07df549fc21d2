#pragma once

#include <QIcon>
#include <QString>
#include <QStringList>

namespace korimbo {

// The program's own icons, drawn as SVG and embedded (":/icons/<name>.svg"). They stand in wherever the
// desktop's icon theme has nothing, so a bare session still shows a finished toolbar and tree.

// Our icon `name` ("login", "folder-open", ...) rendered at the usual sizes; a null icon for an unknown name.
QIcon OwnIcon(const QString& name);

// The desktop theme's icon `themeName` when the theme has one, else our icon `ownName`.
QIcon ThemeOrOwnIcon(const QString& themeName, const QString& ownName);

// The program's own application icon.
QIcon ApplicationIcon();

// Every icon name the program ships, for checks.
QStringList OwnIconNames();

} // namespace korimbo
