// pictorn-svg: draws one SVG document for pictorn in a process of its own, so that a document
// that brings librsvg down, runs too long or wants too much memory ends this process, never
// pictorn. The document comes on standard input, and what is drawn goes to standard output:
//
//   pictorn-svg SECONDS MEBIBYTES            "W H\n", the document's own size in pixels
//   pictorn-svg SECONDS MEBIBYTES W H SHAPE  W x H bytes of luminance on white (with SHAPE 1,
//                                            of opacity), a row at a time, then "ok\n"
//
// Each is written only once the document has drawn. The exit status is 0 when it has, 2 when
// memory ran out, and anything else when it did not draw. The process opens no file for the
// document: with no base file, librsvg follows no reference but a data: URI.

#include <cairo.h>
#include <librsvg/rsvg.h>

#include "Common.h"
#include "Guard.h"

#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

namespace
{

// CSS pixels, as a browser counts them: 96 to the inch.
const double dpi = 96;
// The pixels in one band: 16 MiB of surface.
const long long bandPixels = 1 << 22;
// The largest document pictorn hands over.
const size_t maxText = 64 << 20;

struct Unref {
    void operator()(gpointer object) const { g_object_unref(object); }
};
using Handle = std::unique_ptr<RsvgHandle, Unref>;

struct SurfaceDestroy {
    void operator()(cairo_surface_t *surface) const { cairo_surface_destroy(surface); }
};
using Surface = std::unique_ptr<cairo_surface_t, SurfaceDestroy>;

// Why a drawing stopped: it did not draw, or memory ran out.
struct Failed {
    int status;
};

bool writeAll(const void *data, size_t size)
{
    const char *at = static_cast<const char *>(data);
    while (size > 0) {
        const ssize_t done = ::write(STDOUT_FILENO, at, size);
        if (done < 0 && errno == EINTR)
            continue;
        if (done <= 0)
            return false;
        at += done;
        size -= size_t(done);
    }
    return true;
}

std::string readInput()
{
    std::string text;
    char chunk[65536];
    for (;;) {
        const ssize_t got = ::read(STDIN_FILENO, chunk, sizeof chunk);
        if (got < 0 && errno == EINTR)
            continue;
        if (got <= 0 || text.size() + size_t(got) > maxText)
            return got == 0 ? text : std::string();
        text.append(chunk, size_t(got));
    }
}

Handle open(const std::string &text)
{
    GInputStream *stream =
        g_memory_input_stream_new_from_data(text.data(), gssize(text.size()), nullptr);
    GError *error = nullptr;
    Handle handle(
        rsvg_handle_new_from_stream_sync(stream, nullptr, RSVG_HANDLE_FLAGS_NONE, nullptr, &error));
    g_clear_error(&error);
    g_object_unref(stream);
    if (handle)
        rsvg_handle_set_dpi(handle.get(), dpi);
    return handle;
}

// The size the document gives itself: its width and height, or else its view box's; false when
// it has none pictorn takes.
bool ownSize(RsvgHandle *handle, double &w, double &h)
{
    if (!rsvg_handle_get_intrinsic_size_in_pixels(handle, &w, &h)) {
        gboolean hasViewBox = false;
        RsvgRectangle viewBox{};
        rsvg_handle_get_intrinsic_dimensions(handle, nullptr, nullptr, nullptr, nullptr,
                                             &hasViewBox, &viewBox);
        if (!hasViewBox)
            return false;
        w = viewBox.width;
        h = viewBox.height;
    }
    // Checked before rounding, which a side past any int (or not a number) could not survive.
    const double most = maxSide + 0.5;
    return w >= 0.5 && w < most && h >= 0.5 && h < most;
}

// Draws the document, filling a viewport of W x H, onto SURFACE from row TOP down; what an
// earlier band left there is cleared first.
void draw(RsvgHandle *handle, cairo_surface_t *surface, int w, int h, int top)
{
    cairo_t *cr = cairo_create(surface);
    cairo_set_operator(cr, CAIRO_OPERATOR_CLEAR);
    cairo_paint(cr);
    cairo_set_operator(cr, CAIRO_OPERATOR_OVER);
    const RsvgRectangle viewport{0, -double(top), double(w), double(h)};
    GError *error = nullptr;
    const bool drawn = rsvg_handle_render_document(handle, cr, &viewport, &error);
    const bool memory =
        error && (g_strrstr(error->message, "memory") || g_strrstr(error->message, "NoMemory"));
    g_clear_error(&error);
    cairo_destroy(cr);
    cairo_surface_flush(surface);
    if (!drawn || cairo_surface_status(surface) != CAIRO_STATUS_SUCCESS)
        throw Failed{memory ? outOfMemory : 1};
}

Surface surface(int w, int h)
{
    Surface made(cairo_image_surface_create(CAIRO_FORMAT_ARGB32, w, h));
    if (cairo_surface_status(made.get()) != CAIRO_STATUS_SUCCESS)
        throw Failed{outOfMemory};
    return made;
}

// Cairo's pixel, premultiplied, as the toolkit's qUnpremultiply gives it back, to the bit: it
// divides by the opacity with a factor rounded up, and rounds the result.
unsigned int unpremultiply(unsigned int pixel)
{
    const unsigned int a = pixel >> 24;
    if (a == 0 || a == 255)
        return a == 0 ? 0 : pixel;
    const unsigned int factor = (255 * 65536 + a - 1) / a;
    const auto channel = [pixel, factor](int shift) {
        return ((pixel >> shift & 255) * factor + 0x8000) >> 16 << shift;
    };
    return a << 24 | channel(16) | channel(8) | channel(0);
}

// Draws the document at W x H a band at a time and writes each band's luminance as it comes.
void drawBands(RsvgHandle *handle, int w, int h, bool shape)
{
    const int bandRows = int(std::clamp<long long>(bandPixels / w, 1, h));
    const Surface band = surface(w, bandRows);
    const unsigned char *pixels = cairo_image_surface_get_data(band.get());
    const int stride = cairo_image_surface_get_stride(band.get());
    std::vector<unsigned char> grey(static_cast<size_t>(w));
    for (int top = 0; top < h; top += bandRows) {
        draw(handle, band.get(), w, h, top);
        for (int y = 0; y < bandRows && top + y < h; ++y) {
            // Cairo's pixels are the toolkit's ARGB32 words, premultiplied.
            const auto *in = reinterpret_cast<const unsigned int *>(pixels + size_t(y) * stride);
            for (int x = 0; x < w; ++x)
                grey[size_t(x)] =
                    static_cast<unsigned char>(luminance(unpremultiply(in[x]), shape));
            if (!writeAll(grey.data(), grey.size()))
                throw Failed{1};
        }
    }
}

long number(const char *text, long least, long most)
{
    char *end = nullptr;
    errno = 0;
    const long value = std::strtol(text, &end, 10);
    if (errno || end == text || *end || value < least || value > most)
        throw Failed{1};
    return value;
}

int run(int argc, char **argv)
{
    if (argc != 3 && argc != 6)
        throw Failed{1};
    guard(number(argv[1], 1, 3600), number(argv[2], 64, 1 << 20));
    const Handle handle = open(readInput());
    double w = 0, h = 0;
    if (!handle || !ownSize(handle.get(), w, h))
        throw Failed{1};
    if (argc == 6) {
        drawBands(handle.get(), int(number(argv[3], 1, maxSide)), int(number(argv[4], 1, maxSide)),
                  number(argv[5], 0, 1));
        return writeAll("ok\n", 3) ? 0 : 1;
    }
    // A document that fails to draw fails at any size: one pixel of it is drawn to find out.
    draw(handle.get(), surface(1, 1).get(), int(w + 0.5), int(h + 0.5), 0);
    char line[64];
    const int length = std::snprintf(line, sizeof line, "%.17g %.17g\n", w, h);
    return writeAll(line, size_t(length)) ? 0 : 1;
}

} // namespace

int main(int argc, char **argv)
{
    try {
        return run(argc, argv);
    } catch (const Failed &failed) {
        return failed.status;
    } catch (const std::bad_alloc &) {
        return outOfMemory;
    }
}
