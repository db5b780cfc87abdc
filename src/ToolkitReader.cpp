// Every format the toolkit's image readers know, read from memory with its size judged first.

#include "ToolkitReader.h"
#include "PixelData.h"

#include <QBuffer>
#include <QFileInfo>
#include <QImageReader>

#include <dlfcn.h>
#include <tiffio.h>

#include <mutex>

namespace
{

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

void setToolkitLimits()
{
    // The toolkit's first guard counts four bytes a pixel whatever the format, its second the
    // bytes of the decoded form, at most eight a pixel (16-bit RGBA): the largest picture that
    // pictorn takes passes both, and every picture is judged before it is decoded.
    QImageReader::setAllocationLimit(int(maxPixels * 8 / (1024 * 1024)));
}

// libtiff is loaded here rather than linked: its libraries would cost every start, and most runs
// read no TIFF. The toolkit's reader, loaded later, shares the same copy.
void quietTiff()
{
    static std::once_flag once;
    std::call_once(once, [] {
        void *tiff = ::dlopen(PICTORN_TIFF_LIBRARY, RTLD_NOW | RTLD_LOCAL);
        if (!tiff)
            return;
        using SetHandler = TIFFErrorHandler (*)(TIFFErrorHandler);
        for (const char *name : {"TIFFSetErrorHandler", "TIFFSetWarningHandler"})
            if (auto set = reinterpret_cast<SetHandler>(::dlsym(tiff, name)))
                set(nullptr);
    });
}

Decoded readWithToolkit(QByteArray &bytes, const QString &name, const Reduction &r)
{
    Decoded result;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::ReadOnly);
    const QByteArray format = formatOf(buffer, bytes, name);
    if (format == "tif" || format == "tiff")
        quietTiff();
    QImageReader reader(&buffer, format);
    reader.setAutoDetectImageFormat(false);
    // SVG has a reader of its own, which follows no reference out of the file.
    if (format.startsWith("svg"))
        return result;
    const QSize size = reader.size();
    const PixelData data = pixelData(format, bytes);
    if (data.bytes < 0)
        return result;
    // The decoded form is asked only of a reader that could read the header.
    QImage::Format decodedFormat = QImage::Format_Invalid;
    if (size.isValid()) {
        const qint64 pixels = qint64(size.width()) * size.height();
        if (!fitsLimits(size) || !fitsLimits(scaledSize(size, r)) ||
            !plausibleSize(pixels, data.bytes, data.pixelsPerByte))
            return result;
        decodedFormat = formatOfImage(bytes, format);
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
