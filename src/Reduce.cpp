// The reduction of a picture to one bit per pixel: threshold, inversion and dithering.

#include "Reduce.h"

#include <algorithm>
#include <array>

int autoThreshold(const QImage &grey)
{
    // Four counts in turn, so that runs of one grey do not wait on each other.
    std::array<std::array<quint32, 256>, 4> counts{};
    const int w = grey.width();
    for (int y = 0; y < grey.height(); ++y) {
        const uchar *row = grey.constScanLine(y);
        int x = 0;
        for (; x + 4 <= w; x += 4) {
            ++counts[0][row[x]];
            ++counts[1][row[x + 1]];
            ++counts[2][row[x + 2]];
            ++counts[3][row[x + 3]];
        }
        for (; x < w; ++x)
            ++counts[0][row[x]];
    }
    std::array<qint64, 256> count{};
    for (const auto &part : counts)
        for (size_t lum = 0; lum < 256; ++lum)
            count[lum] += part[lum];
    qint64 n = 0, sum = 0;
    for (int lum = 0; lum < 256; ++lum) {
        n += count[size_t(lum)];
        sum += lum * count[size_t(lum)];
    }
    // Only the 99 levels a threshold can take are tried, each splitting off the luminances below
    // it; where several split alike, the variance is the same to the bit.
    long double best = -1;
    int first = 50, last = 50, lum = 0;
    qint64 n0 = 0, sum0 = 0;
    for (int p = 1; p <= 99; ++p) {
        for (; lum * 100 < p * 255; ++lum) {
            n0 += count[size_t(lum)];
            sum0 += lum * count[size_t(lum)];
        }
        const long double d = (long double)n0 * sum - (long double)n * sum0;
        const long double v = n0 == 0 || n0 == n ? 0 : d * d / ((long double)n0 * (n - n0));
        if (v > best) {
            best = v;
            first = last = p;
        } else if (v == best && last == p - 1) {
            last = p;
        }
    }
    return (first + last) / 2;
}

int middleThreshold(int lum0, int lum1)
{
    if (lum0 == lum1)
        return 50;
    // The dark one is below the level and the light one at or above it, where a percent can say so.
    const int lo = qMin(lum0, lum1), hi = qMax(lum0, lum1);
    const int p = ((lo + hi) * 100 + 255) / 510;
    return qBound(1, qBound(lo * 100 / 255 + 1, p, hi * 100 / 255), 99);
}

QImage blankBitmap(int w, int h)
{
    QImage image(w, h, QImage::Format_Mono);
    if (!image.isNull())
        image.setColorTable({qRgb(255, 255, 255), qRgb(0, 0, 0)});
    return image;
}

RowReducer::RowReducer(QImage &image, const Reduction &r) : image(image), settings(r)
{
    for (int lum = 0; lum < 256; ++lum)
        dark[lum] = isDark(lum, r) ? 1 : 0;
    if (r.dither) {
        error.assign(size_t(image.width()) + 2, 0);
        next.assign(size_t(image.width()) + 2, 0);
    }
}

void RowReducer::addRow(const uchar *grey)
{
    if (row >= image.height())
        return;
    uchar *out = image.scanLine(row++);
    if (settings.dither)
        dither(grey, out);
    else
        threshold(grey, out);
}

void RowReducer::threshold(const uchar *in, uchar *out) const
{
    const int w = image.width();
    for (int x = 0; x < w; x += 8) {
        uchar byte = 0;
        for (int i = 0; i < 8; ++i)
            byte = uchar(byte << 1 | (x + i < w ? dark[in[x + i]] : 0));
        out[x >> 3] = byte;
    }
}

// Floyd and Steinberg's error diffusion, with the threshold as the point between black and white.
void RowReducer::dither(const uchar *in, uchar *out)
{
    const int w = image.width();
    const int middle = settings.threshold * 255;
    std::fill(out, out + (w + 7) / 8, uchar(0));
    for (int x = 0; x < w; ++x) {
        const int value = in[x] + error[size_t(x) + 1] / 16;
        const bool black = value * 100 < middle;
        const int e = value - (black ? 0 : 255);
        if (black != settings.invert)
            out[x >> 3] |= uchar(0x80 >> (x & 7));
        error[size_t(x) + 2] += e * 7;
        next[size_t(x)] += e * 3;
        next[size_t(x) + 1] += e * 5;
        next[size_t(x) + 2] += e;
    }
    error.swap(next);
    std::fill(next.begin(), next.end(), 0);
}

QImage reduceGrey(const QImage &grey, const Reduction &r)
{
    QImage image = blankBitmap(grey.width(), grey.height());
    if (image.isNull())
        return image;
    RowReducer reducer(image, r);
    for (int y = 0; y < grey.height(); ++y)
        reducer.addRow(grey.constScanLine(y));
    return image;
}

QImage reduceOneBit(const QImage &oneBit, const Reduction &r)
{
    // A 1-bit picture keeps its bits: only which of its two colours is dark can change.
    uchar lum[256];
    paletteLuminance(oneBit.colorTable(), r.shape, lum);
    const QList<QRgb> table = {isDark(lum[0], r) ? qRgb(0, 0, 0) : qRgb(255, 255, 255),
                               isDark(lum[1], r) ? qRgb(0, 0, 0) : qRgb(255, 255, 255)};
    const QList<QRgb> old = oneBit.colorTable();
    const bool same = old.size() == 2 && (qGray(old[0]) < 128) == (qGray(table[0]) < 128) &&
                      (qGray(old[1]) < 128) == (qGray(table[1]) < 128) && qAlpha(old[0]) == 255 &&
                      qAlpha(old[1]) == 255;
    const bool pure = (lum[0] == 0 || lum[0] == 255) && (lum[1] == 0 || lum[1] == 255);
    if (same && (pure || !r.dither))
        return oneBit;
    if (pure || !r.dither) {
        QImage image = oneBit;
        image.setColorTable(table);
        return image;
    }
    const QImage grey = greyOf(oneBit, r.shape);
    return grey.isNull() ? grey : reduceGrey(grey, r);
}
