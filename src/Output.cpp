#include "Output.h"

#include <QFile>
#include <QRandomGenerator>

#include <fcntl.h>
#include <poll.h>
#include <pthread.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <csignal>
#include <cstring>

namespace
{

// The named temporary file of this run, for the handlers of the signals that end it, whichever
// thread a signal reaches: whether it is being made, made or none, its directory's descriptor and
// its name there. The name and the directory are set before the state says so.
enum : int { NoFile, Making, Made };
std::atomic<int> pendingState{NoFile};
static_assert(std::atomic<int>::is_always_lock_free, "the handlers read the state");
int pendingDirectory = -1;
char pendingName[32];

void removePending(int signal)
{
    // The thread making the file holds every signal back, so this runs in another one, and
    // waits for the file to be made or not.
    int state;
    while ((state = pendingState.load()) == Making) {
    }
    if (state == Made)
        ::unlinkat(pendingDirectory, pendingName, 0);
    ::signal(signal, SIG_DFL);
    ::raise(signal);
}

// Installed once for the whole process, the first time a file may be named.
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

// Holds back every signal that can be held from this thread while it lives, so that no handler
// runs here while it waits for this thread's file.
class SignalsHeld
{
public:
    SignalsHeld()
    {
        sigset_t all;
        sigfillset(&all);
        ::pthread_sigmask(SIG_BLOCK, &all, &old);
    }
    ~SignalsHeld() { ::pthread_sigmask(SIG_SETMASK, &old, nullptr); }

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
// when it fails), marked for removal by a signal from before it is made, whichever thread the
// signal reaches. Returns the name, or none.
template <typename Make> QByteArray makeTemporary(int directory, Make make)
{
    for (int attempt = 0; attempt < 100; ++attempt) {
        const QByteArray name = temporaryName();
        const SignalsHeld held;
        std::memcpy(pendingName, name.constData(), size_t(name.size()) + 1);
        pendingDirectory = directory;
        pendingState = Making;
        const bool made = make(name.constData()) >= 0;
        pendingState = made ? Made : NoFile;
        if (made)
            return name;
        if (errno != EEXIST)
            break;
    }
    return QByteArray();
}

// The descriptor that NAME stands for when it is an entry of the run's own table of descriptors,
// or -1: /proc/self/fd/N or /proc/thread-self/fd/N, however the table is reached (/dev/fd, "..",
// /proc/self/root, a relative name), judged by what the folder is rather than how it is spelt.
// Opening such a name anew would truncate what the shell redirected to, and lose its position;
// following its link would too.
int descriptorOf(const QByteArray &name)
{
    const qsizetype slash = name.lastIndexOf('/');
    const QByteArray number = name.mid(slash + 1);
    bool ok = false;
    const int fd = number.toInt(&ok);
    // The kernel takes a descriptor's number in its plain decimal form only.
    if (!ok || fd < 0 || QByteArray::number(fd) != number)
        return -1;
    struct stat folder, table;
    if (::stat(slash < 0 ? "." : name.left(slash + 1).constData(), &folder) != 0)
        return -1;
    for (const char *own : {"/proc/self/fd", "/proc/thread-self/fd"})
        if (::stat(own, &table) == 0 && table.st_dev == folder.st_dev &&
            table.st_ino == folder.st_ino)
            return fd;
    return -1;
}

// Follows a chain of links, as the shell's ">" does, to the file it ends in, existing or not,
// stopping at a name of one of the run's descriptors (/dev/stdout is a link to one), whose number
// goes to FD. A loop of links ends on a link, which the caller finds too deep to follow.
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
    if (ownsFd)
        ::close(fd);
    if (!temporary.isEmpty()) {
        ::unlinkat(directory, temporary.constData(), 0);
        pendingState = NoFile;
    }
    if (directory >= 0)
        ::close(directory);
}

bool Output::fail()
{
    char text[256];
    why = QString::fromLocal8Bit(::strerror_r(errno, text, sizeof text));
    return false;
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
    int stream = STDOUT_FILENO;
    const QByteArray target =
        name == u"-" ? QByteArray() : finalTarget(QFile::encodeName(name), stream);
    if (stream >= 0) {
        const int flags = ::fcntl(stream, F_GETFL);
        if (flags < 0 || ::fstat(stream, &info) != 0)
            return fail();
        fd = stream;
        return (flags & O_ACCMODE) != O_RDONLY && !isInput(info);
    }
    const bool exists = ::stat(target.constData(), &info) == 0;
    // Missing is the one failure that leaves a name to create: a loop of links is not.
    if (!exists && errno != ENOENT)
        return fail();
    if (exists && isInput(info))
        return false;
    // Devices and pipes are written as they are; replacing them would break them.
    if (exists && !S_ISREG(info.st_mode)) {
        fd = ::open(target.constData(), O_WRONLY | O_NOCTTY | O_CLOEXEC);
        ownsFd = fd >= 0;
        return ownsFd || fail();
    }
    // A file the user may not write is refused, as the shell's ">" refuses it.
    if (exists && ::faccessat(AT_FDCWD, target.constData(), W_OK, AT_EACCESS) != 0)
        return fail();

    const qsizetype slash = target.lastIndexOf('/');
    base = target.mid(slash + 1);
    const QByteArray folder = slash < 0 ? QByteArray(".") : target.left(slash + 1);
    directory = ::open(folder.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    // A directory one may write but not read takes files all the same, unsynced.
    if (directory < 0 && errno == EACCES)
        directory = ::open(folder.constData(), O_PATH | O_DIRECTORY | O_CLOEXEC);
    if (directory < 0)
        return fail();
    if (base.isEmpty())
        return false;
    watchSignals();
    // A file without a name leaves nothing behind, however the run ends. It is given one through
    // /proc/self/fd; without that, or where the file system cannot make such files, a file named
    // at once takes its part. Either way the kernel applies the umask to a new file's permissions.
    const bool nameless = ::access("/proc/self/fd", X_OK) == 0;
    fd = nameless ? ::openat(directory, ".", O_TMPFILE | O_WRONLY | O_CLOEXEC, 0666) : -1;
    if (fd < 0 && (!nameless || errno == EOPNOTSUPP || errno == EISDIR || errno == EINVAL))
        temporary = makeTemporary(directory, [&](const char *name) {
            return fd = ::openat(directory, name, O_CREAT | O_EXCL | O_WRONLY | O_CLOEXEC, 0666);
        });
    ownsFd = fd >= 0;
    // A replaced file keeps its mode, set after the owner, whose change would clear set-ID bits.
    if (!ownsFd || (exists && (!keepOwner(fd, info) || ::fchmod(fd, info.st_mode & 07777) != 0)))
        return fail();
    return true;
}

bool Output::write(const QByteArray &bytes)
{
    for (qsizetype done = 0; done < bytes.size();) {
        const ssize_t put = ::write(fd, bytes.constData() + done, size_t(bytes.size() - done));
        if (put > 0) {
            done += put;
            continue;
        }
        // A stream left non-blocking, as some parents leave their children's, is waited for.
        pollfd ready{fd, POLLOUT, 0};
        if (put < 0 && (errno == EINTR || (errno == EAGAIN && ::poll(&ready, 1, -1) >= 0)))
            continue;
        return fail();
    }
    return true;
}

bool Output::commit()
{
    if (directory < 0) {
        // A device of its own is closed, which may report a write that failed late.
        const bool closed = !ownsFd || ::close(fd) == 0;
        ownsFd = false;
        return closed || fail();
    }
    // The text is on disk before its name is: a crash then leaves the old file or the new one.
    // A plain rename follows: some file systems write out a file renamed over another at once,
    // which the sync has done already, so exchanging the two files first would gain nothing.
    if (::fsync(fd) != 0)
        return fail();
    if (temporary.isEmpty()) {
        // A name of its own only when the target's is taken, and then from the link to the rename.
        const QByteArray self = "/proc/self/fd/" + QByteArray::number(fd);
        const auto link = [&](const char *name) {
            return ::linkat(AT_FDCWD, self.constData(), directory, name, AT_SYMLINK_FOLLOW);
        };
        if (link(base.constData()) != 0) {
            if (errno != EEXIST)
                return fail();
            temporary = makeTemporary(directory, link);
            if (temporary.isEmpty())
                return fail();
        }
    }
    if (!temporary.isEmpty()) {
        if (::renameat(directory, temporary.constData(), directory, base.constData()) != 0)
            return fail();
        temporary.clear();
        pendingState = NoFile;
    }
    const bool closed = ::close(fd) == 0;
    ownsFd = false;
    // The new name reaches the disk too; a directory opened without reading cannot be synced.
    return (closed && (::fsync(directory) == 0 || errno == EBADF)) || fail();
}
