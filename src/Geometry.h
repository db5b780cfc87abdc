#ifndef GEOMETRY_H
#define GEOMETRY_H

#include <QImage>
#include <QRect>
#include <QSize>

// The shape a reduction gives a picture: mirrored and turned before scaling, cropped to its dark
// pixels, and paper added around the result.

// SIZE turned by DEGREES clockwise.
QSize turnedSize(QSize size, int degrees);

// IMAGE (1-bit or Grayscale8) mirrored left to right when MIRROR, then turned DEGREES clockwise,
// in its own format and colours; a null image when memory runs out.
QImage turned(const QImage &image, bool mirror, int degrees);

// The smallest rectangle that holds every pixel of IMAGE whose value DARK marks: the palette
// index of a 1-bit image, the luminance of a Grayscale8 one. Empty when there is none.
QRect darkBox(const QImage &image, const uchar dark[256]);

// Whether BITMAP, a 1-bit image whose colours say which pixels are dark, has none.
bool noInk(const QImage &bitmap);

// BITMAP, a 1-bit image whose colours say which pixels are dark, as one from blankBitmap with
// MARGIN light pixels added on every side; a null image when memory runs out.
QImage withMargin(const QImage &bitmap, int margin);

#endif
