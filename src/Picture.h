#ifndef PICTURE_H
#define PICTURE_H

#include <QImage>
#include <QSize>
#include <QString>

// The largest picture, in pixels: the toolkit's own BMP reader refuses larger ones, and no
// format is allowed more.
inline constexpr qint64 maxPixels = qint64(16384) * 16384;

// How a picture becomes black and white: the settings of the -threshold, -invert, -dither,
// -width and -height keys and of the window's controls.
struct Reduction {
    int threshold = 50; // percent of white; a pixel darker than that is dark
    bool invert = false;
    bool dither = false;
    int width = 0; // 0: the picture's own, or kept in proportion to the other
    int height = 0;
};

// A picture as read from a file or from standard input ("-"), kept in the smallest form that
// every reduction can start from: 1-bit pictures as they are, any other as its luminance over
// white paper.
class Picture
{
public:
    enum Status { Loaded, Missing, NotAPicture, NoMemory };

    Status load(const QString &name, const Reduction &reduction);
    bool isNull() const { return oneBit.isNull() && grey.isNull(); }

    // The 1-bit image to write: a pixel is dark when its colour table entry is darker than mid
    // grey.
    QImage reduce(const Reduction &reduction) const;

private:
    QImage oneBit;
    QImage grey;
};

#endif
