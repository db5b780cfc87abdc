// Reading a picture and reducing it to one bit per pixel. The bytes are read once, judged before
// anything large is allocated, and decoded from memory.

#include "Picture.h"
#include "Bmp.h"

#include <QBuffer>
#include <QFile>
#include <QFileInfo>
#include <QImageReader>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <new>
#include <optional>
#include <vector>

namespace
{

// The largest file such a picture needs: four bytes a pixel and room for headers.
const qint64 maxBytes = maxPixels * 4 + (1 << 20);

bool looksLikePicture(const QByteArray &bytes, qint64 size)
{
    QByteArray start = QByteArray::fromRawData(bytes.constData(), size);
    QBuffer buffer(&start);
    buffer.open(QIODevice::ReadOnly);
    return !QImageReader::imageFormat(&buffer).isEmpty();
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

// More pixels than a file of that size can hold are a lie or a decompression bomb: even deflate,
// the strongest packer of the common formats, keeps 1-bit pixels below 8800 a byte. Small images
// are always believed.
bool plausibleSize(qint64 pixels, qint64 fileBytes)
{
    return pixels <= 2048 * 2048 || pixels / 8800 <= fileBytes;
}

// What the eye sees of a colour on white paper, with the toolkit's grey weights. Laying a colour
// on white and weighing it are both linear, so the grey is laid on white instead of each channel.
int luminance(QRgb rgb)
{
    const int a = qAlpha(rgb);
    return (qGray(rgb) * a + 255 * (255 - a) + 127) / 255;
}

// Palette entries the file leaves out take the last one; without a palette, black then white.
void paletteLuminance(const QList<QRgb> &table, uchar lum[256])
{
    for (int i = 0; i < 256; ++i) {
        if (table.isEmpty())
            lum[i] = i == 0 ? 0 : 255;
        else
            lum[i] = uchar(luminance(table.value(i, table.last())));
    }
}

QImage greyOf(const QImage &image)
{
    if (image.format() == QImage::Format_Grayscale8)
        return image;
    const int w = image.width(), h = image.height();
    QImage grey(w, h, QImage::Format_Grayscale8);
    if (grey.isNull())
        return grey;
    uchar lum[256];
    if (image.format() == QImage::Format_Indexed8 || image.depth() == 1) {
        paletteLuminance(image.colorTable(), lum);
        const bool lsb = image.format() == QImage::Format_MonoLSB;
        for (int y = 0; y < h; ++y) {
            const uchar *in = image.constScanLine(y);
            uchar *out = grey.scanLine(y);
            for (int x = 0; x < w; ++x)
                out[x] = lum[image.depth() == 8 ? in[x]
                             : lsb              ? in[x >> 3] >> (x & 7) & 1
                                                : in[x >> 3] >> (7 - (x & 7)) & 1];
        }
        return grey;
    }
    // Row by row, so that a deep picture never has a second full-size copy.
    const QImage::Format argb = QImage::Format_ARGB32;
    for (int y = 0; y < h; ++y) {
        const QImage line =
            image.format() == argb ? QImage() : image.copy(0, y, w, 1).convertToFormat(argb);
        const auto *in = reinterpret_cast<const QRgb *>(line.isNull() ? image.constScanLine(y)
                                                                      : line.constScanLine(0));
        uchar *out = grey.scanLine(y);
        for (int x = 0; x < w; ++x)
            out[x] = uchar(luminance(in[x]));
    }
    return grey;
}

// The size a picture is scaled to: what the keys ask, the other side kept in proportion.
QSize scaledSize(QSize size, const Reduction &r)
{
    if (r.width <= 0 && r.height <= 0)
        return size;
    const qint64 w =
        r.width > 0 ? r.width
        : size.height() > 0
            ? qMax<qint64>(1, (qint64(size.width()) * r.height + size.height() / 2) / size.height())
            : 0;
    const qint64 h =
        r.height > 0 ? r.height
        : size.width() > 0
            ? qMax<qint64>(1, (qint64(size.height()) * r.width + size.width() / 2) / size.width())
            : 0;
    return w <= 16384 * 16 && h <= 16384 * 16 ? QSize(int(w), int(h)) : QSize(0, 0);
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

} // namespace

Picture::Status Picture::load(const QString &name, const Reduction &reduction)
{
    oneBit = grey = QImage();
    QByteArray bytes;
    const Status read = readBytes(name, bytes);
    if (read != Loaded)
        return read;
    try {
        // A BMP whose pixel data ends before its header says it should is a truncated download
        // or a lying header; the toolkit's reader would fill the missing rows silently.
        const BmpHeader bmp = bmpHeader(bytes);
        if (bytes.startsWith("BM") && !bmp.valid)
            return NotAPicture;
        const qint64 dataSize = bytes.size() - bmp.offset;
        if (bmp.valid && bmp.runLength()) {
            const auto *data = reinterpret_cast<const uchar *>(bytes.constData()) + bmp.offset;
            const qint64 used = dataSize > 0 && bmp.height > 0
                                    ? rleLength(data, dataSize, bmp.height, bmp.compression == 2)
                                    : -1;
            if (used < 0 || !plausibleSize(bmp.width * bmp.height, used) ||
                bmp.paletteAt + qint64(bmp.colours) * bmp.entrySize > bmp.offset)
                return NotAPicture;
            uchar lum[256];
            paletteLuminance(bmpPalette(bytes, bmp), lum);
            grey = decodeRle(data, used, bmp, lum);
            bytes.clear();
        } else if (bmp.valid) {
            const bool uncompressed =
                bmp.compression == 0 || bmp.compression == 3 || bmp.compression == 6;
            if (uncompressed && dataSize < (bmp.width * bmp.depth + 31) / 32 * 4 * qAbs(bmp.height))
                return NotAPicture;
        }
        if (grey.isNull()) {
            QBuffer buffer(&bytes);
            buffer.open(QIODevice::ReadOnly);
            // The two common formats are named at once, which spares the reader its plugin scan.
            // Formats with little or no signature (TGA, WBMP) are known by the file's extension
            // first, when its reader takes the file.
            QByteArray format = bytes.startsWith("BM")        ? "bmp"
                                : bytes.startsWith("\x89PNG") ? "png"
                                                              : QByteArray();
            if (format.isEmpty()) {
                const QByteArray suffix = QFileInfo(name).suffix().toLower().toLatin1();
                QImageReader bySuffix(&buffer, suffix);
                bySuffix.setAutoDetectImageFormat(false);
                format = !suffix.isEmpty() && bySuffix.canRead()
                             ? suffix
                             : QImageReader::imageFormat(&buffer);
                buffer.seek(0);
            }
            std::optional<QuietStandardError> quiet;
            if (format == "png")
                quiet.emplace();
            QImageReader reader(&buffer, format);
            reader.setAutoDetectImageFormat(false);
            const QSize size = reader.size();
            const bool vector = reader.format().startsWith("svg");
            const QSize target = scaledSize(size, reduction);
            if (size.isValid()) {
                const qint64 pixels = qint64(size.width()) * size.height();
                const qint64 scaled = qint64(target.width()) * target.height();
                if (size.isEmpty() || target.isEmpty() || pixels > maxPixels ||
                    scaled > maxPixels || (!vector && !plausibleSize(pixels, bytes.size())))
                    return NotAPicture;
                // The toolkit's guard counts four bytes a pixel, whatever the format.
                const qint64 decoded = vector ? scaled : pixels;
                QImageReader::setAllocationLimit(
                    int(qMax<qint64>(128, decoded * 4 / (1024 * 1024) + 1)));
            }
            if (vector && target != size)
                reader.setScaledSize(target);
            QImage image = reader.read();
            bytes.clear();
            // A reader that ran out of memory only says that it failed: so does the picture fit?
            if (image.isNull())
                return !size.isValid() || !QImage(size, QImage::Format_ARGB32).isNull()
                           ? NotAPicture
                           : NoMemory;
            if (qint64(image.width()) * image.height() > maxPixels)
                return NotAPicture;
            if (image.depth() == 1 && scaledSize(image.size(), reduction) == image.size()) {
                oneBit = image;
                return Loaded;
            }
            grey = greyOf(image);
        }
        if (grey.isNull())
            return NoMemory;
        const QSize target = scaledSize(grey.size(), reduction);
        if (qint64(target.width()) * target.height() > maxPixels)
            return NotAPicture;
        if (target != grey.size())
            grey = grey.scaled(target, Qt::IgnoreAspectRatio, Qt::SmoothTransformation)
                       .convertToFormat(QImage::Format_Grayscale8);
        return grey.isNull() ? NoMemory : Loaded;
    } catch (const std::bad_alloc &) {
        oneBit = grey = QImage();
        return NoMemory;
    }
}

namespace
{

// A 1-bit image with a black-and-white table in which a set bit is dark.
QImage blankBitmap(int w, int h)
{
    QImage image(w, h, QImage::Format_Mono);
    image.setColorTable({qRgb(255, 255, 255), qRgb(0, 0, 0)});
    return image;
}

bool isDark(int lum, const Reduction &r)
{
    return (lum * 100 < r.threshold * 255) != r.invert;
}

QImage threshold(const QImage &grey, const Reduction &r)
{
    const int w = grey.width(), h = grey.height();
    QImage image = blankBitmap(w, h);
    if (image.isNull())
        return image;
    uchar bit[256];
    for (int lum = 0; lum < 256; ++lum)
        bit[lum] = isDark(lum, r) ? 1 : 0;
    for (int y = 0; y < h; ++y) {
        const uchar *in = grey.constScanLine(y);
        uchar *out = image.scanLine(y);
        for (int x = 0; x < w; x += 8) {
            uchar byte = 0;
            for (int i = 0; i < 8; ++i)
                byte = uchar(byte << 1 | (x + i < w ? bit[in[x + i]] : 0));
            out[x >> 3] = byte;
        }
    }
    return image;
}

// Floyd and Steinberg's error diffusion, with the threshold as the point between black and white.
QImage dither(const QImage &grey, const Reduction &r)
{
    const int w = grey.width(), h = grey.height();
    QImage image = blankBitmap(w, h);
    if (image.isNull())
        return image;
    image.fill(0);
    const int middle = r.threshold * 255;
    std::vector<int> error(size_t(w) + 2, 0), next(size_t(w) + 2, 0);
    for (int y = 0; y < h; ++y) {
        const uchar *in = grey.constScanLine(y);
        uchar *out = image.scanLine(y);
        for (int x = 0; x < w; ++x) {
            const int value = in[x] + error[size_t(x) + 1] / 16;
            const bool black = value * 100 < middle;
            const int e = value - (black ? 0 : 255);
            if (black != r.invert)
                out[x >> 3] |= uchar(0x80 >> (x & 7));
            error[size_t(x) + 2] += e * 7;
            next[size_t(x)] += e * 3;
            next[size_t(x) + 1] += e * 5;
            next[size_t(x) + 2] += e;
        }
        error.swap(next);
        std::fill(next.begin(), next.end(), 0);
    }
    return image;
}

} // namespace

QImage Picture::reduce(const Reduction &r) const
{
    if (!oneBit.isNull()) {
        // A 1-bit picture keeps its bits: only which of its two colours is dark can change.
        uchar lum[256];
        paletteLuminance(oneBit.colorTable(), lum);
        const QList<QRgb> table = {isDark(lum[0], r) ? qRgb(0, 0, 0) : qRgb(255, 255, 255),
                                   isDark(lum[1], r) ? qRgb(0, 0, 0) : qRgb(255, 255, 255)};
        const QList<QRgb> old = oneBit.colorTable();
        const bool same = old.size() == 2 && (qGray(old[0]) < 128) == (qGray(table[0]) < 128) &&
                          (qGray(old[1]) < 128) == (qGray(table[1]) < 128) &&
                          qAlpha(old[0]) == 255 && qAlpha(old[1]) == 255;
        const bool pure = (lum[0] == 0 || lum[0] == 255) && (lum[1] == 0 || lum[1] == 255);
        if (same && (pure || !r.dither))
            return oneBit;
        if (pure || !r.dither) {
            QImage image = oneBit;
            image.setColorTable(table);
            return image;
        }
        return dither(greyOf(oneBit), r);
    }
    return r.dither ? dither(grey, r) : threshold(grey, r);
}
