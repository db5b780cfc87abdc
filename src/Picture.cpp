// Reading a picture: the bytes read once, then handed to the reader of their format.

#include "Picture.h"
#include "Bmp.h"
#include "Reduce.h"
#include "Svg.h"
#include "ToolkitReader.h"

#include <QBuffer>
#include <QFile>
#include <QImageReader>

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

bool looksLikePicture(const QByteArray &bytes, qint64 size)
{
    QByteArray start = QByteArray::fromRawData(bytes.constData(), size);
    QBuffer buffer(&start);
    buffer.open(QIODevice::ReadOnly);
    return !QImageReader::imageFormat(&buffer).isEmpty() || isSvg(start);
}

// Reads the whole of a regular file, or of standard input for "-", up to maxBytes. Anything else
// (a directory, a device, a pipe by name) would keep the run waiting or reading forever.
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
            qint64 size = 0;
            qint64 room = regular ? qMin<qint64>(info.st_size, maxBytes) + 1 : 1 << 16;
            bytes.resize(room);
            for (;;) {
                const ssize_t got = ::read(fd, bytes.data() + size, size_t(room - size));
                if (got < 0 && errno == EINTR)
                    continue;
                if (got <= 0) {
                    status = got == 0 ? Picture::Loaded : Picture::NotAPicture;
                    break;
                }
                // A long stream must show early that it is a picture, or it is not read on.
                const bool judged = size >= 1 << 20;
                size += got;
                if (size > maxBytes ||
                    (!judged && size >= 1 << 20 && !looksLikePicture(bytes, size)))
                    break;
                if (size == room) {
                    room = qMin(room * 2, maxBytes + 1);
                    bytes.resize(room);
                }
            }
            bytes.resize(size);
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
            return status != Loaded || fitsLimits(scaledSize(original, r)) ? status : NotAPicture;
        }
        // A reader may consume the bytes it is given; kept ones stay whole.
        QByteArray copy = keepBytes ? bytes : std::exchange(bytes, QByteArray());
        Decoded decoded = decodeBytes(copy, fileName, r);
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
            grey = grey.scaled(target, Qt::IgnoreAspectRatio, Qt::SmoothTransformation)
                       .convertToFormat(QImage::Format_Grayscale8);
        return grey.isNull() ? NoMemory : Loaded;
    } catch (const std::bad_alloc &) {
        oneBit = grey = QImage();
        return NoMemory;
    }
}

QImage Picture::reduce(const Reduction &r) const
{
    if (!vector.isNull())
        return vector.reduce(scaledSize(original, r), r);
    return oneBit.isNull() ? reduceGrey(grey, r) : reduceOneBit(oneBit, r);
}
