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
the chosen file is not a picture; 7 (window) the X display was lost.
)";
}

const QStringList reductionKeys = {"-threshold", "-invert", "-dither", "-width",
                                   "-height",    "-alpha",  "-lines",  "-trim",
                                   "-margin",    "-mirror", "-rotate", "-window"};

// The toolkit's own options, which it would take out of the arguments: those that take the next
// argument as their value, those that take it only when there is one, those alone, and those
// with their value joined by "=". The toolkit reads "--x" as "-x".
const QByteArrayList valueOptions = {"-platform",   "-platformpluginpath", "-platformtheme",
                                     "-plugin",     "-qwindowgeometry",    "-qwindowtitle",
                                     "-qwindowicon"};
const QByteArrayList valueIfAnyOptions = {"-display", "-session", "-style", "-stylesheet"};
const QByteArrayList aloneOptions = {"-reverse", "-testability", "-widgetcount"};
const QByteArrayList joinedOptions = {"-style=", "-stylesheet=", "-qmljsdebugger="};

QByteArray optionName(const char *arg)
{
    return arg[0] == '-' && arg[1] == '-' ? QByteArray(arg + 1) : QByteArray(arg);
}

// How many arguments from ARGV[I] on make one of the toolkit's options: 0, 1 or 2.
int toolkitOption(int argc, char **argv, int i)
{
    const QByteArray arg = optionName(argv[i]);
    if (aloneOptions.contains(arg))
        return 1;
    for (const QByteArray &joined : joinedOptions)
        if (arg.startsWith(joined))
            return 1;
    if (valueOptions.contains(arg))
        return i + 1 < argc ? 2 : 1;
    return valueIfAnyOptions.contains(arg) && i + 1 < argc ? 2 : 0;
}

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

Options readArguments(int argc, char **argv)
{
    Options options;
    bool onlyFiles = false;
    int files = 0;
    const auto step = [&](Step::Kind kind, const QString &text = QString(), int status = 0,
                          bool exact = true) {
        options.steps.append(Step{kind, text, exact, status});
    };
    for (int i = 1; i < argc; ++i) {
        if (const int taken = onlyFiles ? 0 : toolkitOption(argc, argv, i)) {
            const QByteArray option = optionName(argv[i]);
            options.platformChosen = options.platformChosen || option == "-platform";
            if (option == "-display")
                options.display = argv[i + 1];
            for (int j = i; j < i + taken; ++j)
                options.toolkit.append(argv[j]);
            i += taken - 1;
            continue;
        }
        options.arguments = true;
        const QString arg = QFile::decodeName(argv[i]);
        // A name that is not valid text would be written or read under another name.
        const bool exactName = QFile::encodeName(arg) == argv[i];
        const QStringList pieces =
            onlyFiles ? QStringList{arg} : arg.split(u'=', Qt::SkipEmptyParts);
        if (!onlyFiles && arg == u"--") {
            onlyFiles = true;
        } else if (pieces.size() == 1) {
            if (!onlyFiles && arg == u"-v") {
                step(Step::Verbose);
            } else if (!onlyFiles && arg == u"-h") {
                step(Step::Usage);
            } else if (!onlyFiles && (arg == u"--help" || arg == u"--version")) {
                step(arg == u"--help" ? Step::Help : Step::Version);
            } else {
                options.files.append(arg);
                if (files == 0) {
                    step(Step::Input, arg, 0, exactName);
                } else if (files == 1) {
                    step(Step::Output, exactName ? arg : QString());
                } else {
                    step(Step::Fail, QStringLiteral("Too many files"), 3);
                }
                ++files;
            }
        } else if (pieces.size() == 2) {
            const QString &key = pieces.at(0);
            if (key == u"-name") {
                options.name = pieces.at(1);
            } else if (key == u"-package") {
                options.package = pieces.at(1);
            } else if (Options judged; !takeKey(key, pieces.at(1), judged)) {
                step(Step::Fail, QStringLiteral("Bad value - '%1'").arg(arg), 4);
            } else if (!isReductionKey(key)) {
                step(Step::Fail, QStringLiteral("Unknown key - '%1'").arg(key), 5);
            } else {
                takeKey(key, pieces.at(1), options);
            }
        } else {
            step(Step::Fail, QStringLiteral("Impure key - '%1'").arg(arg), 4);
        }
    }
    return options;
}

int MyApp::cmdLine(int argc, char **argv)
{
    return cmdLine(readArguments(argc, argv));
}

int MyApp::cmdLine(const Options &options)
{
    reduction = options.reduction;
    nameEdit.setText(options.name);
    packageEdit.setText(options.package);
    QString outName;
    for (const Step &step : options.steps) {
        if (step.kind == Step::Verbose) {
            verbose = true;
        } else if (step.kind == Step::Usage) {
            help();
            return 0;
        } else if (step.kind == Step::Help || step.kind == Step::Version) {
            const QByteArray text =
                step.kind == Step::Help ? usage() : "pictorn " PICTORN_VERSION "\n";
            std::fwrite(text.constData(), 1, size_t(text.size()), stdout);
            return std::fflush(stdout) == 0 ? 0 : 2;
        } else if (step.kind == Step::Input) {
            if (!step.exact || setInFile(step.text)) {
                if (verbose)
                    message(QStringLiteral("Bitmap file '%1' cannot be opened").arg(step.text));
                return 1;
            }
            outName = changeExtension();
        } else if (step.kind == Step::Output) {
            outName = step.text;
        } else {
            message(step.text);
            return step.status;
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
