// The limits pictorn-svg runs under, and the check of the pictures a document holds.

#include <gdk-pixbuf/gdk-pixbuf.h>

#include "Common.h"
#include "Guard.h"

#include <dlfcn.h>
#include <sys/mman.h>
#include <sys/prctl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <csignal>
#include <cstring>

namespace
{

void limit(int resource, rlim_t most)
{
    rlimit now{};
    ::getrlimit(resource, &now);
    // A limit the caller set lower stays.
    now.rlim_cur = std::min(now.rlim_cur, most);
    now.rlim_max = std::min(now.rlim_max, most);
    ::setrlimit(resource, &now);
}

bool saysNoMemory(const char *text, size_t size)
{
    // What Rust's allocator and GLib's write before they abort.
    for (const char *words : {"memory allocation of", "failed to allocate"})
        if (::memmem(text, size, words, std::strlen(words)))
            return true;
    return false;
}

// On abort: the end of what the libraries wrote tells memory running out from any other fault.
void aborted(int)
{
    struct stat info;
    char text[4096];
    if (::fstat(STDERR_FILENO, &info) != 0)
        return;
    const off_t from = std::max<off_t>(0, info.st_size - off_t(sizeof text));
    const ssize_t got = ::pread(STDERR_FILENO, text, sizeof text, from);
    if (got > 0 && saysNoMemory(text, size_t(got)))
        ::_exit(outOfMemory);
    // Returning lets abort end the process by the signal, as a fault.
}

const char bytesKey[] = "pictorn-bytes";

// A picture inside the document obeys the limits of a picture file: no more than the largest
// size, and no more pixels than its bytes can hold. One that breaks them refuses the document.
void checkSize(GdkPixbufLoader *loader, int w, int h, gpointer)
{
    GdkPixbufFormat *format = gdk_pixbuf_loader_get_format(loader);
    gchar *name = format ? gdk_pixbuf_format_get_name(format) : nullptr;
    const long long perByte = !name                        ? PixelsPerByte::png
                              : !std::strcmp(name, "jpeg") ? PixelsPerByte::jpeg
                              : !std::strcmp(name, "gif")  ? PixelsPerByte::gif
                                                           : PixelsPerByte::png;
    g_free(name);
    const auto bytes = (long long)GPOINTER_TO_SIZE(g_object_get_data(G_OBJECT(loader), bytesKey));
    if (w > maxSide || h > maxSide || !plausibleSize((long long)w * h, bytes, perByte))
        ::_exit(1);
}

} // namespace

// librsvg decodes a data: URI's picture through this function, which it finds here before
// gdk-pixbuf's own: it counts the bytes and watches for the size the header gives.
extern "C" gboolean gdk_pixbuf_loader_write(GdkPixbufLoader *loader, const guchar *buf, gsize count,
                                            GError **error)
{
    using Write = gboolean (*)(GdkPixbufLoader *, const guchar *, gsize, GError **);
    static const auto write =
        reinterpret_cast<Write>(::dlsym(RTLD_NEXT, "gdk_pixbuf_loader_write"));
    const gsize before = GPOINTER_TO_SIZE(g_object_get_data(G_OBJECT(loader), bytesKey));
    if (before == 0)
        g_signal_connect(loader, "size-prepared", G_CALLBACK(checkSize), nullptr);
    g_object_set_data(G_OBJECT(loader), bytesKey, GSIZE_TO_POINTER(before + count));
    return write(loader, buf, count, error);
}

void guard(long seconds, long mebibytes)
{
    limit(RLIMIT_CORE, 0);
    limit(RLIMIT_CPU, rlim_t(seconds));
    limit(RLIMIT_AS, rlim_t(mebibytes) << 20);
    ::alarm(unsigned(seconds));
    // The drawing ends with the thread that started it, which waits for it. Were that thread
    // already gone, the pipe it reads would be closed, and the first row written ends this.
    ::prctl(PR_SET_PDEATHSIG, SIGKILL);
    const int errors = ::memfd_create("errors", MFD_CLOEXEC);
    if (errors >= 0 && ::dup2(errors, STDERR_FILENO) >= 0)
        std::signal(SIGABRT, aborted);
}
