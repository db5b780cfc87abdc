// Mirroring and turning a picture, finding its dark pixels, and paper around a result.

#include "Geometry.h"
#include "Reduce.h"

#include <QTransform>
#include <QtAlgorithms>

namespace
{

// Which bits of a 1-bit row are dark: each byte is masked by KEEP, then flipped by FLIP, so that
// a set bit is a dark pixel whichever palette entries are dark.
struct InkBits {
    uchar keep, flip;

    InkBits(bool dark0, bool dark1) : keep(dark0 == dark1 ? 0 : 0xff), flip(dark0 ? 0xff : 0) {}
    // Byte I of ROW, BYTES long, whose last byte holds only the pixels TAIL marks.
    uchar at(const uchar *row, int i, int bytes, uchar tail) const
    {
        return uchar(((row[i] & keep) ^ flip) & (i == bytes - 1 ? tail : 0xff));
    }
};

// The bits of the last byte of a row W pixels wide that are pixels.
uchar tailOf(int w)
{
    return uchar(0xff00 >> (w - (w - 1) / 8 * 8));
}

// The first and the last dark pixel of a row, or -1 for both when it has none.
struct Span {
    int first = -1, last = -1;
};

Span monoSpan(const uchar *row, int w, const InkBits &ink)
{
    const int bytes = (w + 7) / 8;
    const uchar tail = tailOf(w);
    int i = 0;
    while (i < bytes && ink.at(row, i, bytes, tail) == 0)
        ++i;
    if (i == bytes)
        return {};
    int j = bytes - 1;
    while (ink.at(row, j, bytes, tail) == 0)
        --j;
    return {i * 8 + int(qCountLeadingZeroBits(ink.at(row, i, bytes, tail))),
            j * 8 + 7 - int(qCountTrailingZeroBits(ink.at(row, j, bytes, tail)))};
}

Span greySpan(const uchar *row, int w, const uchar dark[256])
{
    int i = 0;
    while (i < w && !dark[row[i]])
        ++i;
    if (i == w)
        return {};
    int j = w - 1;
    while (!dark[row[j]])
        --j;
    return {i, j};
}

bool isDarkEntry(const QImage &bitmap, int index)
{
    return qGray(bitmap.colorTable().value(index)) < 128;
}

} // namespace

QSize turnedSize(QSize size, int degrees)
{
    return degrees == 90 || degrees == 270 ? size.transposed() : size;
}

QImage turned(const QImage &image, bool mirror, int degrees)
{
    const QImage flipped = mirror ? image.mirrored(true, false) : image;
    if (degrees == 180)
        return flipped.mirrored(true, true);
    if (degrees == 90 || degrees == 270)
        return flipped.transformed(QTransform().rotate(degrees));
    return flipped;
}

QRect darkBox(const QImage &image, const uchar dark[256])
{
    if (image.format() == QImage::Format_MonoLSB)
        return darkBox(image.convertToFormat(QImage::Format_Mono), dark);
    const bool mono = image.depth() == 1;
    const InkBits ink(dark[0], dark[1]);
    int left = image.width(), right = -1, top = -1, bottom = -1;
    for (int y = 0; y < image.height(); ++y) {
        const uchar *row = image.constScanLine(y);
        const Span span =
            mono ? monoSpan(row, image.width(), ink) : greySpan(row, image.width(), dark);
        if (span.first < 0)
            continue;
        if (top < 0)
            top = y;
        bottom = y;
        left = qMin(left, span.first);
        right = qMax(right, span.last);
    }
    return top < 0 ? QRect() : QRect(QPoint(left, top), QPoint(right, bottom));
}

bool noInk(const QImage &bitmap)
{
    const uchar dark[256] = {isDarkEntry(bitmap, 0), isDarkEntry(bitmap, 1)};
    return darkBox(bitmap, dark).isEmpty();
}

QImage withMargin(const QImage &bitmap, int margin)
{
    if (margin == 0 || bitmap.isNull())
        return bitmap;
    const QImage in = bitmap.format() == QImage::Format_MonoLSB
                          ? bitmap.convertToFormat(QImage::Format_Mono)
                          : bitmap;
    const int w = in.width(), h = in.height();
    QImage out = blankBitmap(w + 2 * margin, h + 2 * margin);
    if (out.isNull() || in.isNull())
        return QImage();
    out.fill(0);
    // Each byte of the picture, its dark pixels as set bits, lands MARGIN bits further on.
    const InkBits ink(isDarkEntry(in, 0), isDarkEntry(in, 1));
    const int bytes = (w + 7) / 8, shift = margin % 8;
    const qsizetype room = out.bytesPerLine() - margin / 8;
    const uchar tail = tailOf(w);
    for (int y = 0; y < h; ++y) {
        const uchar *from = in.constScanLine(y);
        uchar *to = out.scanLine(y + margin) + margin / 8;
        for (int i = 0; i < bytes; ++i) {
            const uchar b = ink.at(from, i, bytes, tail);
            to[i] |= uchar(b >> shift);
            if (shift && i + 1 < room)
                to[i + 1] |= uchar(b << (8 - shift));
        }
    }
    return out;
}
