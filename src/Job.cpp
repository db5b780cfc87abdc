#include "Job.h"
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
    job.bitmap = job.picture.reduce(job.settings, &job.status);
    job.levels = Preview::levels(job.bitmap);
    return job;
}
