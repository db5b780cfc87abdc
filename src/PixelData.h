#ifndef PIXELDATA_H
#define PIXELDATA_H

#include <QByteArray>
#include <QString>

// What a picture's first bytes and its name say of it, before the rest is read: whether it
// starts like a picture that pictorn reads, and how many bytes are its own (0 when its format
// does not say, and the whole file is read).
bool startsLikePicture(const QByteArray &start, const QString &name);
qint64 bytesNeeded(const QByteArray &start);

// The part of a picture file that holds its pixels: the bytes that count toward the pixels the
// file may claim, and how many pixels a byte of that format holds at most. BYTES is -1 when the
// file is cut short or its structure does not hold together.
struct PixelData {
    qint64 bytes = -1;
    qint64 pixelsPerByte = 1;
};

// FORMAT is the toolkit's name for the format ("png", "jpeg", "gif" ...).
PixelData pixelData(const QByteArray &format, const QByteArray &bytes);

#endif
