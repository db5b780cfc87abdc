#include "JobQueue.h"

#include <QCoreApplication>
#include <QtConcurrent/QtConcurrentRun>

#include <utility>

namespace
{

// JOB's work, after reading FILE first when one is named: a file of up to a gigabyte takes a
// while, and the window answers meanwhile.
Job readAndRun(Job job, const QString &file)
{
    if (!file.isEmpty()) {
        job.status = job.picture.read(file);
        if (job.status != Picture::Loaded)
            return job;
        job.fresh = true;
    }
    return runJob(job);
}

} // namespace

JobQueue::JobQueue(QObject *parent) : QObject(parent)
{
    connect(&watcher, &QFutureWatcher<Job>::finished, this, &JobQueue::finished);
}

void JobQueue::open(const QString &name, const Reduction &newSettings)
{
    nextFile = name;
    reduce(newSettings);
}

void JobQueue::adopt(const Picture &picture, const QString &file, const Reduction &decodedFor)
{
    current = picture;
    currentFile = file;
    this->decodedFor = decodedFor;
    status = Picture::Loaded;
}

void JobQueue::reduce(const Reduction &newSettings)
{
    settings = newSettings;
    wanted = true;
    // A drawing for older settings, or of a picture that another replaces, is stopped at once; a
    // new picture's first job runs on, since it reads the picture.
    if (running && (runningFile.isEmpty() || !nextFile.isEmpty()))
        cancel();
    if (!running)
        start();
}

void JobQueue::cancel()
{
    if (running)
        runningCancel->cancel();
}

void JobQueue::waitIdle()
{
    while (running)
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents |
                                        QEventLoop::ExcludeUserInputEvents);
}

void JobQueue::start()
{
    // Nothing to reduce before a picture was read.
    if (nextFile.isEmpty() && current.isNull()) {
        wanted = false;
        return;
    }
    Job job;
    const QString file = std::exchange(nextFile, QString());
    if (file.isEmpty()) {
        job.picture = current;
        job.decodedFor = decodedFor;
    } else {
        runningFile = file;
    }
    job.settings = settings;
    job.cancel = runningCancel = std::make_shared<Cancel>();
    wanted = false;
    running = true;
    watcher.setFuture(QtConcurrent::run(readAndRun, job, file));
}

void JobQueue::finished()
{
    running = false;
    const Job job = watcher.result();
    if (job.cancel->cancelled()) {
        if (wanted)
            start();
        return;
    }
    const QString file = runningFile;
    if (job.status == Picture::Loaded) {
        current = job.picture;
        decodedFor = job.decodedFor;
        if (!file.isEmpty())
            currentFile = file;
    } else {
        runningFile.clear();
        // A picture read before that fails now fails at the size asked of it.
        emit failed(job.status != Picture::NoMemory && file.isEmpty()
                        ? QStringLiteral("A picture of that size is too large.")
                        : readProblem(job.status, file.isEmpty() ? currentFile : file) + u'.');
    }
    if (!file.isEmpty())
        status = job.status;
    if (wanted) {
        start();
        return;
    }
    if (job.status != Picture::Loaded)
        return;
    runningFile.clear();
    emit done(job, file);
}
