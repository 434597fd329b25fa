#include "ui/AppIcon.h"

#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>

#include "ui/Appearance.h"

namespace orvane::ui {

QPixmap appIconPixmap(int size) {
    QPixmap pixmap(size, size);
    pixmap.fill(Qt::transparent);
    QPainter painter(&pixmap);
    painter.setRenderHint(QPainter::Antialiasing);
    const double s = size;
    const QRectF tile(s * 0.04, s * 0.04, s * 0.92, s * 0.92);
    QLinearGradient gradient(tile.topLeft(), tile.bottomRight());
    gradient.setColorAt(0, QColor(0x4a, 0x8c, 0xf7));
    gradient.setColorAt(1, QColor(0x6b, 0x4f, 0xd8));
    painter.setPen(Qt::NoPen);
    painter.setBrush(gradient);
    painter.drawRoundedRect(tile, s * 0.2, s * 0.2);

    // Four lanes of phrases, the way the timeline draws a song.
    struct Bar {
        double lane, start, end;
    };
    const Bar bars[] = {{0, 0.10, 0.46}, {0, 0.56, 0.90}, {1, 0.22, 0.70}, {2, 0.10, 0.34},
                        {2, 0.44, 0.80}, {3, 0.30, 0.90}};
    const double left = tile.left() + tile.width() * 0.12;
    const double width = tile.width() * 0.76;
    const double barHeight = tile.height() * 0.09;
    const double top = tile.top() + tile.height() * 0.22;
    const double spacing = tile.height() * 0.165;
    const int colours[] = {0, 1, 2, 6};
    for (const Bar& bar : bars) {
        QColor fill = trackColor(colours[static_cast<int>(bar.lane)]).lighter(125);
        painter.setBrush(fill);
        painter.drawRoundedRect(QRectF(left + width * bar.start, top + spacing * bar.lane,
                                       width * (bar.end - bar.start), barHeight),
                                barHeight / 2, barHeight / 2);
    }
    // The playhead.
    painter.setBrush(QColor(255, 255, 255, 230));
    painter.drawRoundedRect(QRectF(left + width * 0.62, top - spacing * 0.45, s * 0.025, spacing * 3.9 + barHeight),
                            s * 0.0125, s * 0.0125);
    return pixmap;
}

QIcon appIcon() {
    QIcon icon;
    for (const int size : {16, 24, 32, 48, 64, 128, 256}) icon.addPixmap(appIconPixmap(size));
    return icon;
}

}  // namespace orvane::ui
