#include "app/app_icon.h"

#include <QPainter>
#include <QPixmap>

namespace kestrel {

QIcon appIcon() {
    QIcon icon;
    for (int size : {16, 32, 48, 64, 128}) {
        QPixmap pix(size, size);
        pix.fill(Qt::transparent);
        QPainter p(&pix);
        p.setRenderHint(QPainter::Antialiasing);
        p.scale(size / 64.0, size / 64.0);
        // Pins.
        p.setPen(QPen(QColor(150, 150, 150), 3));
        for (int y = 16; y <= 48; y += 8) {
            p.drawLine(4, y, 14, y);
            p.drawLine(50, y, 60, y);
        }
        // Package.
        p.setPen(Qt::NoPen);
        p.setBrush(QColor(30, 40, 55));
        p.drawRoundedRect(12, 8, 40, 48, 4, 4);
        // SCL and SDA traces.
        p.setPen(QPen(QColor(255, 190, 60), 3));
        p.drawPolyline(QPolygon(
            {{18, 26}, {24, 26}, {24, 18}, {32, 18}, {32, 26}, {40, 26}, {40, 18}, {46, 18}}));
        p.setPen(QPen(QColor(90, 200, 255), 3));
        p.drawPolyline(QPolygon({{18, 46}, {26, 46}, {28, 38}, {38, 38}, {40, 46}, {46, 46}}));
        icon.addPixmap(pix);
    }
    return icon;
}

}  // namespace kestrel
