#include "ui/TypeIcons.h"

#include <QApplication>
#include <QFileInfo>
#include <QHash>
#include <QMimeDatabase>
#include <QStyle>

namespace korimbo {

QIcon TypeIcon(const QString& name, bool folder) {
    static QHash<QString, QIcon> cache;
    const QString key = folder ? QStringLiteral("/") : QFileInfo(name).suffix().toLower();
    if (auto it = cache.constFind(key); it != cache.constEnd())
        return *it;
    const QStyle* style = QApplication::style();
    QIcon icon;
    if (folder) {
        icon = QIcon::fromTheme(QStringLiteral("folder"), style->standardIcon(QStyle::SP_DirIcon));
    } else {
        const QMimeType type = QMimeDatabase().mimeTypeForFile(name, QMimeDatabase::MatchExtension);
        icon = QIcon::fromTheme(type.iconName());
        if (icon.isNull())
            icon = QIcon::fromTheme(type.genericIconName());
        if (icon.isNull())
            icon = style->standardIcon(QStyle::SP_FileIcon);
    }
    cache.insert(key, icon);
    return icon;
}

} // namespace korimbo
