#ifndef DISPLAY_H
#define DISPLAY_H

#include "CmdLine.h"

// Picks the toolkit's platform before the application object is made: for the command line the
// minimal one, which draws nothing and needs no display; for the window the X display when its
// server answers within a bounded wait, otherwise the minimal one, which main reports. Returns
// whether the user chose a platform (QT_QPA_PLATFORM or -platform), which is then left as it is.
// For the window it also bounds the start: when the application object is not made within three
// seconds of the probe's answer, one line says so and the run ends with status 1.
bool choosePlatform(const Options &options);

// Once the application object is made: the start is over, and the X display is watched.
void startedUp();

// Whether the connection to the X display broke after the start.
bool displayLost();

#endif
