// The pixels of a BMP file, decoded row by row straight into the image that pictorn keeps; the
// headers are read and checked by BmpHeader.cpp first.

#include "Bmp.h"
#include "BmpHeader.h"

#include <cstring>
#include <vector>

namespace
{

// The file's row that holds the picture's row Y.
qint64 fileRow(const BmpHeader &h, int y)
{
    return h.topDown ? y : h.height - 1 - y;
}

// The bytes that run-length data takes up to its end code, or all of them when it has none.
qint64 rleLength(const uchar *data, qint64 size, bool fourBit)
{
    for (qint64 at = 0; at + 2 <= size;) {
        const uchar count = data[at];
        const uchar code = data[at + 1];
        at += 2;
        if (count > 0 || code == 0)
            continue;
        if (code == 1)
            return at;
        // A delta takes two bytes; absolute runs are padded to a 16-bit word.
        at += code == 2 ? 2 : fourBit ? (code + 3) / 4 * 2 : (code + 1) / 2 * 2;
    }
    return size;
}

// Decodes run-length data into IMAGE (white at first), each index as LUM gives it. False when a
// code writes past a row or past the picture, or runs past the data, or the data ends before its
// last row does: the common readers part ways there. The end code itself may be missing.
bool decodeRle(const uchar *data, qint64 size, const BmpHeader &h, const uchar lum[256],
               QImage &image)
{
    const bool fourBit = h.compression == BmpRle4;
    qint64 x = 0, row = 0;
    const auto put = [&](int count, const auto &index) {
        if (x + count > h.width || row >= h.height)
            return false;
        uchar *line = image.scanLine(int(h.height - 1 - row));
        for (int i = 0; i < count; ++i)
            line[x + i] = lum[index(i)];
        x += count;
        return true;
    };
    for (qint64 at = 0; at + 2 <= size;) {
        const uchar count = data[at];
        const uchar code = data[at + 1];
        at += 2;
        if (count > 0) {
            if (!put(count,
                     [&](int i) { return fourBit ? (i % 2 ? code & 15 : code >> 4) : code; }))
                return false;
        } else if (code == 0) {
            x = 0;
            ++row;
        } else if (code == 1) {
            return true;
        } else if (code == 2) {
            if (at + 2 > size)
                return false;
            x += data[at];
            row += data[at + 1];
            at += 2;
        } else {
            const uchar *run = data + at;
            if (at + (fourBit ? (code + 1) / 2 : code) > size || !put(code, [&](int i) {
                    return fourBit ? run[i / 2] >> (i % 2 ? 0 : 4) & 15 : run[i];
                }))
                return false;
            at += fourBit ? (code + 3) / 4 * 2 : (code + 1) / 2 * 2;
        }
    }
    return row >= h.height || (row == h.height - 1 && x == h.width);
}

// A 1-bit picture keeps its bits, which BMP stores as the toolkit does, and its two colours.
QImage readMono(const uchar *data, const BmpHeader &h, const QList<QRgb> &table)
{
    QImage image(int(h.width), int(h.height), QImage::Format_Mono);
    if (image.isNull())
        return image;
    image.setColorTable({table.first(), table.value(1, table.last())});
    for (int y = 0; y < image.height(); ++y)
        std::memcpy(image.scanLine(y), data + fileRow(h, y) * h.rowBytes(),
                    size_t(h.width + 7) / 8);
    return image;
}

// Pixels of 2, 4 or 8 bits, the leftmost in the highest bits of a byte.
QImage readIndexed(const uchar *data, const BmpHeader &h, const uchar lum[256])
{
    QImage image(int(h.width), int(h.height), QImage::Format_Grayscale8);
    if (image.isNull())
        return image;
    const int depth = h.depth;
    const int mask = (1 << depth) - 1;
    for (int y = 0; y < image.height(); ++y) {
        const uchar *in = data + fileRow(h, y) * h.rowBytes();
        uchar *out = image.scanLine(y);
        for (int x = 0; x < image.width(); ++x) {
            const int bit = x * depth;
            out[x] = lum[in[bit >> 3] >> (8 - depth - (bit & 7)) & mask];
        }
    }
    return image;
}

// One channel of a bit-field pixel, scaled to 8 bits by rounding; a table for up to 16 bits.
class Channel
{
public:
    explicit Channel(quint32 mask)
        : mask(mask), shift(mask ? qCountTrailingZeroBits(mask) : 0), max(mask >> shift)
    {
        if (max > 0 && max < 65536)
            for (quint32 v = 0; v <= max; ++v)
                table.push_back(uchar(scale(v)));
    }

    // An absent channel is alpha, and opaque.
    int operator()(quint32 pixel) const
    {
        if (mask == 0)
            return 255;
        const quint32 v = (pixel & mask) >> shift;
        return table.empty() ? scale(v) : table[v];
    }

private:
    int scale(quint64 v) const { return int((v * 255 + max / 2) / max); }

    const quint32 mask;
    const int shift;
    const quint64 max;
    std::vector<uchar> table;
};

template <int Bytes>
void maskedRow(const uchar *in, uchar *out, int width, const Channel c[4], bool shape)
{
    for (int x = 0; x < width; ++x, in += Bytes) {
        quint32 v = in[0] | quint32(in[1]) << 8;
        if constexpr (Bytes >= 3)
            v |= quint32(in[2]) << 16;
        if constexpr (Bytes == 4)
            v |= quint32(in[3]) << 24;
        out[x] = uchar(luminance(qRgba(c[0](v), c[1](v), c[2](v), c[3](v)), shape));
    }
}

// Pixels of 16, 24 or 32 bits, little-endian, their colours where the masks say.
QImage readMasked(const uchar *data, const BmpHeader &h, bool shape)
{
    QImage image(int(h.width), int(h.height), QImage::Format_Grayscale8);
    if (image.isNull())
        return image;
    const Channel c[4] = {Channel(h.masks[0]), Channel(h.masks[1]), Channel(h.masks[2]),
                          Channel(h.masks[3])};
    for (int y = 0; y < image.height(); ++y) {
        const uchar *in = data + fileRow(h, y) * h.rowBytes();
        uchar *out = image.scanLine(y);
        if (h.depth == 16)
            maskedRow<2>(in, out, image.width(), c, shape);
        else if (h.depth == 24)
            maskedRow<3>(in, out, image.width(), c, shape);
        else
            maskedRow<4>(in, out, image.width(), c, shape);
    }
    return image;
}

} // namespace

Decoded readBmp(QByteArray &bytes, const Reduction &r)
{
    Decoded result;
    const BmpHeader h = bmpHeader(bytes);
    if (!h.valid)
        return result;
    const auto *data = reinterpret_cast<const uchar *>(bytes.constData()) + h.offset;
    qint64 used = bytes.size() - h.offset;
    // Run-length data that claims far more pixels than its bytes can code is a bomb.
    if (h.runLength()) {
        used = rleLength(data, used, h.compression == BmpRle4);
        if (!plausibleSize(h.width * h.height, used))
            return result;
    }
    const QList<QRgb> table = bmpPalette(bytes, h);
    uchar lum[256];
    paletteLuminance(table, r.shape, lum);
    if (h.runLength()) {
        result.image = QImage(int(h.width), int(h.height), QImage::Format_Grayscale8);
        result.image.fill(255);
        if (!result.image.isNull() && !decodeRle(data, used, h, lum, result.image))
            return {};
    } else if (h.depth == 1) {
        result.image = readMono(data, h, table);
    } else if (h.depth <= 8) {
        result.image = readIndexed(data, h, lum);
    } else {
        result.image = readMasked(data, h, r.shape);
    }
    bytes.clear();
    result.status = result.image.isNull() ? ReadStatus::NoMemory : ReadStatus::Loaded;
    return result;
}
