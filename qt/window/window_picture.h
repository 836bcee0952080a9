#pragma once

#include <QByteArray>
#include <QImage>

class QPainter;

namespace cat {

// The program's picture, a transceiver with its display, dial, buttons and antenna, as shapes on a
// 16 x 16 grid drawn in order. The window icon and the installed SVG and PNG icons all come from
// this one table.
struct PicturePart {
    enum class Shape { Rect, Ellipse };
    Shape shape;
    int x, y, width, height;  // grid cells
    unsigned rgb;
};

inline constexpr int kPictureGrid = 16;

inline constexpr PicturePart kWindowPicture[] = {
    {PicturePart::Shape::Rect, 12, 0, 1, 6, 0x000000},    // antenna
    {PicturePart::Shape::Rect, 0, 5, 16, 11, 0x000000},   // cabinet outline
    {PicturePart::Shape::Rect, 1, 6, 14, 9, 0x404040},    // cabinet
    {PicturePart::Shape::Rect, 2, 7, 6, 3, 0x00c800},     // frequency display
    {PicturePart::Shape::Ellipse, 8, 8, 6, 6, 0xdcdcdc},  // tuning dial
    {PicturePart::Shape::Rect, 2, 12, 2, 2, 0xffc800},    // buttons
    {PicturePart::Shape::Rect, 5, 12, 2, 2, 0xffc800},
};

// Paints the picture into a size x size square at the painter's origin.
void PaintPicture(QPainter& painter, int size);
QImage RenderPicture(int size);  // on a transparent background
QByteArray PictureSvg();

}  // namespace cat
