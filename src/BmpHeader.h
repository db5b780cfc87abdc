#ifndef BMPHEADER_H
#define BMPHEADER_H

#include <QByteArray>
#include <QList>
#include <QRgb>

// The ways a BMP's pixel data may be coded that pictorn decodes.
enum BmpCompression {
    BmpRgb = 0,
    BmpRle8 = 1,
    BmpRle4 = 2,
    BmpBitFields = 3,
    BmpAlphaBitFields = 6
};

// What a BMP's headers say, once every claim in them has been checked against the file's bytes.
struct BmpHeader {
    qint64 width = 0, height = 0; // both at least 1; the file's rows may run either way
    bool topDown = false;
    int depth = 0, compression = BmpRgb;
    qint64 offset = 0; // where the pixel data starts
    // The palette of a picture of 8 bits a pixel or fewer, cut to the entries the file holds.
    qint64 paletteAt = 0;
    int entrySize = 4, colours = 0;
    // Red, green, blue and alpha (0: opaque) of a picture of 16, 24 or 32 bits a pixel.
    quint32 masks[4] = {};
    bool valid = false;

    bool runLength() const { return compression == BmpRle8 || compression == BmpRle4; }
    // The bytes of an uncompressed row, padded to four.
    qint64 rowBytes() const { return (width * depth + 31) / 32 * 4; }
};

// Reads and checks a BMP's headers; valid is false when they cannot describe a picture that the
// bytes hold. The run-length data itself is checked by its decoder.
BmpHeader bmpHeader(const QByteArray &bytes);

// How many bytes of a file that starts with START its BMP headers say are the picture's: the
// headers and the rows of an uncompressed picture; 0 for run-length data, whose length only its
// end code tells (its size fields may be 0 or wrong), so the file is read to its end. Headers
// that describe no picture need no more than START.
qint64 bmpLength(const QByteArray &start);

// The palette, each entry stored as blue, green, red.
QList<QRgb> bmpPalette(const QByteArray &bytes, const BmpHeader &h);

#endif
