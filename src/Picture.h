#ifndef PICTURE_H
#define PICTURE_H

#include "Pixels.h"
#include "Svg.h"

#include <QByteArray>
#include <QImage>
#include <QRect>
#include <QString>

// The threshold that -threshold=auto comes to, and what it was chosen from: the picture's greys
// after scaling, its greys at its own size (when it is trimmed, the box and the rows take the
// same level), the two colours of a 1-bit picture, or nothing (a vector picture's greys are not
// measured, and it takes the default).
struct ChosenLevel {
    enum From { Greys, OwnSize, TwoColours, Default };
    int threshold = 50;
    From from = Default;
};

// A picture as read from a file or from standard input ("-"), kept in the smallest form that
// every reduction can start from: 1-bit pictures as they are, vector pictures as their text, drawn
// at each reduction, any other as its luminance over white paper, mirrored, turned, trimmed and
// scaled as the settings ask.
class Picture
{
public:
    using Status = ReadStatus;
    static constexpr Status Loaded = ReadStatus::Loaded;
    static constexpr Status Missing = ReadStatus::Missing;
    static constexpr Status NotAPicture = ReadStatus::NotAPicture;
    static constexpr Status NoMemory = ReadStatus::NoMemory;

    // Reads and decodes NAME for the settings R, keeping nothing of the file's bytes.
    Status load(const QString &name, const Reduction &r);
    // Reads the bytes of NAME and keeps them, so that the picture can be decoded again.
    Status read(const QString &name);
    // Decodes the kept bytes for the size and the rule of transparency that R asks.
    Status decode(const Reduction &r);
    // Whether going from settings OLD to R needs the picture decoded again.
    static bool needsDecode(const Reduction &old, const Reduction &r);

    bool isNull() const { return oneBit.isNull() && grey.isNull() && vector.isNull(); }
    // The size of the picture as the file gives it, before any scaling.
    QSize originalSize() const { return original; }
    // The size that the width and the height of the settings scale: the original, mirrored,
    // turned and trimmed as it was last decoded.
    QSize sourceSize() const { return source; }
    // The part of the turned picture that trimming kept: empty when it found no dark pixel or
    // was not asked.
    QRect trimBox() const { return box; }
    // The name and the package the file gives (a library text does), or empty.
    QString name() const { return givenName; }
    QString package() const { return givenPackage; }
    // Why the file was refused, when its reader can say more than that it is no picture.
    QString reason() const { return why; }

    // The level that R's -threshold=auto comes to for the picture as decoded.
    ChosenLevel chooseThreshold(const Reduction &r) const;
    // R with its automatic threshold replaced by the level chosen.
    Reduction resolved(const Reduction &r) const;
    // The picture as a 1-bit image whose colours say which pixels are dark, with R's margin; a
    // null image when it cannot be made, FAILURE (if given) telling why: no memory, or no picture
    // (an SVG that fails to draw at that size).
    QImage reduce(const Reduction &r, Status *failure = nullptr) const;
    // Whether the picture has opaque pixels on transparency: with -alpha=shape it has dark and
    // light pixels. Found once, by decoding the picture again (read again from its file when its
    // bytes were not kept; false for standard input then).
    bool hasTransparency();

private:
    void trim(QImage &image, const Reduction &r);
    Status placeVector(const Reduction &r);
    bool measureTransparency() const;

    QString fileName;
    QByteArray bytes;
    bool keepBytes = false;
    QSize original;
    QSize source;
    QRect box;
    ChosenLevel trimLevel; // the level an automatic threshold chose for trimming
    // A vector picture is drawn at DRAWING, then turned, and KEPT cut from it.
    QSize drawing;
    QRect kept;
    bool transparencyKnown = false, transparency = false;
    QString givenName, givenPackage, why;
    QImage oneBit;
    QImage grey;
    SvgPicture vector;
};

// Why NAME gave no picture, in one sentence without its full stop.
QString readProblem(ReadStatus status, const QString &name);

#endif
