#ifndef OUTPUT_H
#define OUTPUT_H

#include <QByteArray>
#include <QFile>
#include <QString>

// Where the text goes, decided in one place for both modes. "-" and the names of inherited
// descriptors (/dev/stdout, /dev/fd/N, ...) are written through the descriptor, at its position;
// devices and pipes are written in place; a regular file is written beside its old version and
// replaced by it only once the text is complete, so that a failed run never damages it.
class Output
{
public:
    Output() = default;
    ~Output();
    Output(const Output &) = delete;
    Output &operator=(const Output &) = delete;

    // False when NAME cannot be written, or names the input.
    bool open(const QString &name, const QString &input);
    QFile &device() { return file; }
    // Puts the written text in its place: true when every byte got there.
    bool commit();

private:
    QFile file;
    QByteArray temporary;
    QByteArray target;
};

#endif
