#ifndef TOOLKITREADER_H
#define TOOLKITREADER_H

#include "Pixels.h"

#include <QByteArray>
#include <QString>

// Reads the formats that the toolkit's image readers know, from the file's bytes; NAME's
// extension names the format of files that have no signature of their own (TGA, WBMP).
Decoded readWithToolkit(QByteArray &bytes, const QString &name, const Reduction &r);

// Makes the toolkit's process-wide setting for reading: its limit on the memory of a decoded
// image, from pictorn's own limits. Called once at start, before any picture is read.
void setToolkitLimits();

// Silences libtiff, which under the toolkit's reader would write its complaints straight to
// standard error, the channel of pictorn's own messages: the image's failure is enough. It
// changes the whole process, so the window calls it at its start, before any reading thread
// runs; the command line, which reads on its only thread, when it first reads a TIFF.
void quietTiff();

#endif
