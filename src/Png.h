#ifndef PNG_READER_H
#define PNG_READER_H

#include "Pixels.h"

#include <QByteArray>

// Reads a PNG file's bytes with libpng, a row at a time: a 1-bit picture as a 1-bit image with
// its two colours, any other as its luminance on white, colour keys compared at the file's own
// depth. Files cut short or with a damaged chunk are refused.
Decoded readPng(const QByteArray &bytes, const Reduction &r);

#endif
