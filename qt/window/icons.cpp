#include "qt/window/icons.h"

#include <QFontMetricsF>
#include <QGlyphRun>
#include <QPainter>
#include <QPixmap>
#include <QRawFont>

#include "qt/window/window_picture.h"

namespace cat {

QIcon WindowIcon() {
    // Larger sizes for task switchers and panels that show more than the title bar's 16 pixels.
    QIcon icon;
    for (int size : {16, 32, 48}) icon.addPixmap(QPixmap::fromImage(RenderPicture(size)));
    return icon;
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
    // One glyph placed by hand, centred as drawText would: text drawn the usual way is shaped,
    // and shaping sets up tables for this font that no other text in the window uses (some 70
    // KiB held for the program's life).
    const QRawFont raw = QRawFont::fromFont(font);
    const QList<quint32> glyphs = raw.glyphIndexesForString(QStringLiteral("?"));
    if (glyphs.isEmpty()) return QIcon(pixmap);
    QGlyphRun mark;
    mark.setRawFont(raw);
    mark.setGlyphIndexes(glyphs);
    mark.setPositions({QPointF(0, 0)});
    const qreal advance = raw.advancesForGlyphIndexes(glyphs).constFirst().x();
    const QFontMetricsF metrics(font);
    p.setPen(Qt::white);
    p.drawGlyphRun(QPointF((16 - advance) / 2, (16 - metrics.height()) / 2 + metrics.ascent()),
                   mark);
    return QIcon(pixmap);
}

}  // namespace cat
