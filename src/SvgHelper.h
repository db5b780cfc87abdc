#ifndef SVGHELPER_H
#define SVGHELPER_H

#include "Pixels.h"

#include <QByteArray>
#include <QByteArrayList>

#include <functional>

// pictorn-svg, the helper program that parses and draws SVG documents, run on TEXT (handed
// over on its standard input) with ARGUMENTS after its limits. What it writes goes to TAKE a
// piece at a time, and TAKE returns false when that cannot be right, which ends the helper.
// Loaded when the helper exited with status 0 of itself (its status is judged whatever SIGCHLD's
// disposition: see main): the caller still checks that all of its output came.
// NoMemory when it ran out of memory; NotAPicture when it failed, crashed, was killed, passed
// its time or was cancelled (see Cancel.h).
ReadStatus runHelper(const QByteArray &text, const QByteArrayList &arguments,
                     const std::function<bool(const char *data, qsizetype size)> &take);

#endif
