#include "ui/OwnIcons.h"

#include <QDir>
#include <QHash>
#include <QPainter>
#include <QPixmap>
#include <QSvgRenderer>

namespace korimbo {

namespace {

// Rendered by QtSvg at fixed sizes rather than through the SVG icon-engine plugin: our icons then show even
// where no plugin can be loaded, and every size is drawn from the vector, never scaled from a bitmap.
constexpr int kSizes[] = {16, 22, 24, 32, 48, 64, 128, 256};

QString ResourcePath(const QString& name) {
    return QStringLiteral(":/icons/") + name + QStringLiteral(".svg");
}

} // namespace

QIcon OwnIcon(const QString& name) {
    static QHash<QString, QIcon> cache;
    if (auto it = cache.constFind(name); it != cache.constEnd())
        return *it;
    QSvgRenderer renderer(ResourcePath(name));
    QIcon icon;
    if (renderer.isValid()) {
        for (int size : kSizes) {
            QPixmap pixmap(size, size);
            pixmap.fill(Qt::transparent);
            QPainter painter(&pixmap);
            renderer.render(&painter, QRectF(0, 0, size, size));
            painter.end();
            icon.addPixmap(pixmap);
        }
    }
    cache.insert(name, icon);
    return icon;
}

QIcon ThemeOrOwnIcon(const QString& themeName, const QString& ownName) {
    return QIcon::hasThemeIcon(themeName) ? QIcon::fromTheme(themeName) : OwnIcon(ownName);
}

QIcon ApplicationIcon() {
    return OwnIcon(QStringLiteral("korimbo"));
}

QStringList OwnIconNames() {
    QStringList names;
    for (const QString& file : QDir(QStringLiteral(":/icons")).entryList({QStringLiteral("*.svg")}, QDir::Files))
        names << file.chopped(4);
    return names;
}

} // namespace korimbo
