#include "qt/window/window_picture.h"

#include <QColor>
#include <QPainter>

namespace cat {

void PaintPicture(QPainter& painter, int size) {
    painter.save();
    // At the grid's own size every edge falls on a pixel, and smoothing would only blur the dial.
    painter.setRenderHint(QPainter::Antialiasing, size != kPictureGrid);
    painter.setPen(Qt::NoPen);
    painter.scale(double(size) / kPictureGrid, double(size) / kPictureGrid);
    for (const PicturePart& part : kWindowPicture) {
        painter.setBrush(QColor::fromRgb(part.rgb));
        const QRect cells(part.x, part.y, part.width, part.height);
        if (part.shape == PicturePart::Shape::Rect)
            painter.drawRect(cells);
        else
            painter.drawEllipse(cells);
    }
    painter.restore();
}

QImage RenderPicture(int size) {
    QImage image(size, size, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QPainter painter(&image);
    PaintPicture(painter, size);
    return image;
}

QByteArray PictureSvg() {
    QByteArray svg = QByteArrayLiteral(
                         "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
                         "<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"%1\" height=\"%1\" "
                         "viewBox=\"0 0 %1 %1\">\n")
                         .replace("%1", QByteArray::number(kPictureGrid));
    for (const PicturePart& part : kWindowPicture) {
        const QByteArray fill = QColor::fromRgb(part.rgb).name().toLatin1();
        if (part.shape == PicturePart::Shape::Rect) {
            svg += "  <rect x=\"" + QByteArray::number(part.x) + "\" y=\"" +
                   QByteArray::number(part.y) + "\" width=\"" + QByteArray::number(part.width) +
                   "\" height=\"" + QByteArray::number(part.height) + "\" fill=\"" + fill +
                   "\"/>\n";
        } else {
            svg += "  <ellipse cx=\"" + QByteArray::number(part.x + part.width / 2.0) + "\" cy=\"" +
                   QByteArray::number(part.y + part.height / 2.0) + "\" rx=\"" +
                   QByteArray::number(part.width / 2.0) + "\" ry=\"" +
                   QByteArray::number(part.height / 2.0) + "\" fill=\"" + fill + "\"/>\n";
        }
    }
    return svg + "</svg>\n";
}

}  // namespace cat
