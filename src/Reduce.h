#ifndef REDUCE_H
#define REDUCE_H

#include "Pixels.h"

#include <vector>

// Turns rows of luminance, given top to bottom, into the rows of a 1-bit image in which a set bit
// is dark: by the threshold, or by error diffusion that carries from each row to the next, so
// that a picture may be reduced in bands as well as whole.
class RowReducer
{
public:
    // Reduces into IMAGE, a 1-bit image made by blankBitmap.
    RowReducer(QImage &image, const Reduction &r);
    void addRow(const uchar *grey);

private:
    void threshold(const uchar *in, uchar *out) const;
    void dither(const uchar *in, uchar *out);

    QImage &image;
    const Reduction settings;
    int row = 0;
    uchar dark[256];
    std::vector<int> error, next;
};

// The threshold, in percent of white, that best splits GREY (Grayscale8) into dark and light by
// Otsu's method: the level that maximises the variance between the two classes. Of levels that
// split the picture's greys alike, the middle one.
int autoThreshold(const QImage &grey);

// The threshold between two luminances, for a 1-bit picture with two colours of its own; 50 when
// they are alike.
int middleThreshold(int lum0, int lum1);

// A 1-bit image with a black-and-white table in which a set bit is dark; null when memory runs
// out.
QImage blankBitmap(int w, int h);

// The 1-bit image to write from a picture's luminance.
QImage reduceGrey(const QImage &grey, const Reduction &r);

// The 1-bit image to write from a 1-bit picture with two colours of its own.
QImage reduceOneBit(const QImage &oneBit, const Reduction &r);

#endif
