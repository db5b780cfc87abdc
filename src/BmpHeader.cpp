// The headers of a BMP file, read one step at a time; each step checks what it reads against the
// bytes of the file before the next one trusts it.

#include "BmpHeader.h"
#include "Pixels.h"

namespace
{

const qint64 fileHeaderSize = 14;

quint32 littleEndian(const uchar *p, int bytes)
{
    quint32 value = 0;
    for (int i = bytes - 1; i >= 0; --i)
        value = value << 8 | p[i];
    return value;
}

// The information header: its size says which of the format's generations wrote it. OS/2 1.x
// (12 bytes) has 16-bit sides and 3-byte palette entries; OS/2 2.x (16 or 64 bytes) and Windows
// (40 bytes and more) have 32-bit ones, where a negative height means rows from the top down.
bool readInfoHeader(const uchar *p, qint64 size, BmpHeader &h, quint32 &infoSize)
{
    infoSize = littleEndian(p + 14, 4);
    switch (infoSize) {
    case 12:
    case 16:
    case 40:
    case 52:
    case 56:
    case 64:
    case 108:
    case 124:
        break;
    default:
        return false;
    }
    if (fileHeaderSize + infoSize > size)
        return false;
    if (infoSize == 12) {
        h.width = littleEndian(p + 18, 2);
        h.height = littleEndian(p + 20, 2);
        h.depth = int(littleEndian(p + 24, 2));
        h.entrySize = 3;
        return true;
    }
    h.width = qint32(littleEndian(p + 18, 4));
    h.height = qint32(littleEndian(p + 22, 4));
    h.depth = int(littleEndian(p + 28, 2));
    if (infoSize >= 40) {
        h.compression = int(qMin<quint32>(littleEndian(p + 30, 4), 0xffff));
        h.colours = int(qMin<quint32>(littleEndian(p + 46, 4), 0xffff));
    }
    if (h.height < 0) {
        h.height = -h.height;
        h.topDown = true;
    }
    return true;
}

bool checkSize(const BmpHeader &h)
{
    return h.width >= 1 && h.height >= 1 && h.width <= maxSide && h.height <= maxSide;
}

// Each compression goes with its own bit counts. OS/2 2.x gives 3 and 4 to Huffman and 24-bit
// run-length coding, which are not decoded, and run-length rows always run from the bottom up.
bool checkCoding(const BmpHeader &h, quint32 infoSize)
{
    const int d = h.depth;
    switch (h.compression) {
    case BmpRgb:
        return d == 1 || d == 2 || d == 4 || d == 8 || d == 16 || d == 24 || d == 32;
    case BmpRle8:
        return d == 8 && !h.topDown;
    case BmpRle4:
        return d == 4 && !h.topDown;
    case BmpBitFields:
    case BmpAlphaBitFields:
        return (d == 16 || d == 32) && infoSize != 64;
    default:
        return false;
    }
}

// The colour masks: fixed ones for uncompressed pictures (16 bits are 5-5-5, and the fourth byte
// of 32 is not alpha, as the common readers take it), else read from a header of 52 bytes or more
// (alpha from 56), or from the 12 bytes (16 with alpha) after a 40-byte one. Returns where the
// masks end, or -1 when the file ends first.
qint64 readMasks(const uchar *p, qint64 size, BmpHeader &h, quint32 infoSize)
{
    const qint64 end = fileHeaderSize + infoSize;
    if (h.compression == BmpRgb) {
        const quint32 rgb555[4] = {0x7c00, 0x03e0, 0x001f, 0};
        const quint32 rgb888[4] = {0xff0000, 0x00ff00, 0x0000ff, 0};
        for (int i = 0; i < 4; ++i)
            h.masks[i] = h.depth == 16 ? rgb555[i] : rgb888[i];
        return end;
    }
    const bool after = infoSize == 40;
    const qint64 at = after ? end : fileHeaderSize + 40;
    const int alpha = h.compression == BmpAlphaBitFields ? 1 : 0;
    const int count = after ? 3 + alpha : qMin(4, int(infoSize - 40) / 4);
    if (at + count * 4 > size)
        return -1;
    for (int i = 0; i < count; ++i)
        h.masks[i] = littleEndian(p + at + i * 4, 4);
    return after ? end + count * 4 : end;
}

// Every colour has bits of its own, in one run that lies inside the pixel; alpha may be absent.
bool checkMasks(const BmpHeader &h)
{
    quint32 used = 0;
    for (int i = 0; i < 4; ++i) {
        const quint32 m = h.masks[i];
        if (m == 0) {
            if (i < 3)
                return false;
            continue;
        }
        const quint32 run = m >> qCountTrailingZeroBits(m);
        if ((run & (run + 1)) != 0 || (used & m) != 0 || (h.depth < 32 && m >> h.depth != 0))
            return false;
        used |= m;
    }
    return true;
}

// A palette of the size the header gives (all that the bit count can index when it gives none),
// cut to the whole entries that lie between the headers and the pixel data.
bool readPaletteSize(BmpHeader &h, qint64 end, qint64 size)
{
    h.paletteAt = end;
    const int most = 1 << h.depth;
    if (h.colours == 0 || h.colours > most)
        h.colours = most;
    const qint64 room = (qMin(h.offset, size) - end) / h.entrySize;
    h.colours = int(qMin<qint64>(h.colours, room));
    return h.colours >= 1;
}

// The headers alone, each claim checked against the bytes at hand, which need not hold the
// pixel data: enough of a file's start to tell how long the picture is.
bool readHeaders(const QByteArray &bytes, BmpHeader &h)
{
    const qint64 size = bytes.size();
    const auto *p = reinterpret_cast<const uchar *>(bytes.constData());
    quint32 infoSize = 0;
    if (size < fileHeaderSize + 4 || !bytes.startsWith("BM") ||
        !readInfoHeader(p, size, h, infoSize) || !checkSize(h) || !checkCoding(h, infoSize))
        return false;
    h.offset = littleEndian(p + 10, 4);
    qint64 end = fileHeaderSize + infoSize;
    if (h.depth > 8) {
        end = readMasks(p, size, h, infoSize);
        if (end < 0 || !checkMasks(h))
            return false;
        h.colours = 0;
    } else if (!readPaletteSize(h, end, size)) {
        return false;
    }
    return h.offset >= end;
}

} // namespace

BmpHeader bmpHeader(const QByteArray &bytes)
{
    BmpHeader h;
    if (readHeaders(bytes, h) && h.offset <= bytes.size())
        h.valid = h.runLength() || h.rowBytes() * h.height <= bytes.size() - h.offset;
    return h;
}

qint64 bmpLength(const QByteArray &start)
{
    BmpHeader h;
    if (!readHeaders(start, h))
        return start.size();
    return h.runLength() ? 0 : h.offset + h.rowBytes() * h.height;
}

QList<QRgb> bmpPalette(const QByteArray &bytes, const BmpHeader &h)
{
    QList<QRgb> table;
    const auto *p = reinterpret_cast<const uchar *>(bytes.constData()) + h.paletteAt;
    for (int i = 0; i < h.colours; ++i, p += h.entrySize)
        table.append(qRgb(p[2], p[1], p[0]));
    return table;
}
