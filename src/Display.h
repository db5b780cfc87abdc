#ifndef DISPLAY_H
#define DISPLAY_H

// Picks the toolkit's platform before the application object is made: for the command line the
// minimal one, which draws nothing and needs no display; for the window the X display when its
// server answers within a bounded wait, otherwise the minimal one, which main reports. Returns
// whether the user chose a platform (QT_QPA_PLATFORM or -platform), which is then left as it is.
// A -display NAME that the command line does not use is taken out of the arguments.
bool choosePlatform(int &argc, char **argv);

#endif
