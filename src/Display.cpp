// Start-up: which of the toolkit's platforms the run uses.

#include "Display.h"

#include <QByteArray>
#include <QGuiApplication>
#include <QtGlobal>

#include <xcb/xcb.h>

#include <netdb.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/time.h>
#include <sys/un.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstddef>
#include <cstring>

namespace
{

using Clock = std::chrono::steady_clock;

// However the display is reached, the window's start waits no longer than this for it.
const std::chrono::milliseconds probeTime(2000);

bool waitFor(int fd, short events, Clock::time_point deadline)
{
    const auto left =
        std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
    pollfd poll{fd, events, 0};
    return left.count() > 0 && ::poll(&poll, 1, int(left.count())) == 1;
}

enum class Knock { NoServer, Silent, Answers };

// Connects to ADDRESS and sends the opening of the X protocol: byte order, version 11.0, no
// authorisation. Any answer, even a refusal, shows that the server is alive; a server that
// accepts connections and never answers (stopped, or hung) would keep the toolkit waiting for ever.
Knock knock(const sockaddr *address, socklen_t size, Clock::time_point deadline)
{
    const int fd = ::socket(address->sa_family, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    if (fd < 0)
        return Knock::NoServer;
    Knock result = Knock::NoServer;
    int error = 0;
    socklen_t length = sizeof error;
    if (::connect(fd, address, size) == 0 ||
        (errno == EINPROGRESS && waitFor(fd, POLLOUT, deadline) &&
         ::getsockopt(fd, SOL_SOCKET, SO_ERROR, &error, &length) == 0 && error == 0)) {
        const char setup[12] = {'l', 0, 11, 0, 0, 0, 0, 0, 0, 0, 0, 0};
        result = ::send(fd, setup, sizeof setup, MSG_NOSIGNAL) == sizeof setup &&
                         waitFor(fd, POLLIN, deadline)
                     ? Knock::Answers
                     : Knock::Silent;
    } else if (errno == EAGAIN) {
        // A local server whose queue of connections is full takes no more: it is not answering.
        result = Knock::Silent;
    }
    ::close(fd);
    return result;
}

// The local server's socket, first in the abstract namespace, then as a file, as the X library
// tries them.
Knock knockLocal(const QByteArray &number, Clock::time_point deadline)
{
    const QByteArray path = "/tmp/.X11-unix/X" + number;
    for (int abstract = 1; abstract >= 0; --abstract) {
        // An abstract name starts with a zero byte; a file's name ends with one.
        sockaddr_un address{};
        address.sun_family = AF_UNIX;
        std::memcpy(address.sun_path + abstract, path.constData(), size_t(path.size()));
        const socklen_t size = socklen_t(offsetof(sockaddr_un, sun_path) + path.size() + 1);
        const Knock result = knock(reinterpret_cast<sockaddr *>(&address), size, deadline);
        if (result != Knock::NoServer)
            return result;
    }
    return Knock::NoServer;
}

// A server over TCP. The name is resolved in the background, so that a resolver that does not
// answer costs no more than the rest of the wait; the request outlives a wait cut short, hence
// its static storage.
Knock knockTcp(const QByteArray &host, int family, int port, Clock::time_point deadline)
{
    static QByteArray name, service;
    static addrinfo hints;
    static gaicb request;
    static gaicb *requests[] = {&request};
    name = host;
    service = QByteArray::number(port);
    hints = addrinfo{};
    hints.ai_family = family;
    hints.ai_socktype = SOCK_STREAM;
    request = gaicb{};
    request.ar_name = name.constData();
    request.ar_service = service.constData();
    request.ar_request = &hints;
    if (::getaddrinfo_a(GAI_NOWAIT, requests, 1, nullptr) != 0)
        return Knock::NoServer;
    while (::gai_error(&request) == EAI_INPROGRESS) {
        const auto left = deadline - Clock::now();
        if (left <= Clock::duration::zero()) {
            ::gai_cancel(&request);
            return Knock::NoServer;
        }
        const auto nanoseconds = std::chrono::duration_cast<std::chrono::nanoseconds>(left).count();
        const timespec wait{time_t(nanoseconds / 1000000000), long(nanoseconds % 1000000000)};
        ::gai_suspend(requests, 1, &wait);
    }
    if (::gai_error(&request) != 0)
        return Knock::NoServer;
    Knock result = Knock::NoServer;
    for (const addrinfo *a = request.ar_result; a && result == Knock::NoServer; a = a->ai_next)
        result = knock(a->ai_addr, a->ai_addrlen, deadline);
    ::freeaddrinfo(request.ar_result);
    return result;
}

// Whether the X server that DISPLAY names ([PROTOCOL/][HOST]:NUMBER[.SCREEN]) answers within the
// probe's time, reached as the X library reaches it: no host (or "unix") is the local socket, and
// without a protocol also TCP on this machine; a host is TCP on port 6000 + NUMBER.
bool displayAnswers(const QByteArray &display)
{
    const auto deadline = Clock::now() + probeTime;
    const qsizetype colon = display.lastIndexOf(':');
    if (colon < 0)
        return false;
    const qsizetype slash = display.left(colon).indexOf('/');
    QByteArray protocol = slash < 0 ? QByteArray() : display.left(slash);
    QByteArray host = display.mid(slash + 1, colon - slash - 1);
    if (host.startsWith('[') && host.endsWith(']'))
        host = host.mid(1, host.size() - 2);
    const QByteArray number = display.mid(colon + 1).split('.').value(0);
    bool isNumber = false;
    const int n = number.toInt(&isNumber);
    if (!isNumber || n < 0 || n > 65535 - 6000 || host.endsWith(':'))
        return false;
    if (host == "unix" && protocol.isEmpty()) {
        protocol = host;
        host.clear();
    }
    if (host.isEmpty() && (protocol.isEmpty() || protocol == "unix")) {
        const Knock local = knockLocal(number, deadline);
        if (local != Knock::NoServer || protocol == "unix")
            return local == Knock::Answers;
    }
    const int family = protocol == "inet" ? AF_INET : protocol == "inet6" ? AF_INET6 : AF_UNSPEC;
    if (!protocol.isEmpty() && protocol != "tcp" && family == AF_UNSPEC)
        return false;
    return knockTcp(host.isEmpty() ? "localhost" : host, family, 6000 + n, deadline) ==
           Knock::Answers;
}

// Once the display has answered the probe, the window's start ends within this: a server may
// answer the probe and then stop, which would keep the toolkit's connection waiting for ever.
const std::chrono::milliseconds startUpTime(3000);

std::atomic<xcb_connection_t *> xConnection{nullptr};

void startUpTooLong(int)
{
    static const char line[] = "pictorn: the X display stopped answering\n";
    [[maybe_unused]] const ssize_t written = ::write(STDERR_FILENO, line, sizeof line - 1);
    ::_exit(1);
}

// Arms or disarms the bound of the window's start.
void boundStartUp(bool on)
{
    const auto micro = std::chrono::duration_cast<std::chrono::microseconds>(startUpTime).count();
    const itimerval timer{{0, 0}, {on ? time_t(micro / 1000000) : 0, on ? micro % 1000000 : 0}};
    if (on)
        ::signal(SIGALRM, startUpTooLong);
    ::setitimer(ITIMER_REAL, &timer, nullptr);
    if (!on)
        ::signal(SIGALRM, SIG_DFL);
}

} // namespace

// The command line never touches X: it converts on the toolkit's minimal platform whatever
// DISPLAY says, so that a missing, slow or hung server costs it nothing. Unlike the offscreen
// platform the minimal one loads no font configuration, which a run that draws nothing does not
// need. The window needs the display, and probes it with a bounded wait first. A platform the
// user chose is left alone.
bool choosePlatform(const Options &options)
{
    const bool window = !options.arguments || options.window;
    const bool chosen = options.platformChosen || !qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM");
    const QByteArray display = options.display.isNull() ? qgetenv("DISPLAY") : options.display;
    const bool reachable = !chosen && window && !display.isEmpty() && displayAnswers(display);
    if (!chosen)
        qputenv("QT_QPA_PLATFORM", reachable ? "xcb;minimal" : "minimal");
    // Without a display the minimal platform starts, which cannot keep the run waiting.
    if (window && (chosen || reachable))
        boundStartUp(true);
    return chosen;
}

void startedUp()
{
    boundStartUp(false);
    if (auto *x11 = qGuiApp->nativeInterface<QNativeInterface::QX11Application>())
        xConnection = x11->connection();
}

bool displayLost()
{
    xcb_connection_t *connection = xConnection;
    return connection && ::xcb_connection_has_error(connection) != 0;
}
