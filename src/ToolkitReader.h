#ifndef TOOLKITREADER_H
#define TOOLKITREADER_H

#include "Pixels.h"

#include <QByteArray>
#include <QString>

// Reads the formats that the toolkit's image readers know, from the file's bytes; NAME's
// extension names the format of files that have no signature of their own (TGA, WBMP).
Decoded readWithToolkit(QByteArray &bytes, const QString &name, const Reduction &r);

#endif
