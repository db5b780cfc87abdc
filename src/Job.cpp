#include "Job.h"
#include "Geometry.h"
#include "Preview.h"

Job runJob(Job job)
{
    const Cancel::Scope scope(job.cancel.get());
    if (job.fresh || Picture::needsDecode(job.decodedFor, job.settings)) {
        job.status = job.picture.decode(job.settings);
        job.decodedFor = job.settings;
        job.fresh = false;
        if (job.status != Picture::Loaded)
            return job;
    }
    const Reduction used = job.picture.resolved(job.settings);
    job.chosenThreshold = used.threshold;
    job.bitmap = job.picture.reduce(used, &job.status);
    job.levels = Preview::levels(job.bitmap);
    job.shapeInTransparency = shapeOnlyInTransparency(job.picture, job.bitmap, used);
    return job;
}

bool shapeOnlyInTransparency(Picture &picture, const QImage &bitmap, const Reduction &used)
{
    return !bitmap.isNull() && !used.shape && noInk(bitmap) && picture.hasTransparency();
}

QString shapeHint()
{
    return QStringLiteral("No dark pixel: the picture's shape is in its transparency; try "
                          "-alpha=shape (Shape from transparency (Alt+A) in the window)");
}
