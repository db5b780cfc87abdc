// The command line: its options, its usage texts and the pass over its arguments.

#include "CmdLine.h"
#include "MyApp.h"

#include <QFile>
#include <QStringList>

#include <cstdio>

namespace
{

// The full usage text of --help, for standard output.
QByteArray usage()
{
    return R"(Usage: pictorn [-v] [-key=value]... [--] INFILE [OUTFILE]
       pictorn -h | --help | --version
       pictorn              (no arguments: choose a picture and convert it in a window)
       pictorn -window=yes [-key=value]... [INFILE [OUTFILE]]

Converts a picture into a library source text: a name line, a package line, a
size line, BITMAP, then one line a pixel row, "#" for dark and "." for light.
The picture is laid on white paper (transparent is paper) and a pixel is dark
when its luminance is below the threshold, half of white unless told.

  INFILE            the picture (BMP, PNG, PBM/PGM/PPM, XBM, XPM, GIF, JPEG, SVG,
                    TIFF, WebP, TGA, ICO) or a library text pictorn wrote; - reads
                    it from standard input
  OUTFILE           the text file; by default INFILE with the extension .src
                    (standard output when INFILE is -); - is standard output
  --                every argument after it is a file name, even with = or -
  -v                verbose: progress messages on standard error from here on
  -h                the short usage text, on standard error
  -name=TEXT        the name line (at most 16 characters)
  -package=TEXT     the package line (at most 16 characters)
  -threshold=N|auto 1 to 99: a pixel darker than N percent of white is dark (50);
                    auto: the level that best splits the picture's own greys
  -invert=yes|no    swap dark and light (no)
  -dither=yes|no    error diffusion instead of a threshold, for photographs (no)
  -alpha=paper|shape  paper: transparent is white paper (the default); shape:
                    the opacity is the ink, whatever the colours
  -width=N          scale the picture to N pixels wide (1 to 16384) first
  -height=N         scale the picture to N pixels high (1 to 16384) first;
                    given one of the two, the other keeps the proportions
  -lines=keep|blend keep: shrinking keeps every dark line whole and joined;
                    blend: pixels are averaged, thin lines may fade (blend)
  -trim=yes|no      yes: crop to the dark pixels before scaling (no)
  -margin=N         0 to 1024 light pixels added on every side at the end (0)
  -mirror=yes|no    yes: flip left to right before scaling (no)
  -rotate=N         0, 90, 180 or 270 degrees clockwise, before scaling (0)
  -window=yes|no    yes: the window, on INFILE if given, the other keys its
                    starting settings, OUTFILE where Save writes (no)

Exit status: 0 written; 1 input missing or unreadable; 2 output cannot be
created; 3 too many files; 4 impure key or bad value; 5 unknown key; 6 (window)
the chosen file is not a picture.
)";
}

const QStringList reductionKeys = {"-threshold", "-invert", "-dither", "-width",
                                   "-height",    "-alpha",  "-lines",  "-trim",
                                   "-margin",    "-mirror", "-rotate", "-window"};

} // namespace

bool isReductionKey(const QString &key)
{
    return reductionKeys.contains(key);
}

bool takeKey(const QString &key, const QString &value, Reduction &reduction)
{
    bool number = !value.isEmpty() && value.size() <= 5;
    for (QChar c : value)
        number = number && c >= u'0' && c <= u'9';
    const int n = number ? value.toInt() : -1;
    const bool yes = value == u"yes";
    const bool yesOrNo = yes || value == u"no";
    if (key == u"-threshold" && value == u"auto") {
        reduction.autoThreshold = true;
    } else if (key == u"-threshold" || key == u"-width" || key == u"-height") {
        const int most = key == u"-threshold" ? 99 : maxSide;
        if (n < 1 || n > most)
            return false;
        if (key == u"-threshold")
            reduction.autoThreshold = false;
        (key == u"-threshold" ? reduction.threshold
         : key == u"-width"   ? reduction.width
                              : reduction.height) = n;
    } else if (key == u"-margin") {
        if (n < 0 || n > maxMargin)
            return false;
        reduction.margin = n;
    } else if (key == u"-rotate") {
        if (n % 90 != 0 || n < 0 || n > 270)
            return false;
        reduction.rotate = n;
    } else if (key == u"-invert" || key == u"-dither" || key == u"-trim" || key == u"-mirror") {
        if (!yesOrNo)
            return false;
        (key == u"-invert"   ? reduction.invert
         : key == u"-dither" ? reduction.dither
         : key == u"-trim"   ? reduction.trim
                             : reduction.mirror) = yes;
    } else if (key == u"-alpha") {
        if (value != u"shape" && value != u"paper")
            return false;
        reduction.shape = value == u"shape";
    } else if (key == u"-lines") {
        if (value != u"keep" && value != u"blend")
            return false;
        reduction.keepLines = value == u"keep";
    }
    return true;
}

bool takeKey(const QString &key, const QString &value, Options &options)
{
    if (key != u"-window")
        return takeKey(key, value, options.reduction);
    if (value != u"yes" && value != u"no")
        return false;
    options.window = value == u"yes";
    return true;
}

Options readOptions(int argc, char **argv)
{
    Options options;
    bool onlyFiles = false;
    for (int i = 1; i < argc; ++i) {
        const QString arg = QFile::decodeName(argv[i]);
        const QStringList pieces = arg.split(u'=', Qt::SkipEmptyParts);
        if (onlyFiles) {
            options.files.append(arg);
        } else if (arg == u"--") {
            onlyFiles = true;
        } else if (pieces.size() == 2 && pieces.at(0) == u"-name") {
            options.name = pieces.at(1);
        } else if (pieces.size() == 2 && pieces.at(0) == u"-package") {
            options.package = pieces.at(1);
        } else if (pieces.size() == 2) {
            takeKey(pieces.at(0), pieces.at(1), options);
        } else if (pieces.size() == 1 &&
                   !QStringList{"-v", "-h", "--help", "--version"}.contains(arg)) {
            options.files.append(arg);
        }
    }
    return options;
}

int MyApp::cmdLine(int argc, char **argv)
{
    reduction = readOptions(argc, argv).reduction;
    QString outName;
    int files = 0;
    bool onlyFiles = false;
    for (int i = 1; i < argc; ++i) {
        const QString arg = QFile::decodeName(argv[i]);
        // A name that is not valid text would be written or read under another name.
        const bool exactName = QFile::encodeName(arg) == argv[i];
        const QStringList pieces =
            onlyFiles ? QStringList{arg} : arg.split(u'=', Qt::SkipEmptyParts);
        if (!onlyFiles && arg == u"--") {
            onlyFiles = true;
        } else if (pieces.size() == 1) {
            if (!onlyFiles && arg == u"-v") {
                verbose = true;
            } else if (!onlyFiles && arg == u"-h") {
                help();
                return 0;
            } else if (!onlyFiles && (arg == u"--help" || arg == u"--version")) {
                const QByteArray text =
                    arg == u"--help" ? usage() : "pictorn " PICTORN_VERSION "\n";
                std::fwrite(text.constData(), 1, size_t(text.size()), stdout);
                return std::fflush(stdout) == 0 ? 0 : 2;
            } else if (files == 0) {
                if (!exactName || setInFile(arg)) {
                    if (verbose)
                        message(QStringLiteral("Bitmap file '%1' cannot be opened").arg(arg));
                    return 1;
                }
                outName = changeExtension();
                files = 1;
            } else if (files == 1) {
                outName = exactName ? arg : QString();
                files = 2;
            } else {
                message(QStringLiteral("Too many files"));
                return 3;
            }
        } else if (pieces.size() == 2) {
            if (pieces.at(0) == u"-name") {
                nameEdit.setText(pieces.at(1));
            } else if (pieces.at(0) == u"-package") {
                packageEdit.setText(pieces.at(1));
            } else if (Options judged; !takeKey(pieces.at(0), pieces.at(1), judged)) {
                message(QStringLiteral("Bad value - '%1'").arg(arg));
                return 4;
            } else if (!isReductionKey(pieces.at(0))) {
                message(QStringLiteral("Unknown key - '%1'").arg(pieces.at(0)));
                return 5;
            }
        } else {
            message(QStringLiteral("Impure key - '%1'").arg(arg));
            return 4;
        }
    }
    if (!writeOutput(outName)) {
        message(QStringLiteral("Output file cannot be created"));
        return 2;
    }
    return 0;
}

void help()
{
    message(
        QStringLiteral("pictorn : Converts monochrome bitmaps to quellis library source files"));
    message(QStringLiteral("pictorn - Qt graphics program. Usage : "));
    message(QStringLiteral("\t'>pictorn [-v] [-key=val][-key=val] <infile> [outfile]'"));
    message(QStringLiteral("\twhere keys are 'name' and package'"));
    message(QStringLiteral("\tinfile describes a monochrome bitmap file"));
    message(QStringLiteral("\toutfile describes a library source file"));
    message(QStringLiteral(
        "\tIf 'outfile' is not given, then the extension of 'infile' is converted to '.src'"));
    message(QStringLiteral("\tThe '-v' flag puts the program in verbose mode"));
    message(
        QStringLiteral("\t'>pictorn' -h gives this screen, regardless of any other parameters"));
}
