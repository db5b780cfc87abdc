#include "TextFormat.h"
#include "Pixels.h"

#include <QImage>

#include <cstdio>

namespace TextFormat
{

QString fieldText(const QString &text)
{
    QString field = text;
    field.replace(u'\n', u' ').replace(u'\r', u' ');
    const bool splitsPair =
        field.size() > fieldLength && field.at(fieldLength - 1).isHighSurrogate();
    field.truncate(splitsPair ? fieldLength - 1 : fieldLength);
    return field;
}

QString headerLine(const QString &field)
{
    return u'\'' + field + u'\'';
}

QString sizeLine(int w, int h)
{
    return QStringLiteral("%1 %2 1").arg((w - 1) / 10).arg((h - 1) / 10);
}

int rowLabel(int y, char (&text)[16])
{
    return std::snprintf(text, sizeof text, "{%3d}", y);
}

qint64 textBytes(qint64 headerBytes, int w, int h)
{
    qint64 bytes = headerBytes + 1 + qint64(h) * (5 + w + 1);
    // Each row from 1000 on has a fourth digit, from 10000 on a fifth.
    for (qint64 from = 1000; from < h; from *= 10)
        bytes += h - from;
    return bytes;
}

bool isDarkColour(QRgb colour)
{
    return isDark(qGray(colour), Reduction());
}

void darkMasks(const QImage &bitmap, unsigned char (&masks)[256])
{
    const bool dark0 = isDarkColour(bitmap.colorTable().value(0));
    const bool dark1 = isDarkColour(bitmap.colorTable().value(1));
    const bool lsbFirst = bitmap.format() == QImage::Format_MonoLSB;
    for (int byte = 0; byte < 256; ++byte) {
        masks[byte] = 0;
        for (int pixel = 0; pixel < 8; ++pixel) {
            const bool set = byte >> (lsbFirst ? pixel : 7 - pixel) & 1;
            if (set ? dark1 : dark0)
                masks[byte] |= 0x80 >> pixel;
        }
    }
}

} // namespace TextFormat
