#include "qt/icons.h"

#include <QPainter>
#include <QPixmap>

namespace cat {

QIcon WindowIcon() {
    QPixmap pixmap(16, 16);
    pixmap.fill(Qt::transparent);
    QPainter p(&pixmap);
    p.setRenderHint(QPainter::Antialiasing, false);
    p.setPen(QColor(0, 0, 0));
    p.drawLine(12, 0, 12, 5);  // antenna
    p.setBrush(QColor(64, 64, 64));
    p.drawRect(0, 5, 15, 10);  // cabinet
    p.setBrush(QColor(0, 200, 0));
    p.setPen(Qt::NoPen);
    p.drawRect(2, 7, 6, 3);  // frequency display
    p.setBrush(QColor(220, 220, 220));
    p.drawEllipse(QPoint(11, 11), 3, 3);  // tuning dial
    p.setBrush(QColor(255, 200, 0));
    p.drawRect(2, 12, 2, 2);  // a button
    p.drawRect(5, 12, 2, 2);
    return QIcon(pixmap);
}

QIcon HelpIcon() {
    QPixmap pixmap(16, 16);
    pixmap.fill(Qt::transparent);
    QPainter p(&pixmap);
    p.setRenderHint(QPainter::Antialiasing, true);
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(30, 90, 200));
    p.drawEllipse(QRectF(0.5, 0.5, 15, 15));
    QFont font = p.font();
    font.setBold(true);
    font.setPixelSize(12);
    p.setFont(font);
    p.setPen(Qt::white);
    p.drawText(QRect(0, 0, 16, 16), Qt::AlignCenter, QStringLiteral("?"));
    return QIcon(pixmap);
}

}  // namespace cat
