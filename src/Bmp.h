#ifndef BMP_H
#define BMP_H

#include "Pixels.h"

#include <QByteArray>

// Reads a BMP file's bytes: a 1-bit uncompressed picture as a 1-bit image with the file's two
// colours, any other as its luminance on white. Pixels that run-length data skips are paper.
Decoded readBmp(QByteArray &bytes, const Reduction &r);

#endif
