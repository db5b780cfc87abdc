#include "Job.h"
#include "Preview.h"

Job runJob(Job job)
{
    if (job.fresh || Picture::needsDecode(job.decodedFor, job.settings)) {
        job.status = job.picture.decode(job.settings);
        job.decodedFor = job.settings;
        job.fresh = false;
        if (job.status != Picture::Loaded)
            return job;
    }
    job.bitmap = job.picture.reduce(job.settings);
    job.status = job.bitmap.isNull() ? Picture::NoMemory : Picture::Loaded;
    job.levels = Preview::levels(job.bitmap);
    return job;
}
