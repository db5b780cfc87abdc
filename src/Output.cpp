#include "Output.h"

#include <QRegularExpression>

#include <fcntl.h>
#include <limits.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>

namespace
{

// The temporary file of this run, removed if a signal ends the run before it is renamed.
char pendingPath[PATH_MAX + 1];
volatile sig_atomic_t pending = 0;

void removePending(int signal)
{
    if (pending)
        ::unlink(pendingPath);
    ::signal(signal, SIG_DFL);
    ::raise(signal);
}

void watchSignals()
{
    static bool installed = false;
    if (installed)
        return;
    installed = true;
    // Only signals that would end the run as they stand: an ignored or handled one is left be.
    for (int signal : {SIGHUP, SIGINT, SIGQUIT, SIGTERM}) {
        struct sigaction old;
        if (::sigaction(signal, nullptr, &old) == 0 && !(old.sa_flags & SA_SIGINFO) &&
            old.sa_handler == SIG_DFL)
            ::signal(signal, removePending);
    }
    // A file-size limit makes the write fail, and the failure is reported, instead of killing.
    ::signal(SIGXFSZ, SIG_IGN);
}

bool sameFile(const struct stat &a, const QString &b)
{
    struct stat sb;
    return ::stat(QFile::encodeName(b).constData(), &sb) == 0 && a.st_dev == sb.st_dev &&
           a.st_ino == sb.st_ino;
}

// The descriptor that "-", /dev/stdout, /dev/stderr, /dev/fd/N or /proc/self/fd/N stands for,
// or -1. Opening those names anew would truncate what the shell redirected to.
int inheritedDescriptor(const QString &name)
{
    if (name == u"-" || name == u"/dev/stdout")
        return STDOUT_FILENO;
    if (name == u"/dev/stderr")
        return STDERR_FILENO;
    static const QRegularExpression pattern(QStringLiteral("^/(dev|proc/self)/fd/([0-9]{1,9})$"));
    const QRegularExpressionMatch match = pattern.match(name);
    return match.hasMatch() ? match.captured(2).toInt() : -1;
}

// Follows a chain of links to the file it ends in, existing or not, as the shell's ">" does.
QByteArray finalTarget(QByteArray path)
{
    for (int hop = 0; hop < 40; ++hop) {
        char link[PATH_MAX + 1];
        const ssize_t size = ::readlink(path.constData(), link, PATH_MAX);
        if (size < 0)
            break;
        const QByteArray next(link, size);
        const qsizetype slash = path.lastIndexOf('/');
        path = next.startsWith('/') || slash < 0 ? next : path.left(slash + 1) + next;
    }
    return path;
}

// Puts the complete temporary file in the target's place, so that readers only ever see a whole
// file, old or new. An existing target is swapped with it and then removed: renaming over it
// would make some file systems write the new file to disk at once, which makes a large output
// many times slower than a copy of it. There is no sync to disk for the same reason.
bool replaceWith(const QByteArray &temporary, const QByteArray &target)
{
    if (::renameat2(AT_FDCWD, temporary.constData(), AT_FDCWD, target.constData(),
                    RENAME_EXCHANGE) == 0)
        return ::unlink(temporary.constData()) == 0 || errno == ENOENT;
    return ::rename(temporary.constData(), target.constData()) == 0;
}

} // namespace

Output::~Output()
{
    if (!temporary.isEmpty()) {
        file.close();
        ::unlink(temporary.constData());
        pending = 0;
    }
}

bool Output::open(const QString &name, const QString &input)
{
    struct stat info;
    if (name.isEmpty())
        return false;
    const int fd = inheritedDescriptor(name);
    if (fd >= 0) {
        const int flags = ::fcntl(fd, F_GETFL);
        if (flags < 0 || (flags & O_ACCMODE) == O_RDONLY || ::fstat(fd, &info) != 0 ||
            sameFile(info, input))
            return false;
        return file.open(fd, QIODevice::WriteOnly, QFileDevice::DontCloseHandle);
    }
    const QByteArray path = QFile::encodeName(name);
    const bool exists = ::stat(path.constData(), &info) == 0;
    if (exists && sameFile(info, input))
        return false;
    // Devices and pipes are written as they are; replacing them would break them.
    if (exists && !S_ISREG(info.st_mode)) {
        const int device = ::open(path.constData(), O_WRONLY | O_NOCTTY | O_CLOEXEC);
        return device >= 0 && file.open(device, QIODevice::WriteOnly, QFileDevice::AutoCloseHandle);
    }

    watchSignals();
    target = finalTarget(path);
    const qsizetype slash = target.lastIndexOf('/');
    // The temporary name is short, so that any name valid for the file system can be replaced.
    QByteArray pattern = (slash < 0 ? QByteArray() : target.left(slash + 1)) + ".pictorn.XXXXXX";
    if (pattern.size() > PATH_MAX)
        return false;
    std::memcpy(pendingPath, pattern.constData(), size_t(pattern.size()) + 1);
    // No signal may come between the file's creation and its being marked for removal.
    sigset_t all, old;
    sigfillset(&all);
    ::sigprocmask(SIG_BLOCK, &all, &old);
    const int temp = ::mkostemp(pendingPath, O_CLOEXEC);
    pending = temp >= 0;
    ::sigprocmask(SIG_SETMASK, &old, nullptr);
    if (temp < 0)
        return false;
    temporary = pendingPath;
    // A new file's permissions follow the umask; a replaced file keeps its own.
    mode_t mode;
    if (::stat(target.constData(), &info) == 0) {
        mode = info.st_mode & 07777;
    } else {
        mode = ::umask(0);
        ::umask(mode);
        mode = 0666 & ~mode;
    }
    return ::fchmod(temp, mode) == 0 &&
           file.open(temp, QIODevice::WriteOnly, QFileDevice::AutoCloseHandle);
}

bool Output::commit()
{
    // Closing flushes what is left; a failure to write it is the file's error.
    file.close();
    if (file.error() != QFileDevice::NoError)
        return false;
    if (temporary.isEmpty())
        return true;
    if (!replaceWith(temporary, target))
        return false;
    temporary.clear();
    pending = 0;
    return true;
}
