#ifndef JOB_H
#define JOB_H

#include "Cancel.h"
#include "Picture.h"

#include <QImage>
#include <QList>
#include <QString>

#include <memory>

// One round of the window's work, run off its thread: the picture decoded again when its size or
// its rule of transparency changes, then reduced to black and white, with the preview's levels.
struct Job {
    Picture picture;
    Reduction decodedFor; // the settings PICTURE was last decoded for
    bool fresh = false;   // PICTURE was just read and was never decoded
    Reduction settings;
    // Pressed from the window's thread, it stops the job's drawing at once; null: none.
    std::shared_ptr<Cancel> cancel;

    Picture::Status status = Picture::NotAPicture;
    QImage bitmap;
    QList<QImage> levels;
    int chosenThreshold = 50;         // the level the bitmap was reduced at, chosen or given
    bool shapeInTransparency = false; // no dark pixel, but -alpha=shape would show the shape
};

// What to tell the user when a picture's shape is only in its transparency.
QString shapeHint();

// Whether BITMAP, reduced from PICTURE by USED, has no dark pixel while the picture's shape is in
// its transparency, which -alpha=shape would show.
bool shapeOnlyInTransparency(Picture &picture, const QImage &bitmap, const Reduction &used);

// Does JOB's work and returns it done: PICTURE and DECODEDFOR as they now are, STATUS, and the
// BITMAP, LEVELS, CHOSENTHRESHOLD and SHAPEINTRANSPARENCY when the status is Loaded. A job
// cancelled part way ends with no picture.
Job runJob(Job job);

#endif
