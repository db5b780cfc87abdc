#ifndef SVG_H
#define SVG_H

#include "Pixels.h"

#include <QByteArray>
#include <QImage>
#include <QSize>
#include <QSizeF>

// Whether BYTES hold an SVG document: its first element is svg, after a byte-order mark, blanks,
// an XML declaration, comments and a document type; plain or gzip-compressed.
bool isSvg(const QByteArray &bytes);

// An SVG document, kept as its text and drawn anew by pictorn-svg at whatever size a reduction
// asks. It draws from nothing outside itself but the data: URIs it holds: no file, no URL, not
// itself. A window's job can stop a drawing at once (see Cancel.h).
class SvgPicture
{
public:
    // The largest SVG text taken, compressed or not.
    static constexpr qsizetype maxText = 64 << 20;

    // Takes the document in BYTES (text or gzip-compressed) and finds its own size.
    ReadStatus read(const QByteArray &bytes);

    bool isNull() const { return text.isEmpty(); }
    // The size its width, height and view box give, rounded to whole pixels.
    QSize size() const { return own; }
    // The same size before rounding, whose proportions a side set alone keeps.
    QSizeF exactSize() const { return exact; }

    // The document drawn to fill SIZE and reduced to one bit by R, a band of rows at a time; a
    // null image when it cannot be drawn or memory runs out, which FAILURE, if given, tells apart.
    QImage reduce(QSize size, const Reduction &r, ReadStatus *failure = nullptr) const;

private:
    QByteArray text;
    QSize own;
    QSizeF exact;
};

#endif
