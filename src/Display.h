#ifndef DISPLAY_H
#define DISPLAY_H

// Picks the toolkit's platform before the application object is made: the X display when its
// server answers, otherwise a minimal one that draws nothing. Returns whether the user chose a
// platform (QT_QPA_PLATFORM or -platform), which is then left as it is.
bool choosePlatform(int argc, char **argv);

#endif
