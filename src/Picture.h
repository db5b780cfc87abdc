#ifndef PICTURE_H
#define PICTURE_H

#include "Pixels.h"
#include "Svg.h"

#include <QByteArray>
#include <QImage>
#include <QString>

// A picture as read from a file or from standard input ("-"), kept in the smallest form that
// every reduction can start from: 1-bit pictures as they are, vector pictures as their text, drawn
// at each reduction, any other as its luminance over white paper, scaled to the size the settings
// ask.
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
    // The name and the package the file gives (a library text does), or empty.
    QString name() const { return givenName; }
    QString package() const { return givenPackage; }

    // The 1-bit picture for R; a null image when it cannot be made, FAILURE (if given) telling
    // why: no memory, or no picture (an SVG that fails to draw at that size).
    QImage reduce(const Reduction &r, Status *failure = nullptr) const;

private:
    QString fileName;
    QByteArray bytes;
    bool keepBytes = false;
    QSize original;
    QString givenName, givenPackage;
    QImage oneBit;
    QImage grey;
    SvgPicture vector;
};

#endif
