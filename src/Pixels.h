#ifndef PIXELS_H
#define PIXELS_H

#include "Common.h"

#include <QImage>
#include <QList>
#include <QSize>
#include <QSizeF>
#include <QString>

// What every reader and the reduction share: the limits and the luminance of a colour (in
// Common.h), the settings, and pictures laid on white paper.

// The widest margin -margin takes.
inline constexpr int maxMargin = 1024;

// How a picture becomes black and white: the settings of the -threshold, -invert, -dither,
// -width, -height, -alpha, -lines, -trim, -margin, -mirror and -rotate keys and of the window's
// controls.
struct Reduction {
    int threshold = 50;         // percent of white; a pixel darker than that is dark
    bool autoThreshold = false; // the level chosen from the picture itself
    bool invert = false;
    bool dither = false;
    int width = 0; // 0: the picture's own, or kept in proportion to the other
    int height = 0;
    bool shape = false;     // the picture's opacity is the ink and its colours are ignored
    bool keepLines = false; // shrinking keeps every dark stroke rather than blending it away
    bool trim = false;      // cropped to its dark pixels before scaling
    int margin = 0;         // light pixels added on every side after scaling
    bool mirror = false;    // left to right, before scaling
    int rotate = 0;         // degrees clockwise, a multiple of 90, after mirroring
};

// What reading a picture came to.
enum class ReadStatus { Loaded, Missing, NotAPicture, NoMemory };

// A picture as a reader gives it: a 1-bit image that keeps its bits and its two colours, or its
// luminance laid on white paper (Grayscale8), at the size the file gives.
struct Decoded {
    ReadStatus status = ReadStatus::NotAPicture;
    QImage image;
    // The name and the package that a library text gives; other formats carry none.
    QString name, package;
    // Why the file was refused, when its reader can say more than that it is no picture.
    QString reason;
};

// Whether a pixel of luminance LUM is dark under the threshold and inversion of R.
bool isDark(int lum, const Reduction &r);

// The luminance of each palette index; entries the file leaves out take the last one, and
// without a palette, index 0 is black and every other white.
void paletteLuminance(const QList<QRgb> &table, bool shape, uchar lum[256]);

// Any image as its luminance on white paper; a null image when memory runs out.
QImage greyOf(const QImage &image, bool shape);

// The size a picture is scaled to: what the settings ask, the other side kept in proportion and
// rounded, never below 1; an empty size when that would pass the largest picture.
QSize scaledSize(QSize size, const Reduction &r);
// The same for a size in fractions of a pixel (an SVG's), rounded to whole ones: a side set alone
// takes the other in the exact proportions.
QSize scaledSize(QSizeF size, const Reduction &r);

// How a side that shrinks makes each pixel from the pixels it covers: their average, or the
// darkest or the lightest of them, so that a line of one pixel never fades.
enum class Shrink { Blend, Darkest, Lightest };

// GREY (Grayscale8) scaled to TARGET: each side that shrinks made by SHRINK from the pixels it
// covers, each side that grows interpolated between pixel centres. It runs in the calling thread
// only; a null image when memory runs out.
QImage scaleGrey(const QImage &grey, QSize target, Shrink shrink = Shrink::Blend);

// Whether SIZE is a picture pictorn takes: at least 1 and at most maxSide on each side.
bool fitsLimits(QSize size);

#endif
