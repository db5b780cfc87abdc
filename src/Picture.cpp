// Reading a picture: the bytes read once, then handed to the reader of their format.

#include "Picture.h"
#include "Bmp.h"
#include "LibraryText.h"
#include "PixelData.h"
#include "Png.h"
#include "Reduce.h"
#include "Svg.h"
#include "ToolkitReader.h"

#include <QFile>

#include <fcntl.h>
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

// Reads from FD onto the end of BYTES until they hold COUNT bytes or the input ends; the buffer
// starts at SIZEHINT, the file's size when it is known, and doubles from there.
bool readUpTo(int fd, QByteArray &bytes, qint64 count, qint64 sizeHint)
{
    qint64 size = bytes.size();
    bytes.resize(qMin(count, qMax(sizeHint, size * 2)));
    while (size < count) {
        if (size == bytes.size())
            bytes.resize(qMin(count, size * 2));
        const ssize_t got = ::read(fd, bytes.data() + size, size_t(bytes.size() - size));
        if (got < 0 && errno == EINTR)
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
// its format can need. A BMP's headers say how long it is, and what follows is not read; a file
// of any other format longer than the largest picture needs is refused unread.
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
    return old.width != r.width || old.height != r.height || old.shape != r.shape;
}

Picture::Status Picture::decode(const Reduction &r)
{
    oneBit = grey = QImage();
    try {
        // A vector picture is read once and drawn at the size of each reduction.
        if (!vector.isNull() || isSvg(bytes)) {
            const Status status = vector.isNull() ? vector.read(bytes) : Loaded;
            if (!keepBytes)
                bytes.clear();
            original = vector.size();
            return status != Loaded || fitsLimits(scaledSize(vector.exactSize(), r)) ? status
                                                                                     : NotAPicture;
        }
        // A reader may consume the bytes it is given; kept ones stay whole.
        QByteArray copy = keepBytes ? bytes : std::exchange(bytes, QByteArray());
        Decoded decoded = decodeBytes(copy, fileName, r);
        givenName = decoded.name;
        givenPackage = decoded.package;
        if (decoded.status != Loaded)
            return decoded.status;
        original = decoded.image.size();
        const QSize target = scaledSize(original, r);
        if (!fitsLimits(target))
            return NotAPicture;
        if (target == original && decoded.image.depth() == 1) {
            oneBit = decoded.image;
            return Loaded;
        }
        grey = decoded.image.depth() == 1 ? greyOf(decoded.image, r.shape) : decoded.image;
        decoded.image = QImage();
        if (!grey.isNull() && target != grey.size())
            grey = scaleGrey(grey, target);
        return grey.isNull() ? NoMemory : Loaded;
    } catch (const std::bad_alloc &) {
        oneBit = grey = QImage();
        return NoMemory;
    }
}

QImage Picture::reduce(const Reduction &r, Status *failure) const
{
    Status ignored;
    Status &status = failure ? *failure : ignored;
    status = NoMemory;
    try {
        if (!vector.isNull())
            return vector.reduce(scaledSize(vector.exactSize(), r), r, &status);
        QImage image = oneBit.isNull() ? reduceGrey(grey, r) : reduceOneBit(oneBit, r);
        status = image.isNull() ? NoMemory : Loaded;
        return image;
    } catch (const std::bad_alloc &) {
        status = NoMemory;
        return QImage();
    }
}
