#include "Output.h"

#include <QByteArrayList>
#include <QRandomGenerator>

#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstring>

namespace
{

// The named temporary file of this run, removed if a signal ends the run while it exists: its
// directory's descriptor (or -1 when there is none) and its name there.
volatile sig_atomic_t pendingDirectory = -1;
char pendingName[32];

void removePending(int signal)
{
    if (pendingDirectory >= 0)
        ::unlinkat(pendingDirectory, pendingName, 0);
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

// Holds back every signal that can be held while it lives, so that none comes between a name
// being made and its being marked for removal.
class SignalsHeld
{
public:
    SignalsHeld()
    {
        sigset_t all;
        sigfillset(&all);
        ::sigprocmask(SIG_BLOCK, &all, &old);
    }
    ~SignalsHeld() { ::sigprocmask(SIG_SETMASK, &old, nullptr); }

private:
    sigset_t old;
};

// A name for a temporary file, short so that any name valid for the file system can be replaced.
QByteArray temporaryName()
{
    static const char letters[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789";
    QByteArray name = ".pictorn.";
    for (int i = 0; i < 6; ++i)
        name += letters[QRandomGenerator::global()->bounded(int(sizeof letters - 1))];
    return name;
}

// Makes a file under a new temporary name in DIRECTORY with MAKE (which returns -1 and sets errno
// when it fails), marked for removal before any signal can come. Returns the name, or none.
template <typename Make> QByteArray makeTemporary(int directory, Make make)
{
    for (int attempt = 0; attempt < 100; ++attempt) {
        const QByteArray name = temporaryName();
        const SignalsHeld held;
        if (make(name.constData()) >= 0) {
            std::memcpy(pendingName, name.constData(), size_t(name.size()) + 1);
            pendingDirectory = directory;
            return name;
        }
        if (errno != EEXIST)
            break;
    }
    return QByteArray();
}

// The descriptor that a name of one of the run's own descriptors stands for, or -1: /dev/stdout,
// /dev/stderr, /dev/stdin, /dev/fd/N, /proc/self/fd/N, /proc/thread-self/fd/N and /proc/PID/fd/N,
// however many slashes and "." parts they are spelt with. Opening those names anew would truncate
// what the shell redirected to, and lose its position; following their links would too.
int descriptorOf(const QByteArray &name)
{
    // A name ending in "/" or "/." is a directory's, which no descriptor's name is.
    if (!name.startsWith('/') || name.endsWith('/') || name.endsWith("/."))
        return -1;
    QByteArrayList parts = name.split('/');
    parts.removeAll(QByteArray());
    parts.removeAll(".");
    const QByteArray path = '/' + parts.join('/');
    // Standard input, output and error are descriptors 0, 1 and 2.
    const qsizetype stream =
        QByteArrayList{"/dev/stdin", "/dev/stdout", "/dev/stderr"}.indexOf(path);
    if (stream >= 0)
        return int(stream);
    const qsizetype slash = path.lastIndexOf('/');
    const QByteArray folder = path.left(slash);
    if (folder != "/dev/fd" && folder != "/proc/self/fd" && folder != "/proc/thread-self/fd" &&
        folder != "/proc/" + QByteArray::number(::getpid()) + "/fd")
        return -1;
    // The kernel takes a descriptor's number in its plain decimal form only.
    const QByteArray number = path.mid(slash + 1);
    bool ok = false;
    const int fd = number.toInt(&ok);
    return ok && fd >= 0 && QByteArray::number(fd) == number ? fd : -1;
}

// Follows a chain of links, as the shell's ">" does, to the file it ends in, existing or not,
// stopping at a name of one of the run's descriptors, whose number goes to FD. A loop of links
// ends on a link, which the caller finds too deep to follow.
QByteArray finalTarget(QByteArray path, int &fd)
{
    for (int hop = 0; (fd = descriptorOf(path)) < 0 && hop < 40; ++hop) {
        char link[4096];
        const ssize_t size = ::readlink(path.constData(), link, sizeof link);
        if (size < 0 || size_t(size) == sizeof link)
            break;
        const QByteArray next(link, size);
        const qsizetype slash = path.lastIndexOf('/');
        path = next.startsWith('/') || slash < 0 ? next : path.left(slash + 1) + next;
    }
    return path;
}

// A replaced file keeps its owner and group where the user may keep them: root always may;
// others keep at least a group of theirs, and the file becomes theirs, as a copy would.
bool keepOwner(int fd, const struct stat &old)
{
    if (::fchown(fd, old.st_uid, old.st_gid) == 0)
        return true;
    return ::geteuid() != 0 && (::fchown(fd, uid_t(-1), old.st_gid) == 0 || errno == EPERM);
}

} // namespace

Output::~Output()
{
    file.close();
    if (!temporary.isEmpty()) {
        ::unlinkat(directory, temporary.constData(), 0);
        pendingDirectory = -1;
    }
    if (directory >= 0)
        ::close(directory);
}

bool Output::open(const QString &name, const QString &input)
{
    // The input as a file, however it arrived, so that no other name for it is written.
    struct stat in, info;
    const bool inputKnown = input == u"-" ? ::fstat(STDIN_FILENO, &in) == 0
                                          : ::stat(QFile::encodeName(input).constData(), &in) == 0;
    const auto isInput = [&](const struct stat &s) {
        return inputKnown && s.st_dev == in.st_dev && s.st_ino == in.st_ino;
    };
    if (name.isEmpty())
        return false;
    int fd = STDOUT_FILENO;
    const QByteArray target =
        name == u"-" ? QByteArray() : finalTarget(QFile::encodeName(name), fd);
    if (fd >= 0) {
        const int flags = ::fcntl(fd, F_GETFL);
        return flags >= 0 && (flags & O_ACCMODE) != O_RDONLY && ::fstat(fd, &info) == 0 &&
               !isInput(info) && file.open(fd, QIODevice::WriteOnly, QFileDevice::DontCloseHandle);
    }
    const bool exists = ::stat(target.constData(), &info) == 0;
    // Missing is the one failure that leaves a name to create: a loop of links is not.
    if ((!exists && errno != ENOENT) || (exists && isInput(info)))
        return false;
    // Devices and pipes are written as they are; replacing them would break them.
    if (exists && !S_ISREG(info.st_mode)) {
        const int device = ::open(target.constData(), O_WRONLY | O_NOCTTY | O_CLOEXEC);
        return device >= 0 && file.open(device, QIODevice::WriteOnly, QFileDevice::AutoCloseHandle);
    }
    // A file the user may not write is refused, as the shell's ">" refuses it.
    if (exists && ::faccessat(AT_FDCWD, target.constData(), W_OK, AT_EACCESS) != 0)
        return false;

    const qsizetype slash = target.lastIndexOf('/');
    base = target.mid(slash + 1);
    const QByteArray folder = slash < 0 ? QByteArray(".") : target.left(slash + 1);
    directory = ::open(folder.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    // A directory one may write but not read takes files all the same, unsynced.
    if (directory < 0 && errno == EACCES)
        directory = ::open(folder.constData(), O_PATH | O_DIRECTORY | O_CLOEXEC);
    if (base.isEmpty() || directory < 0)
        return false;
    watchSignals();
    // A file without a name leaves nothing behind, however the run ends. It is given one through
    // /proc/self/fd; without that, or where the file system cannot make such files, a file named
    // at once takes its part. Either way the kernel applies the umask to a new file's permissions.
    const bool nameless = ::access("/proc/self/fd", X_OK) == 0;
    int temp = nameless ? ::openat(directory, ".", O_TMPFILE | O_WRONLY | O_CLOEXEC, 0666) : -1;
    if (temp < 0 && (!nameless || errno == EOPNOTSUPP || errno == EISDIR || errno == EINVAL))
        temporary = makeTemporary(directory, [&](const char *name) {
            return temp = ::openat(directory, name, O_CREAT | O_EXCL | O_WRONLY | O_CLOEXEC, 0666);
        });
    // A replaced file keeps its mode, set after the owner, whose change would clear set-ID bits.
    return temp >= 0 && file.open(temp, QIODevice::WriteOnly, QFileDevice::AutoCloseHandle) &&
           (!exists || (keepOwner(temp, info) && ::fchmod(temp, info.st_mode & 07777) == 0));
}

bool Output::commit()
{
    if (directory < 0) {
        // Closing flushes what is left; a failure to write it is the file's error.
        file.close();
        return file.error() == QFileDevice::NoError;
    }
    // The text is on disk before its name is: a crash then leaves the old file or the new one.
    // A plain rename follows: some file systems write out a file renamed over another at once,
    // which the sync has done already, so exchanging the two files first would gain nothing.
    if (!file.flush() || ::fsync(file.handle()) != 0)
        return false;
    if (temporary.isEmpty()) {
        // A name of its own only when the target's is taken, and then from the link to the rename.
        const QByteArray self = "/proc/self/fd/" + QByteArray::number(file.handle());
        const auto link = [&](const char *name) {
            return ::linkat(AT_FDCWD, self.constData(), directory, name, AT_SYMLINK_FOLLOW);
        };
        if (link(base.constData()) != 0) {
            if (errno != EEXIST)
                return false;
            temporary = makeTemporary(directory, link);
            if (temporary.isEmpty())
                return false;
        }
    }
    if (!temporary.isEmpty()) {
        if (::renameat(directory, temporary.constData(), directory, base.constData()) != 0)
            return false;
        temporary.clear();
        pendingDirectory = -1;
    }
    file.close();
    // The new name reaches the disk too; a directory opened without reading cannot be synced.
    return file.error() == QFileDevice::NoError && (::fsync(directory) == 0 || errno == EBADF);
}
