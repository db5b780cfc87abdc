// Colours laid on white paper, and the sizes every reader and the reduction agree on.

#include "Pixels.h"

#include <algorithm>
#include <cmath>
#include <vector>

namespace
{

// How one output pixel of a row or column is made from the input: the first input pixel it
// takes and the weight of each, in 16-bit fixed point, summing to one.
struct Taps {
    int first = 0;
    std::vector<int> weights;
};

const int one = 1 << 16;

std::vector<Taps> tapsFor(int from, int to)
{
    std::vector<Taps> taps(static_cast<size_t>(to));
    for (int i = 0; i < to; ++i) {
        Taps &t = taps[size_t(i)];
        if (to < from) {
            // The input interval [i * from / to, (i + 1) * from / to), each pixel by its overlap.
            const qint64 start = qint64(i) * from, end = qint64(i + 1) * from;
            t.first = int(start / to);
            for (qint64 p = t.first; p * to < end; ++p) {
                const qint64 overlap = qMin(end, (p + 1) * to) - qMax(start, p * to);
                t.weights.push_back(int(overlap * one / from));
            }
        } else {
            // The output pixel's centre between the two nearest input centres.
            const qint64 centre = qMax<qint64>(0, (qint64(2 * i + 1) * from - to) * one / (2 * to));
            t.first = int(qMin<qint64>(centre / one, from - 1));
            const int fraction = t.first + 1 < from ? int(centre % one) : 0;
            t.weights = {one - fraction, fraction};
        }
        // The rounding of each weight is made up on the first, so that white stays white.
        int sum = 0;
        for (int w : t.weights)
            sum += w;
        t.weights.front() += one - sum;
    }
    return taps;
}

uchar apply(const Taps &t, const uchar *in, qsizetype stride)
{
    int sum = one / 2;
    for (size_t k = 0; k < t.weights.size(); ++k)
        if (t.weights[k])
            sum += t.weights[k] * in[qsizetype(t.first + int(k)) * stride];
    return uchar(qMin(255, sum >> 16));
}

// The darkest, or with LIGHTEST the lightest, of the pixels that T covers.
uchar pick(const Taps &t, const uchar *in, bool lightest)
{
    uchar v = in[t.first];
    for (int p = t.first + 1; p < t.first + int(t.weights.size()); ++p)
        v = lightest ? qMax(v, in[p]) : qMin(v, in[p]);
    return v;
}

QImage scaleRows(const QImage &in, int width, Shrink shrink)
{
    QImage out(width, in.height(), QImage::Format_Grayscale8);
    if (out.isNull())
        return out;
    const std::vector<Taps> taps = tapsFor(in.width(), width);
    const bool picks = shrink != Shrink::Blend && width < in.width();
    const bool lightest = shrink == Shrink::Lightest;
    for (int y = 0; y < in.height(); ++y) {
        const uchar *from = in.constScanLine(y);
        uchar *to = out.scanLine(y);
        for (int x = 0; x < width; ++x)
            to[x] = picks ? pick(taps[size_t(x)], from, lightest) : apply(taps[size_t(x)], from, 1);
    }
    return out;
}

QImage scaleColumns(const QImage &in, int height, Shrink shrink)
{
    QImage out(in.width(), height, QImage::Format_Grayscale8);
    if (out.isNull())
        return out;
    const std::vector<Taps> taps = tapsFor(in.height(), height);
    const qsizetype stride = in.bytesPerLine();
    const bool picks = shrink != Shrink::Blend && height < in.height();
    for (int y = 0; y < height; ++y) {
        const Taps &t = taps[size_t(y)];
        uchar *to = out.scanLine(y);
        if (picks) {
            // Whole rows at a time, which the compiler makes wide.
            std::copy_n(in.constScanLine(t.first), in.width(), to);
            for (int p = t.first + 1; p < t.first + int(t.weights.size()); ++p) {
                const uchar *from = in.constScanLine(p);
                if (shrink == Shrink::Lightest)
                    std::transform(to, to + in.width(), from, to,
                                   [](uchar a, uchar b) { return qMax(a, b); });
                else
                    std::transform(to, to + in.width(), from, to,
                                   [](uchar a, uchar b) { return qMin(a, b); });
            }
            continue;
        }
        const uchar *from = in.constBits();
        for (int x = 0; x < in.width(); ++x)
            to[x] = apply(t, from + x, stride);
    }
    return out;
}

} // namespace

bool isDark(int lum, const Reduction &r)
{
    return (lum * 100 < r.threshold * 255) != r.invert;
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

QSize scaledSize(QSizeF size, const Reduction &r)
{
    const QSize rounded(qRound(size.width()), qRound(size.height()));
    if ((r.width <= 0 && r.height <= 0) || rounded.isEmpty())
        return scaledSize(rounded, r);
    const auto proportional = [](double side, double given, double other) {
        return qMax(1.0, std::floor(side * given / other + 0.5));
    };
    const double w = r.width > 0 ? r.width : proportional(size.width(), r.height, size.height());
    const double h = r.height > 0 ? r.height : proportional(size.height(), r.width, size.width());
    return w <= maxSide && h <= maxSide ? QSize(int(w), int(h)) : QSize();
}

bool fitsLimits(QSize size)
{
    return size.width() >= 1 && size.height() >= 1 && size.width() <= maxSide &&
           size.height() <= maxSide;
}

QImage scaleGrey(const QImage &grey, QSize target, Shrink shrink)
{
    // The pass that leaves fewer pixels goes first, so that the picture between them is small.
    const qint64 rowsFirst = qint64(target.width()) * grey.height();
    const qint64 columnsFirst = qint64(grey.width()) * target.height();
    if (rowsFirst <= columnsFirst) {
        const QImage half = scaleRows(grey, target.width(), shrink);
        return half.isNull() ? half : scaleColumns(half, target.height(), shrink);
    }
    const QImage half = scaleColumns(grey, target.height(), shrink);
    return half.isNull() ? half : scaleRows(half, target.width(), shrink);
}
