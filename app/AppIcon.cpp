#include "app/AppIcon.h"

#include <QPainter>
#include <QPainterPath>
#include <QPixmap>

namespace {

// Draws the icon on a square of `size` pixels. Coordinates are designed on a 32 grid and scaled.
QPixmap PaintIcon(int size) {
    QPixmap pixmap(size, size);
    pixmap.fill(Qt::transparent);
    QPainter painter(&pixmap);
    painter.setRenderHint(QPainter::Antialiasing, true);
    painter.scale(size / 32.0, size / 32.0);

    const QColor paper(255, 255, 240);
    const QColor edge(70, 70, 90);
    const QColor rule(60, 110, 190);
    const QColor alert(200, 40, 40);
    const QColor glass(180, 220, 250, 200);
    const QColor handle(120, 70, 30);

    // The page, with a folded corner.
    QPainterPath page;
    page.moveTo(3, 1);
    page.lineTo(19, 1);
    page.lineTo(25, 7);
    page.lineTo(25, 30);
    page.lineTo(3, 30);
    page.closeSubpath();
    painter.setPen(QPen(edge, 1.5));
    painter.setBrush(paper);
    painter.drawPath(page);
    painter.drawLine(QPointF(19, 1), QPointF(19, 7));
    painter.drawLine(QPointF(19, 7), QPointF(25, 7));

    // Log lines, one of them marked as an event.
    painter.setPen(QPen(rule, 2.0, Qt::SolidLine, Qt::FlatCap));
    const double lines[] = {5, 9, 13, 17, 21, 25};
    for (double y : lines) {
        const double right = y < 8 ? 17 : 22;
        painter.drawLine(QPointF(6, y), QPointF(right, y));
    }
    painter.setPen(QPen(alert, 2.0, Qt::SolidLine, Qt::FlatCap));
    painter.drawLine(QPointF(6, 13), QPointF(22, 13));

    // The magnifying glass over the lower right corner.
    painter.setPen(QPen(handle, 4.5, Qt::SolidLine, Qt::RoundCap));
    painter.drawLine(QPointF(24, 24), QPointF(30, 30));
    painter.setPen(QPen(edge, 2.5));
    painter.setBrush(glass);
    painter.drawEllipse(QPointF(19, 19), 7, 7);
    return pixmap;
}

} // namespace

QIcon AppIcon() {
    QIcon icon;
    icon.addPixmap(PaintIcon(16));
    icon.addPixmap(PaintIcon(32));
    return icon;
}
