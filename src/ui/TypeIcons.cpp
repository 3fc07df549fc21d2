#include "ui/TypeIcons.h"

#include "ui/OwnIcons.h"

#include <QFileInfo>
#include <QHash>
#include <QMimeDatabase>

namespace korimbo {

QIcon TypeIcon(const QString& name, bool folder) {
    static QHash<QString, QIcon> cache;
    const QString key = folder ? QStringLiteral("/") : QFileInfo(name).suffix().toLower();
    if (auto it = cache.constFind(key); it != cache.constEnd())
        return *it;
    QIcon icon;
    if (folder) {
        icon = ThemeOrOwnIcon(QStringLiteral("folder"), QStringLiteral("folder"));
    } else {
        const QMimeType type = QMimeDatabase().mimeTypeForFile(name, QMimeDatabase::MatchExtension);
        icon = QIcon::fromTheme(type.iconName());
        if (icon.isNull())
            icon = QIcon::fromTheme(type.genericIconName());
        if (icon.isNull())
            icon = OwnIcon(QStringLiteral("file"));
    }
    cache.insert(key, icon);
    return icon;
}

} // namespace korimbo
