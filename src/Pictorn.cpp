// pictorn: converts a monochrome bitmap into a library source text, from the command line or in
// a small window.

#include "MyApp.h"

#include <QApplication>
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
#include <QStringEncoder>
#include <QTemporaryFile>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <optional>

namespace
{

const int fieldLength = 16;

// The toolkit's own BMP reader refuses larger images; no format is allowed more.
const qint64 maxPixels = qint64(16384) * 16384;

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

bool sameFile(const QString &a, const QString &b)
{
    struct stat sa, sb;
    return ::stat(QFile::encodeName(a).constData(), &sa) == 0 &&
           ::stat(QFile::encodeName(b).constData(), &sb) == 0 && sa.st_dev == sb.st_dev &&
           sa.st_ino == sb.st_ino;
}

quint32 littleEndian(const uchar *p, int bytes)
{
    quint32 value = 0;
    for (int i = bytes - 1; i >= 0; --i)
        value = value << 8 | p[i];
    return value;
}

// Walks run-length coded rows: complete when the data reaches its end marker or its last row.
bool rleComplete(const uchar *data, qint64 size, qint64 height, bool fourBit)
{
    qint64 at = 0;
    qint64 rows = 0;
    while (at + 2 <= size) {
        const uchar count = data[at];
        const uchar code = data[at + 1];
        at += 2;
        if (count > 0)
            continue;
        if (code == 0) {
            ++rows;
        } else if (code == 1) {
            return true;
        } else if (code == 2) {
            if (at + 2 > size)
                return false;
            rows += data[at + 1];
            at += 2;
        } else {
            at += fourBit ? (code + 3) / 4 * 2 : (code + 1) / 2 * 2;
        }
        if (rows >= height)
            return true;
    }
    return false;
}

// A BMP whose pixel data ends before its header says it should is a truncated download or a
// lying header; the toolkit's reader would fill the missing rows silently.
bool bmpDataComplete(QFile &file)
{
    const QByteArray head = file.peek(34);
    if (head.size() < 26 || !head.startsWith("BM"))
        return true;
    const auto *h = reinterpret_cast<const uchar *>(head.constData());
    const qint64 offset = littleEndian(h + 10, 4);
    const quint32 infoSize = littleEndian(h + 14, 4);
    qint64 width, height, depth, compression = 0;
    if (infoSize == 12) {
        width = littleEndian(h + 18, 2);
        height = littleEndian(h + 20, 2);
        depth = littleEndian(h + 24, 2);
    } else {
        if (head.size() < 34)
            return false;
        width = qint32(littleEndian(h + 18, 4));
        height = qAbs(qint64(qint32(littleEndian(h + 22, 4))));
        depth = littleEndian(h + 28, 2);
        compression = littleEndian(h + 30, 4);
    }
    if (width <= 0 || depth <= 0 || depth > 32 || width * height > maxPixels)
        return true;
    const qint64 dataSize = file.size() - offset;
    if (compression == 1 || compression == 2) {
        uchar *data = dataSize > 0 ? file.map(offset, dataSize) : nullptr;
        const bool complete = data && rleComplete(data, dataSize, height, compression == 2);
        if (data)
            file.unmap(data);
        return complete;
    }
    const bool uncompressed = compression == 0 || compression == 3 || compression == 6;
    return !uncompressed || dataSize >= (width * depth + 31) / 32 * 4 * height;
}

// More pixels than a file of that size can hold are a lie or a decompression bomb: even deflate,
// the strongest packer of the common formats, keeps 1-bit pixels below 8800 a byte. Small images
// are always believed.
bool plausibleSize(qint64 pixels, qint64 fileBytes)
{
    return pixels <= 2048 * 2048 || pixels / 8800 <= fileBytes;
}

// libpng, under the toolkit's PNG reader, writes its complaints straight to standard error,
// which belongs to the program's own messages; the image's failure is enough.
class QuietStandardError
{
public:
    QuietStandardError() : saved(::dup(STDERR_FILENO))
    {
        std::fflush(stderr);
        const int null = ::open("/dev/null", O_WRONLY | O_CLOEXEC);
        if (null >= 0) {
            ::dup2(null, STDERR_FILENO);
            ::close(null);
        }
    }
    ~QuietStandardError()
    {
        if (saved >= 0) {
            ::dup2(saved, STDERR_FILENO);
            ::close(saved);
        }
    }
    QuietStandardError(const QuietStandardError &) = delete;
    QuietStandardError &operator=(const QuietStandardError &) = delete;

private:
    const int saved;
};

// Loads any image the toolkit reads, judging its header first so that large real bitmaps get the
// memory they need and small files that claim huge sizes fail before anything is allocated.
QImage readImage(const QString &name)
{
    // Only regular files: a pipe would keep the run waiting for a writer that may never come.
    QFile file(name);
    if (!QFileInfo(name).isFile() || !file.open(QIODevice::ReadOnly) || !bmpDataComplete(file))
        return {};
    // The two common formats are named at once, which spares the reader its plugin scan.
    const QByteArray magic = file.peek(4);
    const QByteArray format = magic.startsWith("BM")        ? "bmp"
                              : magic.startsWith("\x89PNG") ? "png"
                                                            : QByteArray();
    std::optional<QuietStandardError> quiet;
    if (format == "png")
        quiet.emplace();
    QImageReader reader(&file, format);
    reader.setAutoDetectImageFormat(format.isEmpty());
    reader.setDecideFormatFromContent(format.isEmpty());
    const QSize size = reader.size();
    if (size.isValid()) {
        const qint64 pixels = qint64(size.width()) * size.height();
        if (size.isEmpty() || pixels > maxPixels || !plausibleSize(pixels, file.size()))
            return {};
        // The toolkit's guard counts four bytes a pixel, whatever the format.
        QImageReader::setAllocationLimit(int(qMax<qint64>(128, pixels * 4 / (1024 * 1024) + 1)));
    }
    return reader.read();
}

// The characters of the eight pixels of every scan-line byte value.
struct PixelChars {
    char chars[256][8];

    PixelChars(bool lsbFirst, bool dark0, bool dark1)
    {
        for (int byte = 0; byte < 256; ++byte)
            for (int pixel = 0; pixel < 8; ++pixel) {
                const int bit = lsbFirst ? pixel : 7 - pixel;
                const bool dark = (byte >> bit & 1) ? dark1 : dark0;
                chars[byte][pixel] = dark ? '#' : '.';
            }
    }
};

// Palette entries the file leaves out take the toolkit's defaults: black and white without a
// table, otherwise the last entry.
bool isDarkEntry(const QImage &image, int index)
{
    const QList<QRgb> table = image.colorTable();
    QRgb rgb;
    if (table.isEmpty())
        rgb = index == 0 ? qRgb(0, 0, 0) : qRgb(255, 255, 255);
    else
        rgb = table.value(index, table.last());
    return qGray(rgb) < 128;
}

// Gives the complete temporary file the target's permissions (a new file's follow the umask)
// and renames it over the target, so that readers only ever see a whole file, old or new. There
// is no sync to disk: it would make large outputs many times slower than a copy of them.
bool replaceWith(QTemporaryFile &file, const QString &target)
{
    const QByteArray path = QFile::encodeName(target);
    struct stat old;
    mode_t mode;
    if (::stat(path.constData(), &old) == 0) {
        mode = old.st_mode & 07777;
    } else {
        const mode_t mask = ::umask(0);
        ::umask(mask);
        mode = 0666 & ~mask;
    }
    if (::fchmod(file.handle(), mode) != 0)
        return false;
    file.close();
    if (file.error() != QFileDevice::NoError ||
        ::rename(QFile::encodeName(file.fileName()).constData(), path.constData()) != 0)
        return false;
    file.setAutoRemove(false);
    return true;
}

} // namespace

MyApp::MyApp(QObject *)
    : QDialog(nullptr), topLayout(this), listBox(this), saveButton(nullptr), quitButton(nullptr),
      nameEdit(this), packageEdit(this), nameLabel(nullptr), packageLabel(nullptr), verbose(false)
{
    topLayout.setContentsMargins(0, 0, 0, 0);
    topLayout.setSpacing(0);
    connect(&nameEdit, &QLineEdit::textChanged, this, &MyApp::slotNameChanged);
    connect(&packageEdit, &QLineEdit::textChanged, this, &MyApp::slotPackageChanged);
}

void MyApp::append(const QString &line)
{
    listBox.addItem(line);
}

// Rows of pixels are plain ASCII: the list keeps them as bytes, half the memory of text, and
// they are written out as they are.
void MyApp::appendRow(const QByteArray &row)
{
    auto *item = new QListWidgetItem;
    item->setData(Qt::DisplayRole, row);
    listBox.addItem(item);
}

void MyApp::textChanged(QLineEdit &edit, int index)
{
    // A line break would split the line and shift every line after it.
    QString text = edit.text().replace(u'\n', u' ').replace(u'\r', u' ');
    // A character outside the basic plane is never cut in half.
    const bool splitsPair = text.size() > fieldLength && text.at(fieldLength - 1).isHighSurrogate();
    text.truncate(splitsPair ? fieldLength - 1 : fieldLength);
    edit.setText(text);
    if (QListWidgetItem *line = listBox.item(index))
        line->setText(u'\'' + text + u'\'');
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
    if (!QFileInfo::exists(inFile)) {
        if (verbose)
            message(QStringLiteral("Bitmap file '%1' not found").arg(inFile));
        return 1;
    }
    bitmap = readImage(inFile);
    if (bitmap.depth() != 1 && !bitmap.isNull())
        bitmap = bitmap.convertToFormat(QImage::Format_MonoLSB);
    if (bitmap.width() == 0) {
        if (verbose)
            message(QStringLiteral("File '%1' is not a bitmap").arg(inFile));
        return 6;
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

    const PixelChars pixels(bitmap.format() == QImage::Format_MonoLSB, isDarkEntry(bitmap, 0),
                            isDarkEntry(bitmap, 1));
    const int wholeBytes = w / 8;
    const int rest = w % 8;
    for (int r = 0; r < h; ++r) {
        char label[16];
        const int labelSize = std::snprintf(label, sizeof label, "{%3d}", r);
        QByteArray line(labelSize + w, Qt::Uninitialized);
        char *out = line.data();
        std::memcpy(out, label, size_t(labelSize));
        out += labelSize;
        const uchar *bits = bitmap.constScanLine(r);
        for (int b = 0; b < wholeBytes; ++b, out += 8)
            std::memcpy(out, pixels.chars[bits[b]], 8);
        if (rest)
            std::memcpy(out, pixels.chars[bits[wholeBytes]], size_t(rest));
        appendRow(line);
    }
    if (verbose)
        message(QStringLiteral("%1 Scanlines read into QListBox").arg(h));
}

QString &MyApp::changeExtension()
{
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
    if (verbose)
        message(QStringLiteral("Output file set to to '%1'").arg(outFile));
    return outFile;
}

// The name is the one the user gave, whatever temporary file the lines go to first.
bool MyApp::listBoxToFile(QFileDevice &file, const QString &name)
{
    if (verbose)
        message(QStringLiteral("Writing file '%1'").arg(name));
    // Lines are gathered in one buffer that is written whenever it fills; text is encoded in
    // slices, so not even the longest line is ever copied whole.
    const qsizetype chunk = 1 << 20;
    QStringEncoder encoder(QStringConverter::System);
    QByteArray buffer;
    buffer.reserve(5 * chunk);
    bool written = true;
    const auto put = [&](QByteArrayView bytes) {
        buffer.append(bytes);
        if (buffer.size() >= chunk) {
            written = written && file.write(buffer) == buffer.size();
            buffer.resize(0);
        }
    };
    for (int i = 0; i < listBox.count() && written; ++i) {
        const QVariant line = listBox.item(i)->data(Qt::DisplayRole);
        if (line.typeId() == QMetaType::QByteArray) {
            const QByteArray bytes = line.toByteArray();
            for (qsizetype at = 0; at < bytes.size(); at += chunk)
                put(QByteArrayView(bytes).sliced(at, qMin(chunk, bytes.size() - at)));
        } else {
            const QString text = line.toString();
            for (qsizetype at = 0; at < text.size(); at += chunk)
                put(QByteArray(
                    encoder.encode(QStringView(text).sliced(at, qMin(chunk, text.size() - at)))));
        }
        put("\n");
    }
    put("\n");
    return written && file.write(buffer) == buffer.size() && file.flush();
}

bool MyApp::writeOutput(const QString &name)
{
    if (name.isEmpty() || sameFile(name, inFile))
        return false;
    // Devices, pipes and the descriptor links are written in place; replacing them would break
    // them. Every other file is written beside its old version and renamed over it when complete.
    const QFileInfo info(name);
    const bool special = (info.exists() && !info.isFile()) ||
                         name.startsWith(QLatin1String("/dev/")) ||
                         name.startsWith(QLatin1String("/proc/"));
    if (!special) {
        const QString target = !info.isSymLink() ? name
                               : info.exists()   ? info.canonicalFilePath()
                                                 : info.symLinkTarget();
        QTemporaryFile file(target + QStringLiteral(".XXXXXX"));
        if (file.open())
            return listBoxToFile(file, name) && replaceWith(file, target);
        // An existing file in a directory that takes no new files can still be rewritten.
        if (!info.exists())
            return false;
    }
    QFile file(name);
    if (!file.open(QIODevice::WriteOnly))
        return false;
    const bool written = listBoxToFile(file, name);
    file.close();
    return written && file.error() == QFileDevice::NoError;
}

int MyApp::cmdLine(int argc, char **argv)
{
    QString outName;
    int files = 0;
    for (int i = 1; i < argc; ++i) {
        const QString arg = QFile::decodeName(argv[i]);
        const QStringList pieces = arg.split(u'=', Qt::SkipEmptyParts);
        if (pieces.size() == 1) {
            if (arg == u"-v") {
                verbose = true;
            } else if (arg == u"-h") {
                help();
                return 0;
            } else if (files == 0) {
                if (setInFile(arg)) {
                    if (verbose)
                        message(QStringLiteral("Bitmap file '%1' cannot be opened").arg(inFile));
                    return 1;
                }
                outName = changeExtension();
                files = 1;
            } else if (files == 1) {
                outName = arg;
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
            } else {
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
    auto *buttonRow = new QHBoxLayout;
    setWindowTitle(QStringLiteral("Pictorn Converter"));

    nameLabel = new QLabel(QStringLiteral("Name : "), this);
    nameLabel->setFixedSize(80, 30);
    nameRow->addWidget(nameLabel);
    nameRow->addWidget(&nameEdit);

    packageLabel = new QLabel(QStringLiteral("Package : "), this);
    packageLabel->setFixedSize(80, 30);
    packageRow->addWidget(packageLabel);
    packageRow->addWidget(&packageEdit);

    // The rows of "#" and "." only draw the picture when every character has the same width.
    listBox.setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
    listBox.resize(200, 500);

    saveButton = new QPushButton(this);
    saveButton->setFixedSize(100, 30);
    saveButton->setText(QStringLiteral("Save"));
    saveButton->setEnabled(false);
    buttonRow->addWidget(saveButton);

    quitButton = new QPushButton(this);
    quitButton->setText(QStringLiteral("Quit"));
    quitButton->setFixedSize(100, 30);
    buttonRow->addWidget(quitButton);

    topLayout.addLayout(nameRow);
    topLayout.addLayout(packageRow);
    topLayout.addWidget(&listBox);
    topLayout.addLayout(buttonRow);

    connect(saveButton, &QPushButton::clicked, this, &MyApp::slotSave);
    connect(quitButton, &QPushButton::clicked, this, &MyApp::slotQuit);
}

int MyApp::loadFile()
{
    QFileDialog dialog(nullptr, QStringLiteral("Select bitmap to convert"), QDir::homePath(),
                       QStringLiteral("Images (*.bmp)"));
    dialog.setObjectName(QStringLiteral("Pictorn"));
    dialog.setFileMode(QFileDialog::ExistingFile);
    inFile = dialog.exec() == QDialog::Accepted ? dialog.selectedFiles().value(0) : QString();
    return process();
}

void MyApp::slotSave()
{
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

namespace
{

// Without a reachable X display the command line still converts, on the toolkit's minimal
// platform: unlike the offscreen one it loads no font configuration, which a run that draws
// nothing does not need and which would double its start-up time. A platform the user chose is
// left alone. Returns whether the user chose one.
bool choosePlatform(int argc, char **argv)
{
    bool displayGiven = !qEnvironmentVariableIsEmpty("DISPLAY");
    for (int i = 1; i < argc; ++i) {
        const char *arg = argv[i][0] == '-' && argv[i][1] == '-' ? argv[i] + 1 : argv[i];
        if (std::strcmp(arg, "-platform") == 0)
            return true;
        if (std::strcmp(arg, "-display") == 0)
            displayGiven = true;
    }
    if (!qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        return true;
    qputenv("QT_QPA_PLATFORM", displayGiven ? "xcb;minimal" : "minimal");
    return false;
}

} // namespace

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
