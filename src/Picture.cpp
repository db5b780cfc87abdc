// Reading a picture: the bytes read once, then handed to the reader of their format.

#include "Picture.h"
#include "Bmp.h"
#include "Geometry.h"
#include "LibraryText.h"
#include "PixelData.h"
#include "Png.h"
#include "Reduce.h"
#include "Svg.h"
#include "ToolkitReader.h"

#include <QFile>

#include <fcntl.h>
#include <poll.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <new>
#include <utility>

namespace
{

// The largest file such a picture needs: four bytes a pixel and room for headers.
const qint64 maxBytes = maxPixels * 4 + (1 << 20);
// Enough of a file's start to tell its format and what its headers say of its length.
const qint64 headBytes = 4096;

// Reads from FD onto the end of BYTES until they hold at least COUNT bytes or the input ends.
// What was read is never dropped or changed. The buffer starts at SIZEHINT, the file's size when
// it is known, and doubles from there.
bool readUpTo(int fd, QByteArray &bytes, qint64 count, qint64 sizeHint)
{
    qint64 size = bytes.size();
    if (size >= count)
        return true;
    bytes.resize(qMin(count, qMax(sizeHint, qMax(size * 2, headBytes))));
    while (size < count) {
        if (size == bytes.size())
            bytes.resize(qMin(count, size * 2));
        const ssize_t got = ::read(fd, bytes.data() + size, size_t(bytes.size() - size));
        // A stream left non-blocking, as some parents leave their children's, is waited for.
        pollfd ready{fd, POLLIN, 0};
        if (got < 0 && (errno == EINTR || (errno == EAGAIN && ::poll(&ready, 1, -1) >= 0)))
            continue;
        if (got <= 0) {
            bytes.resize(size);
            return got == 0;
        }
        size += got;
    }
    bytes.resize(size);
    return true;
}

// Reads a picture's bytes: its start first, which must look like a picture, then no more than
// its format can need. An uncompressed BMP's headers say how long it is, and what follows is not
// read; a file of any other format longer than the largest picture needs is refused unread.
Picture::Status readPicture(int fd, const QString &name, qint64 fileSize, QByteArray &bytes)
{
    if (!readUpTo(fd, bytes, headBytes, headBytes) || !startsLikePicture(bytes, name))
        return Picture::NotAPicture;
    const qint64 needed = bytesNeeded(bytes);
    if (needed == 0 && fileSize > maxBytes)
        return Picture::NotAPicture;
    const qint64 limit = needed > 0 ? qMin(needed, maxBytes) : maxBytes + 1;
    if (!readUpTo(fd, bytes, limit, fileSize + 1) || bytes.size() > maxBytes)
        return Picture::NotAPicture;
    return Picture::Loaded;
}

// Reads a regular file, or standard input for "-". Anything else (a directory, a device, a pipe
// by name) would keep the run waiting or reading forever.
Picture::Status readBytes(const QString &name, QByteArray &bytes)
{
    const bool standardInput = name == u"-";
    const int fd = standardInput ? STDIN_FILENO
                                 : ::open(QFile::encodeName(name).constData(),
                                          O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        return errno == ENOENT ? Picture::Missing : Picture::NotAPicture;
    struct stat info;
    const bool regular = ::fstat(fd, &info) == 0 && S_ISREG(info.st_mode);
    Picture::Status status = Picture::NotAPicture;
    if (regular || standardInput) {
        if (!standardInput)
            ::fcntl(fd, F_SETFL, 0);
        try {
            status = readPicture(fd, name, regular ? info.st_size : 0, bytes);
        } catch (const std::bad_alloc &) {
            status = Picture::NoMemory;
        }
    }
    if (!standardInput)
        ::close(fd);
    if (status != Picture::Loaded)
        bytes.clear();
    return status;
}

// The reader for the format that the bytes start with.
Decoded decodeBytes(QByteArray &bytes, const QString &name, const Reduction &r)
{
    if (bytes.startsWith("BM"))
        return readBmp(bytes, r);
    if (isLibraryText(bytes))
        return readLibraryText(bytes);
    if (bytes.startsWith("\x89PNG"))
        return readPng(bytes, r);
    return readWithToolkit(bytes, name, r);
}

} // namespace

QString readProblem(ReadStatus status, const QString &name)
{
    switch (status) {
    case ReadStatus::Missing:
        return QStringLiteral("Bitmap file '%1' not found").arg(name);
    case ReadStatus::NoMemory:
        return QStringLiteral("Not enough memory for '%1'").arg(name);
    default:
        return QStringLiteral("File '%1' is not a bitmap").arg(name);
    }
}

Picture::Status Picture::load(const QString &name, const Reduction &r)
{
    const Status status = read(name);
    keepBytes = false;
    return status == Loaded ? decode(r) : status;
}

Picture::Status Picture::read(const QString &name)
{
    *this = Picture();
    fileName = name;
    keepBytes = true;
    return readBytes(name, bytes);
}

bool Picture::needsDecode(const Reduction &old, const Reduction &r)
{
    // Trimming finds its box by the rule of dark pixels; lines kept take the darkest pixel, or
    // the lightest when inverted.
    const bool level =
        old.autoThreshold != r.autoThreshold || (!r.autoThreshold && old.threshold != r.threshold);
    return old.width != r.width || old.height != r.height || old.shape != r.shape ||
           old.mirror != r.mirror || old.rotate != r.rotate || old.trim != r.trim ||
           old.keepLines != r.keepLines || old.margin != r.margin ||
           ((r.trim || r.keepLines) && old.invert != r.invert) || (r.trim && level);
}

Picture::Status Picture::decode(const Reduction &r)
{
    oneBit = grey = QImage();
    box = QRect();
    try {
        // A vector picture is read once and drawn at the size of each reduction.
        if (!vector.isNull() || isSvg(bytes)) {
            const Status status = vector.isNull() ? vector.read(bytes) : Loaded;
            if (!keepBytes)
                bytes.clear();
            original = vector.size();
            return status != Loaded ? status : placeVector(r);
        }
        // A reader may consume the bytes it is given; kept ones stay whole.
        QByteArray copy = keepBytes ? bytes : std::exchange(bytes, QByteArray());
        Decoded decoded = decodeBytes(copy, fileName, r);
        givenName = decoded.name;
        givenPackage = decoded.package;
        why = decoded.reason;
        if (decoded.status != Loaded)
            return decoded.status;
        original = decoded.image.size();
        QImage image = std::exchange(decoded.image, QImage());
        if (r.mirror || r.rotate != 0)
            image = turned(image, r.mirror, r.rotate);
        if (r.trim && !image.isNull())
            trim(image, r);
        if (image.isNull())
            return NoMemory;
        source = image.size();
        const QSize target = scaledSize(source, r);
        const QSize margins(2 * r.margin, 2 * r.margin);
        if (!fitsLimits(target) || !fitsLimits(target + margins))
            return NotAPicture;
        if (target == source && image.depth() == 1) {
            oneBit = image;
            return Loaded;
        }
        grey = image.depth() == 1 ? greyOf(image, r.shape) : image;
        image = QImage();
        const Shrink shrink = !r.keepLines ? Shrink::Blend
                              : r.invert   ? Shrink::Lightest
                                           : Shrink::Darkest;
        if (!grey.isNull() && target != grey.size())
            grey = scaleGrey(grey, target, shrink);
        return grey.isNull() ? NoMemory : Loaded;
    } catch (const std::bad_alloc &) {
        oneBit = grey = QImage();
        return NoMemory;
    }
}

// Crops IMAGE, at its own size, to its pixels that are dark by R; with an automatic threshold,
// by the level chosen here, which the rows take too. IMAGE is null when memory runs out.
void Picture::trim(QImage &image, const Reduction &r)
{
    uchar lum[256], dark[256];
    Reduction rule = r;
    if (image.depth() == 1) {
        paletteLuminance(image.colorTable(), r.shape, lum);
        trimLevel = {middleThreshold(lum[0], lum[1]), ChosenLevel::TwoColours};
    } else {
        for (int i = 0; i < 256; ++i)
            lum[i] = uchar(i);
        if (r.autoThreshold)
            trimLevel = {autoThreshold(image), ChosenLevel::OwnSize};
    }
    if (r.autoThreshold)
        rule.threshold = trimLevel.threshold;
    for (int i = 0; i < 256; ++i)
        dark[i] = isDark(lum[i], rule);
    box = darkBox(image, dark);
    if (!box.isEmpty() && box != image.rect())
        image = image.copy(box);
}

// Finds where a vector picture is drawn: at the size that makes its turned and trimmed part the
// size the settings ask, then turned and cut. Its dark box is found in a drawing at its own size.
Picture::Status Picture::placeVector(const Reduction &r)
{
    const QSize own = turnedSize(original, r.rotate);
    QRect part(QPoint(0, 0), own);
    if (r.trim) {
        Reduction rule = resolved(r);
        rule.dither = false;
        Status drawn = NoMemory;
        QImage ownDrawing = vector.reduce(original, rule, &drawn);
        if (ownDrawing.isNull())
            return drawn == Loaded ? NoMemory : drawn;
        ownDrawing = turned(ownDrawing, r.mirror, r.rotate);
        if (ownDrawing.isNull())
            return NoMemory;
        const uchar dark[256] = {0, 1};
        box = darkBox(ownDrawing, dark);
        if (!box.isEmpty())
            part = box;
    }
    source = part.size();
    // Untrimmed, the other side follows the document's exact proportions, not its rounded size.
    const QSizeF exact = r.rotate % 180 ? vector.exactSize().transposed() : vector.exactSize();
    const QSize target = part.size() == own ? scaledSize(exact, r) : scaledSize(source, r);
    if (!fitsLimits(target) || !fitsLimits(target + QSize(2 * r.margin, 2 * r.margin)))
        return NotAPicture;
    const auto scaled = [](int length, int to, int from) {
        return qint64(length) * to / from + (qint64(length) * to % from * 2 >= from ? 1 : 0);
    };
    const qint64 w = scaled(own.width(), target.width(), part.width());
    const qint64 h = scaled(own.height(), target.height(), part.height());
    if (w > maxSide || h > maxSide)
        return NotAPicture;
    const int x = int(scaled(part.x(), target.width(), part.width()));
    const int y = int(scaled(part.y(), target.height(), part.height()));
    kept = QRect(qMin(x, int(w) - target.width()), qMin(y, int(h) - target.height()),
                 target.width(), target.height());
    drawing = turnedSize(QSize(int(w), int(h)), r.rotate);
    return Loaded;
}

ChosenLevel Picture::chooseThreshold(const Reduction &r) const
{
    if (!vector.isNull())
        return {};
    if (r.trim)
        return trimLevel;
    if (!oneBit.isNull()) {
        uchar lum[256];
        paletteLuminance(oneBit.colorTable(), r.shape, lum);
        return {middleThreshold(lum[0], lum[1]), ChosenLevel::TwoColours};
    }
    return {autoThreshold(grey), ChosenLevel::Greys};
}

Reduction Picture::resolved(const Reduction &r) const
{
    Reduction out = r;
    if (r.autoThreshold)
        out.threshold = chooseThreshold(r).threshold;
    out.autoThreshold = false;
    return out;
}

QImage Picture::reduce(const Reduction &r, Status *failure) const
{
    Status ignored;
    Status &status = failure ? *failure : ignored;
    status = NoMemory;
    try {
        const Reduction rule = resolved(r);
        QImage image;
        if (vector.isNull()) {
            image = oneBit.isNull() ? reduceGrey(grey, rule) : reduceOneBit(oneBit, rule);
        } else {
            image = vector.reduce(drawing, rule, &status);
            if (image.isNull())
                return image;
            if (r.mirror || r.rotate != 0)
                image = turned(image, r.mirror, r.rotate);
            if (!image.isNull() && kept != image.rect())
                image = image.copy(kept);
        }
        image = withMargin(image, r.margin);
        status = image.isNull() ? NoMemory : Loaded;
        return image;
    } catch (const std::bad_alloc &) {
        status = NoMemory;
        return QImage();
    }
}

bool Picture::hasTransparency()
{
    if (!transparencyKnown) {
        transparency = measureTransparency();
        transparencyKnown = true;
    }
    return transparency;
}

bool Picture::measureTransparency() const
{
    Picture probe = *this;
    // Bytes let go once decoded are read again from the file; standard input cannot be.
    if (vector.isNull() && !keepBytes && (fileName == u"-" || probe.read(fileName) != Loaded))
        return false;
    probe.keepBytes = false;
    Reduction shape;
    shape.shape = true;
    if (probe.decode(shape) != Loaded)
        return false;
    const QImage ink = probe.reduce(shape);
    shape.invert = true;
    const QImage paper = probe.reduce(shape);
    return !ink.isNull() && !paper.isNull() && !noInk(ink) && !noInk(paper);
}
