// Every format the toolkit's image readers know, read from memory with its size judged first.

#include "ToolkitReader.h"
#include "PixelData.h"

#include <QBuffer>
#include <QFileInfo>
#include <QImageReader>

#include <fcntl.h>
#include <unistd.h>

#include <cstdio>
#include <optional>

namespace
{

// libpng, under the toolkit's reader of icons, and libtiff write their complaints straight to
// standard error, which belongs to the program's own messages; the image's failure is enough.
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

// BMP is named at once, which spares the reader its plugin scan. Formats with little or no
// signature (TGA, WBMP) are known by the file's extension first, when its reader takes the file.
QByteArray formatOf(QBuffer &buffer, const QByteArray &bytes, const QString &name)
{
    if (bytes.startsWith("BM"))
        return "bmp";
    const QByteArray suffix = QFileInfo(name).suffix().toLower().toLatin1();
    QImageReader bySuffix(&buffer, suffix);
    bySuffix.setAutoDetectImageFormat(false);
    const QByteArray format =
        !suffix.isEmpty() && bySuffix.canRead() ? suffix : QImageReader::imageFormat(&buffer);
    buffer.seek(0);
    return format;
}

// The form the reader decodes to; 16-bit pictures take eight bytes a pixel, and a format whose
// reader does not tell may be one. Asked of a reader of its own, as the question moves some
// readers on in their data.
QImage::Format formatOfImage(QByteArray &bytes, const QByteArray &format)
{
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::ReadOnly);
    QImageReader reader(&buffer, format);
    reader.setAutoDetectImageFormat(false);
    const QImage::Format decoded = reader.imageFormat();
    return decoded == QImage::Format_Invalid ? QImage::Format_RGBA64 : decoded;
}

} // namespace

Decoded readWithToolkit(QByteArray &bytes, const QString &name, const Reduction &r)
{
    Decoded result;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::ReadOnly);
    const QByteArray format = formatOf(buffer, bytes, name);
    std::optional<QuietStandardError> quiet;
    if (format == "ico" || format == "cur" || format == "tif" || format == "tiff")
        quiet.emplace();
    QImageReader reader(&buffer, format);
    reader.setAutoDetectImageFormat(false);
    // SVG has a reader of its own, which follows no reference out of the file.
    if (format.startsWith("svg"))
        return result;
    const QSize size = reader.size();
    const PixelData data = pixelData(format, bytes);
    if (data.bytes < 0)
        return result;
    const QImage::Format decodedFormat = formatOfImage(bytes, format);
    if (size.isValid()) {
        const qint64 pixels = qint64(size.width()) * size.height();
        if (!fitsLimits(size) || !fitsLimits(scaledSize(size, r)) ||
            !plausibleSize(pixels, data.bytes, data.pixelsPerByte))
            return result;
        // The toolkit's first guard counts four bytes a pixel whatever the format, its second the
        // bytes of the decoded form.
        const qint64 bytesPerPixel =
            qMax(4, (QImage::toPixelFormat(decodedFormat).bitsPerPixel() + 7) / 8);
        QImageReader::setAllocationLimit(
            int(qMax<qint64>(128, pixels * bytesPerPixel / (1024 * 1024) + 1)));
    }
    QImage image = reader.read();
    bytes.clear();
    // A reader that ran out of memory only says that it failed: so does the picture fit?
    if (image.isNull()) {
        if (size.isValid() && QImage(size, decodedFormat).isNull())
            result.status = ReadStatus::NoMemory;
        return result;
    }
    if (!fitsLimits(image.size()))
        return result;
    result.status = ReadStatus::Loaded;
    result.image = image.depth() == 1 ? image : greyOf(image, r.shape);
    if (result.image.isNull())
        result.status = ReadStatus::NoMemory;
    return result;
}
