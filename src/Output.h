#ifndef OUTPUT_H
#define OUTPUT_H

#include <QByteArray>
#include <QString>

// Where the text goes, decided in one place for both modes. "-" and every name that leads to a
// descriptor the run inherited (/dev/stdout, /dev/fd/N, /proc/self/fd/N, however it is spelt)
// are written through that descriptor, at its position; devices and pipes are written in place;
// a regular file is written to a new file beside it, without a name where the file system
// allows, which takes its place only once the text is complete and on disk, so that a failed or
// killed run never damages it.
class Output
{
public:
    Output() = default;
    ~Output();
    Output(const Output &) = delete;
    Output &operator=(const Output &) = delete;

    // False when NAME cannot be written, or is the input (a file name, or "-" for standard input).
    bool open(const QString &name, const QString &input);
    // Writes BYTES whole, waiting for a stream that is not ready to take them: false when they
    // cannot all be written.
    bool write(const QByteArray &bytes);
    // Puts the written text in its place: true when every byte got there.
    bool commit();
    // Why the step that failed did, in the system's words; empty when the system said nothing.
    QString error() const { return why; }

private:
    // Keeps the text of errno, taken where the failure happened, and returns false.
    bool fail();

    int fd = -1;
    bool ownsFd = false;
    // For a regular file: the directory the new file takes its place in, and its name there.
    int directory = -1;
    QByteArray base;
    // The name of the new file while it has one of its own, before it takes the place of BASE.
    QByteArray temporary;
    QString why;
};

#endif
