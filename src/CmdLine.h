#ifndef CMDLINE_H
#define CMDLINE_H

#include "Pixels.h"

#include <QString>
#include <QStringList>

// What the command line asks of a run, read before anything else: the keys that steer the
// reduction count wherever they stand, and the window starts with them too.
struct Options {
    Reduction reduction;
    bool window = false; // -window=yes: the window, on the files named if any
    QString name;
    QString package;
    QStringList files;
};

// The options of ARGV: the last good value of each key wins, and the arguments after a lone "--"
// are file names.
Options readOptions(int argc, char **argv);

// Takes a key of the reduction into REDUCTION; false when KEY is one of them and VALUE is not a
// value it takes.
bool takeKey(const QString &key, const QString &value, Reduction &reduction);

// Takes -window, or a key of the reduction, into OPTIONS; false when VALUE is not a value it takes.
bool takeKey(const QString &key, const QString &value, Options &options);

// Whether KEY is one of the keys that takeKey knows.
bool isReductionKey(const QString &key);

#endif
