// The checks and the decoding of BMP files that the toolkit's reader leaves undone.

#include "Bmp.h"
#include "ToolkitReader.h"

namespace
{

quint32 littleEndian(const uchar *p, int bytes)
{
    quint32 value = 0;
    for (int i = bytes - 1; i >= 0; --i)
        value = value << 8 | p[i];
    return value;
}

} // namespace

BmpHeader bmpHeader(const QByteArray &bytes)
{
    BmpHeader h;
    if (bytes.size() < 26 || !bytes.startsWith("BM"))
        return h;
    const auto *p = reinterpret_cast<const uchar *>(bytes.constData());
    h.offset = littleEndian(p + 10, 4);
    const quint32 infoSize = littleEndian(p + 14, 4);
    if (infoSize == 12) {
        h.width = littleEndian(p + 18, 2);
        h.height = littleEndian(p + 20, 2);
        h.depth = littleEndian(p + 24, 2);
        h.entrySize = 3;
    } else {
        if (bytes.size() < 50 || infoSize < 40)
            return h;
        h.width = qint32(littleEndian(p + 18, 4));
        h.height = qint32(littleEndian(p + 22, 4));
        h.depth = littleEndian(p + 28, 2);
        h.compression = littleEndian(p + 30, 4);
        h.colours = int(qMin<quint32>(littleEndian(p + 46, 4), 256));
    }
    if (h.colours == 0 && h.depth <= 8)
        h.colours = 1 << h.depth;
    h.paletteAt = 14 + qint64(infoSize);
    h.valid = h.width > 0 && h.height != 0 && h.depth > 0 && h.depth <= 32 && h.width <= maxSide &&
              qAbs(h.height) <= maxSide;
    return h;
}

qint64 rleLength(const uchar *data, qint64 size, qint64 height, bool fourBit)
{
    qint64 at = 0;
    qint64 rows = 0;
    while (rows < height) {
        if (at + 2 > size)
            return -1;
        const uchar count = data[at];
        const uchar code = data[at + 1];
        at += 2;
        if (count > 0)
            continue;
        if (code == 0) {
            ++rows;
        } else if (code == 1) {
            return at;
        } else if (code == 2) {
            if (at + 2 > size)
                return -1;
            rows += data[at + 1];
            at += 2;
        } else {
            at += fourBit ? (code + 3) / 4 * 2 : (code + 1) / 2 * 2;
            if (at > size)
                return -1;
        }
    }
    return at;
}

QImage decodeRle(const uchar *data, qint64 size, const BmpHeader &h, const uchar lum[256])
{
    const bool fourBit = h.compression == 2;
    QImage image(int(h.width), int(h.height), QImage::Format_Grayscale8);
    if (image.isNull())
        return image;
    image.fill(255);
    qint64 x = 0, row = 0;
    const auto put = [&](int index) {
        if (x < h.width && row < h.height)
            image.scanLine(int(h.height - 1 - row))[x] = lum[index];
        ++x;
    };
    for (qint64 at = 0; row < h.height && at + 2 <= size;) {
        const uchar count = data[at];
        const uchar code = data[at + 1];
        at += 2;
        if (count > 0) {
            for (int i = 0; i < count; ++i)
                put(fourBit ? (i % 2 ? code & 15 : code >> 4) : code);
        } else if (code == 0) {
            x = 0;
            ++row;
        } else if (code == 1) {
            break;
        } else if (code == 2) {
            x += data[at];
            row += data[at + 1];
            at += 2;
        } else {
            for (int i = 0; i < code; ++i)
                put(fourBit ? data[at + i / 2] >> (i % 2 ? 0 : 4) & 15 : data[at + i]);
            at += fourBit ? (code + 3) / 4 * 2 : (code + 1) / 2 * 2;
        }
    }
    return image;
}

QList<QRgb> bmpPalette(const QByteArray &bytes, const BmpHeader &h)
{
    QList<QRgb> table;
    for (int i = 0; i < h.colours && h.paletteAt + (i + 1) * h.entrySize <= bytes.size(); ++i) {
        const auto *e =
            reinterpret_cast<const uchar *>(bytes.constData()) + h.paletteAt + i * h.entrySize;
        table.append(qRgb(e[2], e[1], e[0]));
    }
    return table;
}

Decoded readBmp(QByteArray &bytes, const Reduction &r)
{
    Decoded result;
    // A BMP whose pixel data ends before its header says it should is a truncated download or a
    // lying header; the toolkit's reader would fill the missing rows silently.
    const BmpHeader bmp = bmpHeader(bytes);
    if (!bmp.valid)
        return result;
    const qint64 dataSize = bytes.size() - bmp.offset;
    if (!bmp.runLength()) {
        const bool uncompressed =
            bmp.compression == 0 || bmp.compression == 3 || bmp.compression == 6;
        if (uncompressed && dataSize < (bmp.width * bmp.depth + 31) / 32 * 4 * qAbs(bmp.height))
            return result;
        return readWithToolkit(bytes, QString(), r);
    }
    const auto *data = reinterpret_cast<const uchar *>(bytes.constData()) + bmp.offset;
    const qint64 used = dataSize > 0 && bmp.height > 0
                            ? rleLength(data, dataSize, bmp.height, bmp.compression == 2)
                            : -1;
    if (used < 0 || !plausibleSize(bmp.width * bmp.height, used) ||
        bmp.paletteAt + qint64(bmp.colours) * bmp.entrySize > bmp.offset)
        return result;
    uchar lum[256];
    paletteLuminance(bmpPalette(bytes, bmp), r.shape, lum);
    result.image = decodeRle(data, used, bmp, lum);
    result.status = result.image.isNull() ? ReadStatus::NoMemory : ReadStatus::Loaded;
    return result;
}
