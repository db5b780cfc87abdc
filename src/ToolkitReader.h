#ifndef TOOLKITREADER_H
#define TOOLKITREADER_H

#include "Pixels.h"

#include <QByteArray>
#include <QString>

// Reads the formats that the toolkit's image readers know, from the file's bytes; NAME's
// extension names the format of files that have no signature of their own (TGA, WBMP).
Decoded readWithToolkit(QByteArray &bytes, const QString &name, const Reduction &r);

// Makes the toolkit's process-wide settings for reading: its limit on the memory of a decoded
// image, from pictorn's own limits, and silence from the libraries under it. Called once at
// start, before any picture is read.
void setToolkitLimits();

#endif
