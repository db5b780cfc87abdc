#ifndef TEXTFORMAT_H
#define TEXTFORMAT_H

#include <QRgb>
#include <QString>

class QImage;

// How the library source text is spelt, line by line: the writer, the rows model, the window's
// status line and the reader of texts written before all take it from here.
namespace TextFormat
{

// The name, the package, the size line and "BITMAP" come before the pixel rows.
inline constexpr int headerLines = 4;
// The most characters a name or a package keeps.
inline constexpr int fieldLength = 16;

// TEXT as a name or a package keeps it: a line break would split the line and shift every line
// after it, so it becomes a blank; then at most fieldLength characters, never half of a character
// outside the basic plane.
QString fieldText(const QString &text);

// The header line of a name or a package: FIELD between single quotes, nothing escaped.
QString headerLine(const QString &field);

// The size line of a picture W x H: each side less one, divided by ten, then the digit 1.
QString sizeLine(int w, int h);

// The label that starts the line of pixel row Y, "{  0}" growing past three digits; its length.
int rowLabel(int y, char (&text)[16]);

// The bytes of the whole text of a picture W x H whose header lines take HEADERBYTES with their
// line feeds: each row is its label, its pixels and a line feed; then the final empty line.
qint64 textBytes(qint64 headerBytes, int w, int h);

// Whether a colour of a 1-bit picture is a dark pixel: darker than mid grey.
bool isDarkColour(QRgb colour);

// For each byte of a row of the 1-bit BITMAP, its dark pixels as set bits, the row's first pixel
// highest: the two colours may be either way round, or both dark, and the bits in either order.
void darkMasks(const QImage &bitmap, unsigned char (&masks)[256]);

} // namespace TextFormat

#endif
