#ifndef JOB_H
#define JOB_H

#include "Picture.h"

#include <QImage>
#include <QList>

// One round of the window's work, run off its thread: the picture decoded again when its size or
// its rule of transparency changes, then reduced to black and white, with the preview's levels.
struct Job {
    Picture picture;
    Reduction decodedFor; // the settings PICTURE was last decoded for
    bool fresh = false;   // PICTURE was just read and was never decoded
    Reduction settings;

    Picture::Status status = Picture::NotAPicture;
    QImage bitmap;
    QList<QImage> levels;
    int chosenThreshold = 0;        // the level -threshold=auto chose, in percent 1..99
    bool inkInTransparency = false; // no dark pixel, but opaque pixels on transparency
};

// Does JOB's work and returns it done: PICTURE and DECODEDFOR as they now are, STATUS, and the
// BITMAP, LEVELS, CHOSENTHRESHOLD and INKINTRANSPARENCY when the status is Loaded.
Job runJob(Job job);

#endif
