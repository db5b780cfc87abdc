#ifndef CMDLINE_H
#define CMDLINE_H

#include "Pixels.h"

#include <QByteArrayList>
#include <QList>
#include <QString>
#include <QStringList>

// One thing an argument asks of the command line's run, in the order the arguments stand.
struct Step {
    enum Kind {
        Verbose, // -v: progress messages from here on
        Input,   // the first file name: TEXT, which names a file only when EXACT
        Output,  // the second file name: TEXT, empty when it is not valid text in the locale
        // Each of these ends the run.
        Usage,   // -h: the short usage text, status 0
        Help,    // --help: the full usage text on standard output
        Version, // --version
        Fail     // the run ends with STATUS and the message TEXT
    };
    Kind kind;
    QString text;
    bool exact = true;
    int status = 0;
};

// The arguments, read once before anything else is made. The keys that steer the reduction count
// wherever they stand, the last good value of each winning; the window starts with them too.
struct Options {
    Reduction reduction;
    bool window = false; // -window=yes: the window, on the files named if any
    QString name;
    QString package;
    QStringList files;
    // The command line's steps: the run takes them in order up to the first that ends it; the
    // keys count wherever they stand.
    QList<Step> steps;
    // Whether any argument is the program's own rather than the toolkit's.
    bool arguments = false;
    // The toolkit's options, each with its value, for the application object; -platform among
    // them means the user chose the platform; -display names the X display.
    QByteArrayList toolkit;
    bool platformChosen = false;
    QByteArray display;
};

// Reads ARGV from left to right: the toolkit's options wherever they stand before a lone "--",
// after which every argument is a file name. Changes nothing.
Options readArguments(int argc, char **argv);

// Takes a key of the reduction into REDUCTION; false when KEY is one of them and VALUE is not a
// value it takes.
bool takeKey(const QString &key, const QString &value, Reduction &reduction);

// Takes -window, or a key of the reduction, into OPTIONS; false when VALUE is not a value it takes.
bool takeKey(const QString &key, const QString &value, Options &options);

// Whether KEY is one of the keys that takeKey knows.
bool isReductionKey(const QString &key);

#endif
