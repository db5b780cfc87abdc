// SVG documents, drawn by librsvg onto cairo surfaces a band of rows at a time, so that the
// memory a drawing takes is its 1-bit picture and one band, whatever its size. The drawing is
// done in a child process, which hands its 1-bit picture back in shared memory.

// GLib's headers name a member "signals", a word the toolkit's headers take: they come first.
#include <cairo.h>
#include <librsvg/rsvg.h>
#include <zlib.h>

#include "Reduce.h"
#include "Svg.h"

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <memory>
#include <string_view>
#include <vector>

namespace
{

// CSS pixels, as a browser counts them: 96 to the inch.
const double dpi = 96;
// The pixels in one band: 16 MiB of surface.
const qint64 bandPixels = 1 << 22;
// How much of a compressed document is inflated to see what it is.
const qsizetype sniffBytes = 16 << 10;

struct Unref {
    void operator()(gpointer object) const { g_object_unref(object); }
};
using Handle = std::unique_ptr<RsvgHandle, Unref>;

struct SurfaceDestroy {
    void operator()(cairo_surface_t *surface) const { cairo_surface_destroy(surface); }
};
using Surface = std::unique_ptr<cairo_surface_t, SurfaceDestroy>;

bool isGzip(const QByteArray &bytes)
{
    return bytes.startsWith("\x1f\x8b");
}

enum class Inflated { Whole, Longer, Broken };

// Inflates the gzip stream in BYTES into TEXT, never holding more than LIMIT bytes of it.
Inflated inflateGzip(const QByteArray &bytes, qsizetype limit, QByteArray &text)
{
    z_stream z{};
    if (inflateInit2(&z, 16 + MAX_WBITS) != Z_OK)
        return Inflated::Broken;
    z.next_in = reinterpret_cast<Bytef *>(const_cast<char *>(bytes.constData()));
    z.avail_in = uInt(bytes.size());
    // One byte past the limit tells a document of exactly LIMIT bytes from a longer one.
    text.resize(qMin(limit + 1, qMax<qsizetype>(4096, bytes.size() * 4)));
    qsizetype size = 0;
    Inflated result = Inflated::Longer;
    for (;;) {
        z.next_out = reinterpret_cast<Bytef *>(text.data() + size);
        z.avail_out = uInt(text.size() - size);
        const int status = inflate(&z, Z_NO_FLUSH);
        size = text.size() - z.avail_out;
        if (status != Z_OK) {
            result = status == Z_STREAM_END ? Inflated::Whole : Inflated::Broken;
            break;
        }
        if (size == limit + 1)
            break;
        if (size == text.size())
            text.resize(qMin(limit + 1, size * 2));
    }
    inflateEnd(&z);
    text.resize(qMin(size, limit));
    return result;
}

bool startsWith(std::string_view text, std::string_view start)
{
    return text.substr(0, start.size()) == start;
}

// Whether the first element of the XML in TEXT is svg, in any namespace prefix.
bool firstElementIsSvg(std::string_view text)
{
    if (startsWith(text, "\xef\xbb\xbf"))
        text.remove_prefix(3);
    const auto skipPast = [&text](std::string_view end) {
        const size_t at = text.find(end);
        text.remove_prefix(at == text.npos ? text.size() : at + end.size());
    };
    for (;;) {
        const size_t start = text.find_first_not_of(" \t\r\n");
        if (start == text.npos || text[start] != '<')
            return false;
        text.remove_prefix(start);
        if (startsWith(text, "<?")) {
            skipPast("?>");
        } else if (startsWith(text, "<!--")) {
            skipPast("-->");
        } else if (startsWith(text, "<!")) {
            // A document type may hold declarations in brackets, and those hold ">" themselves.
            size_t i = 2;
            int depth = 0;
            for (; i < text.size() && (text[i] != '>' || depth > 0); ++i)
                depth += text[i] == '[' ? 1 : text[i] == ']' ? -1 : 0;
            text.remove_prefix(qMin(i + 1, text.size()));
        } else {
            const size_t end = text.find_first_of(" \t\r\n/>");
            if (end == text.npos)
                return false;
            std::string_view name = text.substr(1, end - 1);
            const size_t colon = name.rfind(':');
            if (colon != name.npos)
                name.remove_prefix(colon + 1);
            return name == "svg";
        }
    }
}

// Runs JOB in a child process and tells whether it ended well. librsvg brings down the process
// that draws some documents (text of an enormous size, for one) and writes what it thinks of
// others on standard error, which carries pictorn's own messages: the child takes both. Only
// children draw, so that no thread of the library's drawing is ever lost to a fork.
template <typename Job> bool inChild(Job job)
{
    const pid_t child = ::fork();
    if (child == 0) {
        const int null = ::open("/dev/null", O_WRONLY | O_CLOEXEC);
        ::dup2(null, STDOUT_FILENO);
        ::dup2(null, STDERR_FILENO);
        ::_exit(job() ? 0 : 1);
    }
    int status = 0;
    while (child > 0 && ::waitpid(child, &status, 0) < 0 && errno == EINTR) {
    }
    return child > 0 && WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

// Opens TEXT with no base file: librsvg then follows no reference but a data: URI.
Handle open(const QByteArray &text)
{
    GInputStream *stream =
        g_memory_input_stream_new_from_data(text.constData(), text.size(), nullptr);
    GError *error = nullptr;
    Handle handle(
        rsvg_handle_new_from_stream_sync(stream, nullptr, RSVG_HANDLE_FLAGS_NONE, nullptr, &error));
    g_clear_error(&error);
    g_object_unref(stream);
    if (handle)
        rsvg_handle_set_dpi(handle.get(), dpi);
    return handle;
}

// The size the document gives itself: its width and height, or else its view box's.
QSize ownSize(RsvgHandle *handle)
{
    double w = 0, h = 0;
    if (!rsvg_handle_get_intrinsic_size_in_pixels(handle, &w, &h)) {
        gboolean hasViewBox = false;
        RsvgRectangle viewBox{};
        rsvg_handle_get_intrinsic_dimensions(handle, nullptr, nullptr, nullptr, nullptr,
                                             &hasViewBox, &viewBox);
        if (!hasViewBox)
            return QSize();
        w = viewBox.width;
        h = viewBox.height;
    }
    // Checked before rounding, which a side past any int (or not a number) could not survive.
    const double most = maxSide + 0.5;
    if (!(w >= 0.5 && w < most && h >= 0.5 && h < most))
        return QSize();
    return QSize(qRound(w), qRound(h));
}

// Draws the document, filling a viewport of SIZE, onto SURFACE from row TOP down.
bool draw(RsvgHandle *handle, cairo_surface_t *surface, QSize size, int top)
{
    cairo_t *cr = cairo_create(surface);
    cairo_set_operator(cr, CAIRO_OPERATOR_CLEAR);
    cairo_paint(cr);
    cairo_set_operator(cr, CAIRO_OPERATOR_OVER);
    const RsvgRectangle viewport{0, -double(top), double(size.width()), double(size.height())};
    const bool drawn = rsvg_handle_render_document(handle, cr, &viewport, nullptr);
    cairo_destroy(cr);
    cairo_surface_flush(surface);
    return drawn;
}

// Draws the document to fill IMAGE's size a band at a time, each band's luminance on white
// reduced by R into IMAGE as it comes.
bool drawBands(RsvgHandle *handle, QImage &image, const Reduction &r)
{
    const int w = image.width(), h = image.height();
    const int bandRows = int(qBound<qint64>(1, bandPixels / w, qint64(h)));
    const Surface band(cairo_image_surface_create(CAIRO_FORMAT_ARGB32, w, bandRows));
    if (cairo_surface_status(band.get()) != CAIRO_STATUS_SUCCESS)
        return false;
    const uchar *pixels = cairo_image_surface_get_data(band.get());
    const int stride = cairo_image_surface_get_stride(band.get());
    RowReducer reducer(image, r);
    std::vector<uchar> grey(size_t(w), 0);
    for (int top = 0; top < h; top += bandRows) {
        if (!draw(handle, band.get(), image.size(), top))
            return false;
        for (int y = 0; y < bandRows && top + y < h; ++y) {
            // Cairo's pixels are the toolkit's ARGB32 words, premultiplied.
            const auto *in = reinterpret_cast<const QRgb *>(pixels + qsizetype(y) * stride);
            for (int x = 0; x < w; ++x)
                grey[size_t(x)] = uchar(luminance(qUnpremultiply(in[x]), r.shape));
            reducer.addRow(grey.data());
        }
    }
    return true;
}

struct Mapping {
    void *data;
    size_t size;
};

void unmap(void *info)
{
    const auto *mapping = static_cast<Mapping *>(info);
    ::munmap(mapping->data, mapping->size);
    delete mapping;
}

// A 1-bit image like blankBitmap's, in memory that a child process writes for its parent.
QImage sharedBitmap(QSize size)
{
    const qsizetype bytesPerLine = (size.width() + 31) / 32 * 4;
    auto *mapping = new Mapping{nullptr, size_t(bytesPerLine) * size_t(size.height())};
    mapping->data =
        ::mmap(nullptr, mapping->size, PROT_READ | PROT_WRITE, MAP_SHARED | MAP_ANONYMOUS, -1, 0);
    if (mapping->data == MAP_FAILED) {
        delete mapping;
        return QImage();
    }
    QImage image(static_cast<uchar *>(mapping->data), size.width(), size.height(), bytesPerLine,
                 QImage::Format_Mono, unmap, mapping);
    image.setColorTable(blankBitmap(1, 1).colorTable());
    return image;
}

} // namespace

bool isSvg(const QByteArray &bytes)
{
    QByteArray start;
    if (isGzip(bytes))
        inflateGzip(bytes, sniffBytes, start);
    else
        start = bytes;
    return firstElementIsSvg(std::string_view(start.constData(), size_t(start.size())));
}

ReadStatus SvgPicture::read(const QByteArray &bytes)
{
    *this = SvgPicture();
    QByteArray svg;
    if (!isGzip(bytes))
        svg = bytes;
    else if (inflateGzip(bytes, maxText, svg) != Inflated::Whole)
        return ReadStatus::NotAPicture;
    if (svg.size() > maxText)
        return ReadStatus::NotAPicture;
    const Handle handle = open(svg);
    if (!handle)
        return ReadStatus::NotAPicture;
    const QSize size = ownSize(handle.get());
    // A document that fails to draw fails at any size: one pixel of it is drawn to find out.
    const bool draws =
        fitsLimits(size) && inChild([&handle, size] {
            const Surface pixel(cairo_image_surface_create(CAIRO_FORMAT_ARGB32, 1, 1));
            return draw(handle.get(), pixel.get(), size, 0);
        });
    if (!draws)
        return ReadStatus::NotAPicture;
    text = svg;
    own = size;
    return ReadStatus::Loaded;
}

QImage SvgPicture::reduce(QSize size, const Reduction &r) const
{
    if (text.isEmpty() || !fitsLimits(size))
        return QImage();
    const Handle handle = open(text);
    QImage image = sharedBitmap(size);
    if (!handle || image.isNull() ||
        !inChild([&handle, &image, &r] { return drawBands(handle.get(), image, r); }))
        return QImage();
    return image;
}
