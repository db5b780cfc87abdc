// Colours laid on white paper, and the sizes every reader and the reduction agree on.

#include "Pixels.h"

int luminance(QRgb rgb, bool shape)
{
    const int a = qAlpha(rgb);
    if (shape)
        return 255 - a;
    // Laying a colour on white and weighing it are both linear, so the grey is laid on white
    // instead of each channel.
    return (qGray(rgb) * a + 255 * (255 - a) + 127) / 255;
}

void paletteLuminance(const QList<QRgb> &table, bool shape, uchar lum[256])
{
    for (int i = 0; i < 256; ++i) {
        if (table.isEmpty())
            lum[i] = uchar(luminance(i == 0 ? qRgb(0, 0, 0) : qRgb(255, 255, 255), shape));
        else
            lum[i] = uchar(luminance(table.value(i, table.last()), shape));
    }
}

QImage greyOf(const QImage &image, bool shape)
{
    if (image.format() == QImage::Format_Grayscale8 && !shape)
        return image;
    const int w = image.width(), h = image.height();
    QImage grey(w, h, QImage::Format_Grayscale8);
    if (grey.isNull())
        return grey;
    if (image.format() == QImage::Format_Grayscale8) {
        grey.fill(0);
        return grey;
    }
    uchar lum[256];
    if (image.format() == QImage::Format_Indexed8 || image.depth() == 1) {
        paletteLuminance(image.colorTable(), shape, lum);
        const bool lsb = image.format() == QImage::Format_MonoLSB;
        for (int y = 0; y < h; ++y) {
            const uchar *in = image.constScanLine(y);
            uchar *out = grey.scanLine(y);
            for (int x = 0; x < w; ++x)
                out[x] = lum[image.depth() == 8 ? in[x]
                             : lsb              ? in[x >> 3] >> (x & 7) & 1
                                                : in[x >> 3] >> (7 - (x & 7)) & 1];
        }
        return grey;
    }
    // Row by row, so that a deep picture never has a second full-size copy.
    const QImage::Format argb = QImage::Format_ARGB32;
    for (int y = 0; y < h; ++y) {
        const QImage line =
            image.format() == argb ? QImage() : image.copy(0, y, w, 1).convertToFormat(argb);
        const auto *in = reinterpret_cast<const QRgb *>(line.isNull() ? image.constScanLine(y)
                                                                      : line.constScanLine(0));
        uchar *out = grey.scanLine(y);
        for (int x = 0; x < w; ++x)
            out[x] = uchar(luminance(in[x], shape));
    }
    return grey;
}

QSize scaledSize(QSize size, const Reduction &r)
{
    if (r.width <= 0 && r.height <= 0)
        return size;
    if (size.isEmpty())
        return QSize();
    const auto proportional = [](qint64 side, qint64 given, qint64 other) {
        return qMax<qint64>(1, (side * given + other / 2) / other);
    };
    const qint64 w = r.width > 0 ? r.width : proportional(size.width(), r.height, size.height());
    const qint64 h = r.height > 0 ? r.height : proportional(size.height(), r.width, size.width());
    return w <= maxSide && h <= maxSide ? QSize(int(w), int(h)) : QSize();
}

bool fitsLimits(QSize size)
{
    return size.width() >= 1 && size.height() >= 1 && size.width() <= maxSide &&
           size.height() <= maxSide;
}

bool plausibleSize(qint64 pixels, qint64 dataBytes, qint64 pixelsPerByte)
{
    return pixels <= 2048 * 2048 || pixels / pixelsPerByte <= dataBytes;
}
