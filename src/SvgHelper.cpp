// Running pictorn-svg: spawned, fed, read within its time and judged by how it ended. Drawing
// SVG is left to a process of its own because librsvg brings down the process that draws some
// documents (text of an enormous size, for one) and writes on standard error, which carries
// pictorn's own messages; and so that pictorn itself need not load it.

#include "SvgHelper.h"
#include "Cancel.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/mman.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <climits>
#include <string>
#include <vector>

extern char **environ;

namespace
{

using Clock = std::chrono::steady_clock;

// The helper's limits: processor and wall time, and address space.
const char seconds[] = "60";
const char mebibytes[] = "1024";
// pictorn's own wait for it, a little longer than the helper's alarm, in case that never rang.
const auto wait = std::chrono::seconds(65);

// Installed, the helper lives in lib/pictorn beside the bin directory; in the build tree, beside
// pictorn.
const std::string &helperPath()
{
    static const std::string path = [] {
        char self[PATH_MAX];
        const ssize_t size = ::readlink("/proc/self/exe", self, sizeof self);
        std::string dir(self, size_t(qBound<ssize_t>(0, size, sizeof self)));
        dir.erase(dir.find_last_of('/') + 1);
        const std::string installed = dir + "../lib/pictorn/pictorn-svg";
        return ::access(installed.c_str(), X_OK) == 0 ? installed : dir + "pictorn-svg";
    }();
    return path;
}

// A descriptor of anonymous memory holding TEXT, read from its start.
int textFd(const QByteArray &text)
{
    const int fd = ::memfd_create("svg", MFD_CLOEXEC);
    qsizetype done = 0;
    while (fd >= 0 && done < text.size()) {
        const ssize_t wrote = ::write(fd, text.constData() + done, size_t(text.size() - done));
        if (wrote < 0 && errno == EINTR)
            continue;
        if (wrote <= 0) {
            ::close(fd);
            return -1;
        }
        done += wrote;
    }
    if (fd >= 0)
        ::lseek(fd, 0, SEEK_SET);
    return fd;
}

// Starts the helper reading INPUT and writing OUTPUT, with every signal at its default (pictorn's
// caller may have ignored some) and none blocked; its standard error goes nowhere.
pid_t spawn(int input, int output, const QByteArrayList &arguments)
{
    std::vector<char *> argv{const_cast<char *>(helperPath().c_str()), const_cast<char *>(seconds),
                             const_cast<char *>(mebibytes)};
    for (const QByteArray &argument : arguments)
        argv.push_back(const_cast<char *>(argument.constData()));
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, input, STDIN_FILENO);
    posix_spawn_file_actions_adddup2(&actions, output, STDOUT_FILENO);
    posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, "/dev/null", O_WRONLY, 0);
    posix_spawnattr_t attributes;
    posix_spawnattr_init(&attributes);
    sigset_t all, none;
    sigfillset(&all);
    sigemptyset(&none);
    posix_spawnattr_setsigdefault(&attributes, &all);
    posix_spawnattr_setsigmask(&attributes, &none);
    posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSIGDEF | POSIX_SPAWN_SETSIGMASK);
    pid_t child = -1;
    if (::posix_spawn(&child, argv[0], &actions, &attributes, argv.data(), environ) != 0)
        child = -1;
    posix_spawnattr_destroy(&attributes);
    posix_spawn_file_actions_destroy(&actions);
    return child;
}

// Reads what comes from FD into TAKE until it ends; false when it was cut short: TAKE refused
// it, the wait ran out, or the job was cancelled.
bool readAll(int fd, const std::function<bool(const char *, qsizetype)> &take)
{
    const Cancel *cancel = Cancel::current();
    const auto deadline = Clock::now() + wait;
    std::vector<char> buffer(1 << 16);
    for (;;) {
        const auto left =
            std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
        if (left.count() <= 0 || (cancel && cancel->cancelled()))
            return false;
        pollfd fds[2] = {{fd, POLLIN, 0}, {cancel ? cancel->fd() : -1, POLLIN, 0}};
        if (::poll(fds, 2, int(left.count())) <= 0 || !(fds[0].revents & (POLLIN | POLLHUP)))
            continue;
        const ssize_t got = ::read(fd, buffer.data(), buffer.size());
        if (got < 0 && errno == EINTR)
            continue;
        if (got <= 0)
            return got == 0;
        if (!take(buffer.data(), got))
            return false;
    }
}

} // namespace

ReadStatus runHelper(const QByteArray &text, const QByteArrayList &arguments,
                     const std::function<bool(const char *, qsizetype)> &take)
{
    int out[2];
    const int input = textFd(text);
    if (input < 0 || ::pipe2(out, O_CLOEXEC) != 0) {
        if (input >= 0)
            ::close(input);
        return ReadStatus::NotAPicture;
    }
    const pid_t child = spawn(input, out[1], arguments);
    ::close(input);
    ::close(out[1]);
    const bool whole = child > 0 && readAll(out[0], take);
    ::close(out[0]);
    if (child <= 0)
        return ReadStatus::NotAPicture;
    // Its output not ended, it is still running or not yet reaped: its number is its own.
    if (!whole)
        ::kill(child, SIGKILL);
    int status = 0;
    pid_t reaped;
    while ((reaped = ::waitpid(child, &status, 0)) < 0 && errno == EINTR) {
    }
    // A status lost (with SIGCHLD ignored the system reaps children itself: main sees to it that
    // it is not) proves nothing.
    if (!whole || reaped != child)
        return ReadStatus::NotAPicture;
    if (WIFEXITED(status) && WEXITSTATUS(status) == 2)
        return ReadStatus::NoMemory;
    return WIFEXITED(status) && WEXITSTATUS(status) == 0 ? ReadStatus::Loaded
                                                         : ReadStatus::NotAPicture;
}
