#ifndef LIBRARYTEXT_H
#define LIBRARYTEXT_H

#include "Pixels.h"

#include <QByteArray>

// Whether BYTES start like a library text: its name line opens with a single quote.
bool isLibraryText(const QByteArray &bytes);

// Reads a library text as pictorn writes it back into its 1-bit picture ("#" a set, dark bit)
// with its name and package. Lines may end in CR LF as well as LF; the final empty line is
// required, so that a file cut short between two rows is refused, and nothing may follow it.
Decoded readLibraryText(const QByteArray &bytes);

#endif
