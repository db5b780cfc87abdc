#ifndef BMP_H
#define BMP_H

#include "Pixels.h"

#include <QByteArray>
#include <QImage>
#include <QList>

// What a BMP's headers say, true or not; valid when the picture they describe may be read.
struct BmpHeader {
    qint64 offset = 0, width = 0, height = 0, depth = 0, compression = 0;
    qint64 paletteAt = 0;
    int entrySize = 4, colours = 0;
    bool valid = false;

    bool runLength() const { return compression == 1 || compression == 2; }
};

BmpHeader bmpHeader(const QByteArray &bytes);
QList<QRgb> bmpPalette(const QByteArray &bytes, const BmpHeader &h);

// The bytes that run-length coded rows take up to the end marker or the last row, or -1 when
// the data ends first.
qint64 rleLength(const uchar *data, qint64 size, qint64 height, bool fourBit);

// Decodes run-length data into the luminance LUM gives each palette index. The toolkit's reader
// leaves the pixels that the data skips uninitialised: here they are paper.
QImage decodeRle(const uchar *data, qint64 size, const BmpHeader &h, const uchar lum[256]);

// Reads a BMP file's bytes: its checks and run-length decoding here, the rest by the toolkit.
Decoded readBmp(QByteArray &bytes, const Reduction &r);

#endif
