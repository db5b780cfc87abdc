// Start-up: which of the toolkit's platforms the run uses.

#include "Display.h"

#include <QByteArray>
#include <QList>
#include <QtGlobal>

#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace
{

// Whether the local X server named by DISPLAY answers a connection within two seconds. A server
// that accepts connections and never answers (stopped, or hung) would keep the toolkit waiting
// for ever. Displays on other hosts are left to the toolkit.
bool displayAnswers(const QByteArray &display)
{
    const qsizetype colon = display.lastIndexOf(':');
    if (colon < 0 || (colon > 0 && display.left(colon) != "unix"))
        return true;
    const QByteArray number = display.mid(colon + 1).split('.').value(0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    const QByteArray path = "/tmp/.X11-unix/X" + number;
    if (number.isEmpty() || size_t(path.size()) >= sizeof address.sun_path)
        return true;
    std::memcpy(address.sun_path, path.constData(), size_t(path.size()));
    const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    if (fd < 0)
        return true;
    bool answers = true;
    const auto wait = [fd](short events) {
        pollfd poll{fd, events, 0};
        return ::poll(&poll, 1, 2000) == 1;
    };
    const int connected = ::connect(fd, reinterpret_cast<sockaddr *>(&address), sizeof address);
    if (connected == 0 || errno == EINPROGRESS || errno == EAGAIN) {
        // The opening of the X protocol: byte order, version 11.0, no authorisation. Any answer,
        // even a refusal, shows that the server is alive.
        const char setup[12] = {'l', 0, 11, 0, 0, 0, 0, 0, 0, 0, 0, 0};
        answers = (connected == 0 || wait(POLLOUT)) &&
                  ::send(fd, setup, sizeof setup, MSG_NOSIGNAL) == sizeof setup && wait(POLLIN);
    }
    ::close(fd);
    return answers;
}

} // namespace

// Without a reachable X display the command line still converts, on the toolkit's minimal
// platform: unlike the offscreen one it loads no font configuration, which a run that draws
// nothing does not need and which would double its start-up time. A platform the user chose is
// left alone. Returns whether the user chose one.
bool choosePlatform(int argc, char **argv)
{
    QByteArray display = qgetenv("DISPLAY");
    bool chosen = !qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM");
    for (int i = 1; i < argc; ++i) {
        const char *arg = argv[i][0] == '-' && argv[i][1] == '-' ? argv[i] + 1 : argv[i];
        if (std::strcmp(arg, "-platform") == 0)
            chosen = true;
        if (std::strcmp(arg, "-display") == 0 && i + 1 < argc)
            display = argv[i + 1];
    }
    if (chosen)
        return true;
    const bool reachable = !display.isEmpty() && displayAnswers(display);
    qputenv("QT_QPA_PLATFORM", reachable ? "xcb;minimal" : "minimal");
    return false;
}
