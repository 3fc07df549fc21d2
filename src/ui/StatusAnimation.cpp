#include "ui/StatusAnimation.h"

#include <QPainter>
#include <QPixmap>

#include <array>
#include <cmath>

namespace korimbo {

namespace {

QPixmap DrawPhase(int phase) {
    QPixmap pixmap(16, 16);
    pixmap.fill(Qt::transparent);
    QPainter painter(&pixmap);
    painter.setRenderHint(QPainter::Antialiasing);
    if (phase == 0) {
        painter.setPen(QPen(QColor(0x60, 0x80, 0x60), 1.5));
        painter.setBrush(QColor(0xB0, 0xD8, 0xB0));
        painter.drawEllipse(QRectF(3, 3, 10, 10));
        return pixmap;
    }
    // Fifteen spokes, the one of this phase darkest and the ones behind it fading.
    constexpr int kSpokes = 15;
    for (int i = 0; i < kSpokes; ++i) {
        const int age = (phase - 1 - i + kSpokes) % kSpokes;
        const int shade = std::min(220, 40 + age * 18);
        const double angle = 2 * M_PI * i / kSpokes - M_PI / 2;
        const QPointF inner(8 + 3.0 * std::cos(angle), 8 + 3.0 * std::sin(angle));
        const QPointF outer(8 + 7.0 * std::cos(angle), 8 + 7.0 * std::sin(angle));
        painter.setPen(QPen(QColor(shade, shade, shade), 1.6, Qt::SolidLine, Qt::RoundCap));
        painter.drawLine(inner, outer);
    }
    return pixmap;
}

} // namespace

QIcon StatusPhaseIcon(int phase) {
    static std::array<QIcon, 16> icons;
    const int index = phase < 0 || phase > 15 ? 0 : phase;
    if (icons[index].isNull())
        icons[index] = QIcon(DrawPhase(index));
    return icons[index];
}

} // namespace korimbo
