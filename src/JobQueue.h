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
    // Reduces the picture again with SETTINGS.
    void reduce(const Reduction &settings);
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
