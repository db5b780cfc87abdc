#ifndef JOBQUEUE_H
#define JOBQUEUE_H

#include "Job.h"

#include <QFutureWatcher>
#include <QObject>
#include <QString>

// The window's work, one job at a time off its thread: reading a file, decoding and reducing the
// picture. Requests made while a job runs wait, and only the newest of them is run: a result that
// a newer request has superseded is never shown.
class JobQueue : public QObject
{
    Q_OBJECT

public:
    explicit JobQueue(QObject *parent = nullptr);

    // Reads NAME and reduces it with SETTINGS; the picture shown stays if NAME gives none.
    void open(const QString &name, const Reduction &settings);
    // Takes PICTURE, read from FILE and decoded for DECODEDFOR, as the picture to reduce.
    void adopt(const Picture &picture, const QString &file, const Reduction &decodedFor);
    // Reduces the picture again with SETTINGS.
    void reduce(const Reduction &settings);
    // Stops the running job's drawing at once; its result is never shown.
    void cancel();
    bool busy() const { return running; }
    // Returns once no job runs or waits, the window's events handled meanwhile.
    void waitIdle();

    const Picture &picture() const { return current; }
    // What reading the last file opened came to.
    Picture::Status lastStatus() const { return status; }

signals:
    // The newest result; FILE is the file it was read from, when it was newly opened.
    void done(const Job &job, const QString &file);
    // Why the newest request gave no picture, in a sentence.
    void failed(const QString &problem);

private:
    void start();
    void finished();

    QFutureWatcher<Job> watcher;
    std::shared_ptr<Cancel> runningCancel;
    bool running = false;
    bool wanted = false;
    Reduction settings;
    QString nextFile;    // to be read by the next job
    QString runningFile; // read by the job that runs, or read by one it superseded
    QString currentFile;
    Picture current;
    Reduction decodedFor;
    Picture::Status status = Picture::Loaded;
};

#endif
