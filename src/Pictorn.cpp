// pictorn: converts a monochrome bitmap into a library source text, from the command line or in
// a small window.

#include "Display.h"
#include "MyApp.h"
#include "Output.h"
#include "Preview.h"

#include <QApplication>
#include <QCheckBox>
#include <QDebug>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QFontDatabase>
#include <QHBoxLayout>
#include <QImageReader>
#include <QLabel>
#include <QPushButton>
#include <QScreen>
#include <QScrollArea>
#include <QScrollBar>
#include <QShortcut>
#include <QSlider>
#include <QTime>

#include <cstdio>

namespace
{

const int fieldLength = 16;

void message(const QString &text)
{
    qDebug().noquote().nospace() << text;
}

// Standard error carries the program's own lines only: they come as plain debug messages, while
// the toolkit reports through warnings and categories of its own.
void printOwnMessages(QtMsgType type, const QMessageLogContext &context, const QString &text)
{
    const bool own = type == QtDebugMsg && qstrcmp(context.category, "default") == 0;
    if (!own && type != QtFatalMsg)
        return;
    const QByteArray line = text.toLocal8Bit() + '\n';
    std::fwrite(line.constData(), 1, size_t(line.size()), stderr);
}

// The full usage text of --help, for standard output.
QByteArray usage()
{
    return R"(Usage: pictorn [-v] [-key=value]... INFILE [OUTFILE]
       pictorn -h | --help | --version
       pictorn              (no arguments: choose a picture and convert it in a window)

Converts a picture into a library source text: a name line, a package line, a
size line, BITMAP, then one line a pixel row, "#" for dark and "." for light.
The picture is laid on white paper (transparent is paper) and a pixel is dark
when its luminance is below the threshold, half of white unless told.

  INFILE            the picture (BMP, PNG, PBM/PGM/PPM, XBM, XPM, GIF, JPEG, SVG,
                    TIFF, WebP, TGA, ICO); - reads it from standard input
  OUTFILE           the text file; by default INFILE with the extension .src
                    (standard output when INFILE is -); - is standard output
  -v                verbose: progress messages on standard error from here on
  -h                the short usage text, on standard error
  -name=TEXT        the name line (at most 16 characters)
  -package=TEXT     the package line (at most 16 characters)
  -threshold=N      1 to 99: a pixel darker than N percent of white is dark (50)
  -invert=yes|no    swap dark and light (no)
  -dither=yes|no    error diffusion instead of a threshold, for photographs (no)
  -width=N          scale the picture to N pixels wide (1 to 16384) first
  -height=N         scale the picture to N pixels high (1 to 16384) first;
                    given one of the two, the other keeps the proportions

Exit status: 0 written; 1 input missing or unreadable; 2 output cannot be
created; 3 too many files; 4 impure key or bad value; 5 unknown key; 6 (window)
the chosen file is not a picture.
)";
}

// Takes a key of the reduction into REDUCTION; false when KEY is one of them and VALUE is not a
// value it takes.
bool takeKey(const QString &key, const QString &value, Reduction &reduction)
{
    bool number = !value.isEmpty() && value.size() <= 5;
    for (QChar c : value)
        number = number && c >= u'0' && c <= u'9';
    const int n = number ? value.toInt() : 0;
    if (key == u"-threshold" || key == u"-width" || key == u"-height") {
        const int most = key == u"-threshold" ? 99 : 16384;
        if (n < 1 || n > most)
            return false;
        (key == u"-threshold" ? reduction.threshold
         : key == u"-width"   ? reduction.width
                              : reduction.height) = n;
    } else if (key == u"-invert" || key == u"-dither") {
        if (value != u"yes" && value != u"no")
            return false;
        (key == u"-invert" ? reduction.invert : reduction.dither) = value == u"yes";
    }
    return true;
}

} // namespace

MyApp::MyApp(QObject *)
    : QDialog(nullptr), topLayout(this), listBox(this), saveButton(nullptr), quitButton(nullptr),
      nameEdit(this), packageEdit(this), nameLabel(nullptr), packageLabel(nullptr), verbose(false),
      previewArea(nullptr), preview(nullptr), thresholdSlider(nullptr), invertBox(nullptr),
      ditherBox(nullptr), savedLabel(nullptr)
{
    topLayout.setContentsMargins(0, 0, 0, 0);
    topLayout.setSpacing(0);
    listBox.setModel(&rows);
    connect(&nameEdit, &QLineEdit::textChanged, this, &MyApp::slotNameChanged);
    connect(&packageEdit, &QLineEdit::textChanged, this, &MyApp::slotPackageChanged);
}

void MyApp::append(const QString &line)
{
    rows.appendLine(line);
}

void MyApp::textChanged(QLineEdit &edit, int index)
{
    // A line break would split the line and shift every line after it.
    QString text = edit.text().replace(u'\n', u' ').replace(u'\r', u' ');
    // A character outside the basic plane is never cut in half.
    const bool splitsPair = text.size() > fieldLength && text.at(fieldLength - 1).isHighSurrogate();
    text.truncate(splitsPair ? fieldLength - 1 : fieldLength);
    edit.setText(text);
    rows.setLine(index, u'\'' + text + u'\'');
}

void MyApp::slotNameChanged(const QString &)
{
    textChanged(nameEdit, 0);
}

void MyApp::slotPackageChanged(const QString &)
{
    textChanged(packageEdit, 1);
}

bool MyApp::setInFile(const QString &name)
{
    if (verbose)
        message(QStringLiteral("Setting input bitmap to '%1'").arg(name));
    inFile = name;
    return process() != 0;
}

int MyApp::process()
{
    // "-" is standard input, which always exists.
    if (inFile != u"-" && !QFileInfo::exists(inFile)) {
        if (verbose)
            message(QStringLiteral("Bitmap file '%1' not found").arg(inFile));
        return 1;
    }
    const Picture::Status status = picture.load(inFile, reduction);
    if (status == Picture::Loaded)
        bitmap = picture.reduce(reduction);
    if (status == Picture::NoMemory || (status == Picture::Loaded && bitmap.isNull())) {
        if (verbose)
            message(QStringLiteral("Not enough memory for '%1'").arg(inFile));
        return 1;
    }
    if (status != Picture::Loaded) {
        if (verbose)
            message(QStringLiteral("File '%1' is not a bitmap").arg(inFile));
        return status == Picture::Missing ? 1 : 6;
    }
    writeBitmapToStream();
    if (saveButton)
        saveButton->setEnabled(true);
    return 0;
}

void MyApp::writeBitmapToStream()
{
    append(u'\'' + nameEdit.text() + u'\'');
    append(u'\'' + packageEdit.text() + u'\'');
    if (verbose)
        message(QStringLiteral("Converting QBitmap to QImage"));
    const int w = bitmap.width();
    const int h = bitmap.height();
    append(QStringLiteral("%1 %2 1").arg((w - 1) / 10).arg((h - 1) / 10));
    append(QStringLiteral("BITMAP"));
    if (verbose)
        message(QStringLiteral("Reading scanlines into QListBox"));
    rows.setBitmap(bitmap);
    if (verbose)
        message(QStringLiteral("%1 Scanlines read into QListBox").arg(h));
}

QString &MyApp::changeExtension()
{
    // Text read from standard input goes to standard output.
    if (inFile == u"-") {
        outFile = inFile;
    } else {
        // The output stays beside the input: only the file's own name is rewritten.
        const qsizetype slash = inFile.lastIndexOf(u'/');
        const QString dir = inFile.left(slash + 1);
        const QString base = inFile.mid(slash + 1);
        qsizetype dots = 0;
        while (dots < base.size() && base.at(dots) == u'.')
            ++dots;
        QStringList pieces = base.mid(dots).split(u'.', Qt::SkipEmptyParts);
        // A bare name without a directory becomes "src" alone, as it always has.
        if (pieces.size() > 1 || dir.isEmpty()) {
            if (pieces.isEmpty())
                pieces.append(QString());
            pieces.last() = QStringLiteral("src");
        } else {
            pieces.append(QStringLiteral("src"));
        }
        outFile = dir + base.left(dots) + pieces.join(u'.');
    }
    if (verbose)
        message(QStringLiteral("Output file set to to '%1'").arg(outFile));
    return outFile;
}

// The name is the one the user gave, whatever temporary file the lines go to first.
bool MyApp::listBoxToFile(QFileDevice &file, const QString &name)
{
    if (verbose)
        message(QStringLiteral("Writing file '%1'").arg(name));
    // Lines are made into one buffer that is written whenever it fills.
    const qsizetype chunk = 1 << 20;
    QByteArray buffer;
    buffer.reserve(2 * chunk);
    bool written = true;
    const int lines = rows.rowCount();
    for (int i = 0; i < lines && written; ++i) {
        rows.appendBytes(i, buffer);
        buffer += '\n';
        if (buffer.size() >= chunk) {
            written = file.write(buffer) == buffer.size();
            buffer.resize(0);
        }
    }
    buffer += '\n';
    return written && file.write(buffer) == buffer.size() && file.flush();
}

bool MyApp::writeOutput(const QString &name)
{
    Output output;
    return output.open(name, inFile) && listBoxToFile(output.device(), name) && output.commit();
}

int MyApp::cmdLine(int argc, char **argv)
{
    // The keys that steer the reduction count wherever they stand, the last of a kind winning;
    // their values are judged in turn below.
    for (int i = 1; i < argc; ++i) {
        const QStringList pieces = QFile::decodeName(argv[i]).split(u'=', Qt::SkipEmptyParts);
        if (pieces.size() == 2)
            takeKey(pieces.at(0), pieces.at(1), reduction);
    }
    QString outName;
    int files = 0;
    for (int i = 1; i < argc; ++i) {
        const QString arg = QFile::decodeName(argv[i]);
        // A name that is not valid text would be written or read under another name.
        const bool exactName = QFile::encodeName(arg) == argv[i];
        const QStringList pieces = arg.split(u'=', Qt::SkipEmptyParts);
        if (pieces.size() == 1) {
            if (arg == u"-v") {
                verbose = true;
            } else if (arg == u"-h") {
                help();
                return 0;
            } else if (arg == u"--help" || arg == u"--version") {
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
            } else if (Reduction judged; !takeKey(pieces.at(0), pieces.at(1), judged)) {
                message(QStringLiteral("Bad value - '%1'").arg(arg));
                return 4;
            } else if (!QStringList{"-threshold", "-invert", "-dither", "-width", "-height"}
                            .contains(pieces.at(0))) {
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

void MyApp::setupQt()
{
    auto *nameRow = new QHBoxLayout;
    auto *packageRow = new QHBoxLayout;
    auto *middleRow = new QHBoxLayout;
    auto *controlRow = new QHBoxLayout;
    auto *buttonRow = new QHBoxLayout;
    setWindowTitle(QStringLiteral("Pictorn Converter"));
    setWindowIcon(QIcon(QStringLiteral(":/pictorn.svg")));

    nameLabel = new QLabel(QStringLiteral("&Name : "), this);
    nameLabel->setFixedSize(80, 30);
    nameLabel->setBuddy(&nameEdit);
    nameRow->addWidget(nameLabel);
    nameRow->addWidget(&nameEdit);

    packageLabel = new QLabel(QStringLiteral("&Package : "), this);
    packageLabel->setFixedSize(80, 30);
    packageLabel->setBuddy(&packageEdit);
    packageRow->addWidget(packageLabel);
    packageRow->addWidget(&packageEdit);

    // The rows of "#" and "." only draw the picture when every character has the same width.
    rows.setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
    listBox.setUniformItemSizes(true);
    listBox.resize(200, 500);
    preview = new Preview;
    previewArea = new QScrollArea(this);
    previewArea->setWidget(preview);
    previewArea->setAlignment(Qt::AlignCenter);
    middleRow->addWidget(&listBox, 1);
    middleRow->addWidget(previewArea, 1);

    auto *thresholdLabel = new QLabel(QStringLiteral("&Threshold"), this);
    thresholdSlider = new QSlider(Qt::Horizontal, this);
    thresholdSlider->setRange(1, 99);
    thresholdSlider->setValue(reduction.threshold);
    thresholdLabel->setBuddy(thresholdSlider);
    invertBox = new QCheckBox(QStringLiteral("&Invert"), this);
    ditherBox = new QCheckBox(QStringLiteral("&Dither"), this);
    controlRow->setContentsMargins(4, 2, 4, 2);
    controlRow->addWidget(thresholdLabel);
    controlRow->addWidget(thresholdSlider, 1);
    controlRow->addWidget(invertBox);
    controlRow->addWidget(ditherBox);
    savedLabel = new QLabel(this);
    savedLabel->setContentsMargins(4, 0, 4, 0);

    saveButton = new QPushButton(this);
    saveButton->setFixedSize(100, 30);
    saveButton->setText(QStringLiteral("&Save"));
    saveButton->setEnabled(false);
    // Each button in the middle of its half of the row, however wide the window.
    buttonRow->addWidget(saveButton, 1, Qt::AlignHCenter);

    quitButton = new QPushButton(this);
    quitButton->setText(QStringLiteral("&Quit"));
    quitButton->setFixedSize(100, 30);
    buttonRow->addWidget(quitButton, 1, Qt::AlignHCenter);

    topLayout.addLayout(nameRow);
    topLayout.addLayout(packageRow);
    topLayout.addLayout(middleRow, 1);
    topLayout.addLayout(controlRow);
    topLayout.addWidget(savedLabel);
    topLayout.addLayout(buttonRow);
    setTabOrder(&nameEdit, &packageEdit);
    nameEdit.setFocus();

    connect(saveButton, &QPushButton::clicked, this, &MyApp::slotSave);
    connect(quitButton, &QPushButton::clicked, this, &MyApp::slotQuit);
    connect(new QShortcut(QKeySequence::Save, this), &QShortcut::activated, this, &MyApp::slotSave);
    connect(thresholdSlider, &QSlider::valueChanged, this, &MyApp::slotReductionChanged);
    connect(invertBox, &QCheckBox::toggled, this, &MyApp::slotReductionChanged);
    connect(ditherBox, &QCheckBox::toggled, this, &MyApp::slotReductionChanged);
    connect(&listBox, &QListView::clicked, this, &MyApp::slotLineChosen);
    connect(preview, &Preview::rowClicked, this, &MyApp::slotRowClicked);
}

int MyApp::loadFile()
{
    QStringList patterns;
    for (const QByteArray &format : QImageReader::supportedImageFormats())
        patterns.append(QStringLiteral("*.") + QString::fromLatin1(format));
    QFileDialog dialog(nullptr, QStringLiteral("Select bitmap to convert"), QDir::homePath(),
                       QStringLiteral("Images (%1);;Windows bitmaps (*.bmp);;All files (*)")
                           .arg(patterns.join(u' ')));
    dialog.setObjectName(QStringLiteral("Pictorn"));
    dialog.setFileMode(QFileDialog::ExistingFile);
    inFile = dialog.exec() == QDialog::Accepted ? dialog.selectedFiles().value(0) : QString();
    const int status = process();
    if (status == 0) {
        preview->setBitmap(bitmap);
        // A first size that shows the picture and the start of its rows, within the screen.
        const QSize screen = QGuiApplication::primaryScreen()->availableGeometry().size();
        const int charWidth = QFontMetrics(rows.data(rows.index(0), Qt::FontRole).value<QFont>())
                                  .horizontalAdvance(u'#');
        const int width = qBound(480,
                                 charWidth * qMin(bitmap.width() + 6, 80) + 40 +
                                     bitmap.width() * qMax(1, 256 / bitmap.width()),
                                 screen.width() * 9 / 10);
        const int height =
            qBound(360, 160 + qMax(bitmap.height() * qMax(1, 256 / bitmap.height()), 200),
                   screen.height() * 9 / 10);
        resize(width, height);
    }
    return status;
}

void MyApp::resizeEvent(QResizeEvent *event)
{
    QDialog::resizeEvent(event);
    fitPreview();
}

// The largest whole-number zoom at which the picture fits its space, and at least 1:1.
void MyApp::fitPreview()
{
    if (!preview || preview->pictureSize().isEmpty())
        return;
    const QSize space = previewArea->maximumViewportSize();
    const QSize picture = preview->pictureSize();
    preview->setZoom(qMin(space.width() / picture.width(), space.height() / picture.height()));
}

void MyApp::slotReductionChanged()
{
    reduction.threshold = thresholdSlider->value();
    reduction.invert = invertBox->isChecked();
    reduction.dither = ditherBox->isChecked();
    if (picture.isNull())
        return;
    const QImage reduced = picture.reduce(reduction);
    if (reduced.isNull())
        return;
    bitmap = reduced;
    rows.setBitmap(bitmap);
    preview->setBitmap(bitmap);
}

void MyApp::slotLineChosen(const QModelIndex &index)
{
    const int row = index.row() - RowsModel::headerLines;
    if (row >= 0)
        previewArea->ensureVisible(previewArea->horizontalScrollBar()->value(),
                                   row * preview->zoom() + preview->zoom() / 2, 0,
                                   previewArea->viewport()->height() / 2);
}

void MyApp::slotRowClicked(int row)
{
    const QModelIndex line = rows.index(row + RowsModel::headerLines);
    listBox.setCurrentIndex(line);
    listBox.scrollTo(line, QAbstractItemView::PositionAtCenter);
}

void MyApp::slotSave()
{
    if (!saveButton || !saveButton->isEnabled())
        return;
    changeExtension();
    while (!writeOutput(outFile)) {
        QFileDialog dialog(nullptr, QStringLiteral("Output File"), QDir::homePath(),
                           QStringLiteral("Source (*.src)"));
        dialog.setObjectName(QStringLiteral("Pictorn"));
        dialog.setAcceptMode(QFileDialog::AcceptSave);
        outFile = dialog.exec() == QDialog::Accepted ? dialog.selectedFiles().value(0) : QString();
        if (outFile.isEmpty())
            return;
    }
    savedLabel->setText(
        QStringLiteral("Saved to %1 at %2")
            .arg(outFile, QTime::currentTime().toString(QStringLiteral("HH:mm:ss"))));
}

void MyApp::slotQuit()
{
    close();
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

int main(int argc, char **argv)
{
    const bool platformChosen = choosePlatform(argc, argv);
    qInstallMessageHandler(printOwnMessages);
    QApplication app(argc, argv);
    QCoreApplication::setApplicationVersion(QStringLiteral(PICTORN_VERSION));
    MyApp myApp(nullptr);
    if (argc != 1)
        return myApp.cmdLine(argc, argv);
    if (!platformChosen && QGuiApplication::platformName() == u"minimal") {
        message(QStringLiteral("pictorn: no X display to show the window on (DISPLAY is not set or "
                               "cannot be reached)"));
        return 1;
    }
    myApp.setupQt();
    const int status = myApp.loadFile();
    return status != 0 ? status : myApp.exec();
}
