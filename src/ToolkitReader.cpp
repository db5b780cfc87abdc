// Every format the toolkit's image readers know, read from memory with its size judged first.

#include "ToolkitReader.h"

#include <QBuffer>
#include <QFileInfo>
#include <QImageReader>

#include <fcntl.h>
#include <unistd.h>

#include <cstdio>
#include <optional>

namespace
{

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

// The two common formats are named at once, which spares the reader its plugin scan. Formats
// with little or no signature (TGA, WBMP) are known by the file's extension first, when its
// reader takes the file.
QByteArray formatOf(QBuffer &buffer, const QByteArray &bytes, const QString &name)
{
    if (bytes.startsWith("BM"))
        return "bmp";
    if (bytes.startsWith("\x89PNG"))
        return "png";
    const QByteArray suffix = QFileInfo(name).suffix().toLower().toLatin1();
    QImageReader bySuffix(&buffer, suffix);
    bySuffix.setAutoDetectImageFormat(false);
    const QByteArray format =
        !suffix.isEmpty() && bySuffix.canRead() ? suffix : QImageReader::imageFormat(&buffer);
    buffer.seek(0);
    return format;
}

} // namespace

Decoded readWithToolkit(QByteArray &bytes, const QString &name, const Reduction &r)
{
    Decoded result;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::ReadOnly);
    const QByteArray format = formatOf(buffer, bytes, name);
    std::optional<QuietStandardError> quiet;
    if (format == "png")
        quiet.emplace();
    QImageReader reader(&buffer, format);
    reader.setAutoDetectImageFormat(false);
    // SVG has a reader of its own, which follows no reference out of the file.
    if (format.startsWith("svg"))
        return result;
    const QSize size = reader.size();
    if (size.isValid()) {
        const qint64 pixels = qint64(size.width()) * size.height();
        if (!fitsLimits(size) || !fitsLimits(scaledSize(size, r)) ||
            !plausibleSize(pixels, bytes.size()))
            return result;
        // The toolkit's guard counts four bytes a pixel, whatever the format.
        QImageReader::setAllocationLimit(int(qMax<qint64>(128, pixels * 4 / (1024 * 1024) + 1)));
    }
    QImage image = reader.read();
    bytes.clear();
    // A reader that ran out of memory only says that it failed: so does the picture fit?
    if (image.isNull()) {
        if (size.isValid() && QImage(size, QImage::Format_ARGB32).isNull())
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
