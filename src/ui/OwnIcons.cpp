#include "ui/OwnIcons.h"

#include <QApplication>
#include <QDir>
#include <QHash>
#include <QIconEngine>
#include <QPainter>
#include <QPixmap>
#include <QStyle>
#include <QStyleOption>
#include <QSvgRenderer>

#include <memory>

namespace korimbo {

namespace {

// Drawn by QtSvg rather than through the SVG icon-engine plugin: our icons then show even where no plugin
// can be loaded. Each size is drawn from the vector the first time it is asked for, so a start draws the
// few sizes the window shows, not every size of every icon.
constexpr int kSizes[] = {16, 22, 24, 32, 48, 64, 128, 256};

QString ResourcePath(const QString& name) {
    return QStringLiteral(":/icons/") + name + QStringLiteral(".svg");
}

class SvgIconEngine final : public QIconEngine {
public:
    explicit SvgIconEngine(std::shared_ptr<QSvgRenderer> renderer) : m_renderer(std::move(renderer)) {}

    QIconEngine* clone() const override { return new SvgIconEngine(m_renderer); }
    QSize actualSize(const QSize& size, QIcon::Mode, QIcon::State) override { return size; }

    QList<QSize> availableSizes(QIcon::Mode, QIcon::State) override {
        QList<QSize> sizes;
        for (int size : kSizes)
            sizes << QSize(size, size);
        return sizes;
    }

    QPixmap pixmap(const QSize& size, QIcon::Mode mode, QIcon::State state) override {
        return scaledPixmap(size, mode, state, 1.0);
    }

    QPixmap scaledPixmap(const QSize& size, QIcon::Mode mode, QIcon::State, qreal scale) override {
        const QSize pixels = size * scale;
        if (pixels.isEmpty())
            return QPixmap();
        // Active draws as Normal; Disabled and Selected are the style's variations of it.
        const QIcon::Mode drawn = mode == QIcon::Active ? QIcon::Normal : mode;
        const QString key = QStringLiteral("%1x%2:%3").arg(pixels.width()).arg(pixels.height()).arg(int(drawn));
        if (const auto it = m_drawn.constFind(key); it != m_drawn.constEnd())
            return *it;
        QPixmap pixmap(pixels);
        pixmap.fill(Qt::transparent);
        QPainter painter(&pixmap);
        m_renderer->render(&painter, QRectF(QPointF(0, 0), QSizeF(pixels)));
        painter.end();
        if (drawn != QIcon::Normal && QApplication::style()) {
            QStyleOption option;
            pixmap = QApplication::style()->generatedIconPixmap(drawn, pixmap, &option);
        }
        pixmap.setDevicePixelRatio(scale);
        m_drawn.insert(key, pixmap);
        return pixmap;
    }

    void paint(QPainter* painter, const QRect& rect, QIcon::Mode mode, QIcon::State state) override {
        const qreal scale = painter->device() ? painter->device()->devicePixelRatioF() : 1.0;
        painter->drawPixmap(rect, scaledPixmap(rect.size(), mode, state, scale));
    }

private:
    std::shared_ptr<QSvgRenderer> m_renderer; // shared by the copies of one icon
    QHash<QString, QPixmap> m_drawn;
};

} // namespace

QIcon OwnIcon(const QString& name) {
    static QHash<QString, QIcon> cache;
    if (auto it = cache.constFind(name); it != cache.constEnd())
        return *it;
    auto renderer = std::make_shared<QSvgRenderer>(ResourcePath(name));
    const QIcon icon = renderer->isValid() ? QIcon(new SvgIconEngine(renderer)) : QIcon();
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
