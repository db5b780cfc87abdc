// The structure of each format walked with every length checked against the bytes at hand:
// enough to find the pixel data and to tell a whole file from one cut short.

#include "PixelData.h"
#include "BmpHeader.h"
#include "Pixels.h"

#include <QFileInfo>
#include <QtEndian>

#include <cstring>

namespace
{

const uchar *at(const QByteArray &bytes)
{
    return reinterpret_cast<const uchar *>(bytes.data());
}

// PNG: the IDAT chunks, in chunks that run whole from the signature to IEND.
qint64 pngDataBytes(const QByteArray &bytes)
{
    const uchar *p = at(bytes);
    const qint64 size = bytes.size();
    if (!bytes.startsWith("\x89PNG\r\n\x1a\n"))
        return -1;
    qint64 data = 0;
    for (qint64 i = 8; i + 12 <= size;) {
        const qint64 length = qFromBigEndian<quint32>(p + i);
        if (length > size - i - 12)
            return -1;
        if (std::memcmp(p + i + 4, "IDAT", 4) == 0)
            data += length;
        else if (std::memcmp(p + i + 4, "IEND", 4) == 0)
            return data;
        i += 12 + length;
    }
    return -1;
}

// JPEG: the entropy-coded data of every scan, each ended by a marker other than a restart; the
// file must reach its EOI marker.
qint64 jpegDataBytes(const QByteArray &bytes)
{
    const uchar *p = at(bytes);
    const qint64 size = bytes.size();
    qint64 data = 0;
    for (qint64 i = 2; i + 1 < size;) {
        if (p[i] != 0xff)
            return -1;
        const uchar marker = p[i + 1];
        i += 2;
        if (marker == 0xd9)
            return data;
        if (marker == 0xff || marker == 0x01 || (marker >= 0xd0 && marker <= 0xd7)) {
            i -= marker == 0xff ? 1 : 0;
            continue;
        }
        if (i + 2 > size)
            return -1;
        i += qFromBigEndian<quint16>(p + i);
        if (marker != 0xda)
            continue;
        const qint64 scan = i;
        while (i + 1 < size && (p[i] != 0xff || p[i + 1] == 0 || (p[i + 1] & 0xf8) == 0xd0))
            ++i;
        data += i - scan;
    }
    return -1;
}

// GIF: the sub-blocks of every image's data, up to the trailer byte.
qint64 gifDataBytes(const QByteArray &bytes)
{
    const uchar *p = at(bytes);
    const qint64 size = bytes.size();
    const auto table = [](uchar flags) { return flags & 0x80 ? 3 << ((flags & 7) + 1) : 0; };
    if (size < 13)
        return -1;
    qint64 data = 0;
    for (qint64 i = 13 + table(p[10]); i < size;) {
        const uchar block = p[i];
        if (block == 0x3b)
            return data;
        if (block == 0x2c) {
            if (i + 10 > size)
                return -1;
            i += 10 + table(p[i + 9]) + 1; // the descriptor, its colours, the code size
        } else if (block == 0x21) {
            i += 2;
        } else {
            return -1;
        }
        for (; i < size && p[i] != 0; i += p[i] + 1)
            data += block == 0x2c ? p[i] : 0;
        ++i;
    }
    return -1;
}

// WebP: the chunks holding the pixels (VP8, VP8L, ALPH, animation frames) within the RIFF size.
qint64 webpDataBytes(const QByteArray &bytes)
{
    const uchar *p = at(bytes);
    if (bytes.size() < 12)
        return -1;
    const qint64 end = 8 + qint64(qFromLittleEndian<quint32>(p + 4));
    if (end > bytes.size())
        return -1;
    qint64 data = 0;
    for (qint64 i = 12; i < end;) {
        if (i + 8 > end)
            return -1;
        const qint64 length = qFromLittleEndian<quint32>(p + i + 4);
        if (length > end - i - 8)
            return -1;
        const QByteArray kind = bytes.mid(i, 4);
        if (kind == "VP8 " || kind == "VP8L" || kind == "ALPH" || kind == "ANMF")
            data += length;
        i += 8 + length + (length & 1);
    }
    return data;
}

// XBM: C source, whole only with the brace that closes its array.
qint64 xbmDataBytes(const QByteArray &bytes)
{
    const qsizetype open = bytes.indexOf('{');
    return open >= 0 && bytes.indexOf('}', open) > open ? bytes.size() : -1;
}

} // namespace

PixelData pixelData(const QByteArray &format, const QByteArray &bytes)
{
    if (format == "png")
        return {pngDataBytes(bytes), PixelsPerByte::png};
    if (format == "jpeg" || format == "jpg")
        return {jpegDataBytes(bytes), PixelsPerByte::jpeg};
    if (format == "gif")
        return {gifDataBytes(bytes), PixelsPerByte::gif};
    if (format == "webp")
        return {webpDataBytes(bytes), PixelsPerByte::webp};
    if (format == "xbm")
        return {xbmDataBytes(bytes), PixelsPerByte::text};
    if (format == "tif" || format == "tiff")
        return {bytes.size(), PixelsPerByte::tiff};
    if (format == "tga")
        return {bytes.size(), PixelsPerByte::tga};
    if (format == "pbm" || format == "wbmp")
        return {bytes.size(), PixelsPerByte::raw1bit};
    if (format == "pgm" || format == "ppm" || format == "xpm")
        return {bytes.size(), PixelsPerByte::text};
    return {bytes.size(), PixelsPerByte::png};
}

bool startsLikePicture(const QByteArray &start, const QString &name)
{
    static const QByteArray signatures[] = {"BM",
                                            "\x89PNG",
                                            "\xff\xd8\xff",
                                            "GIF8",
                                            QByteArray("II*\0", 4),
                                            QByteArray("MM\0*", 4),
                                            QByteArray("\0\0\1\0", 4),
                                            QByteArray("\0\0\2\0", 4),
                                            "icns",
                                            "\x8aMNG",
                                            "\x1f\x8b",
                                            "'"};
    for (const QByteArray &signature : signatures)
        if (start.startsWith(signature))
            return true;
    if (start.size() >= 2 && start[0] == 'P' && start[1] >= '1' && start[1] <= '7')
        return true;
    if (start.startsWith("RIFF") && start.mid(8, 4) == "WEBP")
        return true;
    const QByteArray text = (start.startsWith("\xef\xbb\xbf") ? start.mid(3) : start).trimmed();
    for (const char *opening : {"#define", "/*", "<?xml", "<svg", "<!--", "<!DOCTYPE"})
        if (text.startsWith(opening))
            return true;
    // These formats have no signature: only the name tells them.
    const QString suffix = QFileInfo(name).suffix().toLower();
    return suffix == u"tga" || suffix == u"icb" || suffix == u"vda" || suffix == u"vst" ||
           suffix == u"wbmp";
}

qint64 bytesNeeded(const QByteArray &start)
{
    return start.startsWith("BM") ? bmpLength(start) : 0;
}
