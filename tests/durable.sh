#!/usr/bin/env bash
# Replacing a regular file: as the shell's ">" would allow it, whole or not at all, on disk before
# it takes the old file's place, and without a stray file whatever ends the run.
source "$(dirname "$0")/lib.sh"

bmp1 12 3 ffffff 000000 "100000000001 000000000000 000000000000" >relay.bmp
"$PICTORN" relay.bmp out.src
stripes_bmp >wide.bmp
# 16000 x 8000 pixels: 128 MB of text, long enough to be caught while it is written.
{ bmp_header 16000 8000 1 0 2; head -c $((2000 * 8000)) /dev/zero; } >long.bmp
chmod 755 "$WORK"
as_user=()
[ "$(id -u)" -eq 0 ] && as_user=(setpriv --reuid=65534 --regid=65534 --clear-groups)

# temporary_open PID DIR: waits until PID has its new file in DIR open, named or not.
temporary_open() {
    for _ in $(seq 3000); do
        ls -l "/proc/$1/fd" 2>/dev/null | grep -q -e " $2/#" -e " $2/\.pictorn\." && return 0
        sleep 0.001
    done
    return 1
}

# A file the user may not write is refused and left as it was, even in a directory the user may
# write; root may replace it, as the shell's ">" would.
mkdir shared && chmod 777 shared
printf 'keep me\n' >shared/ro.src
chmod 444 shared/ro.src
[ "$(id -u)" -eq 0 ] && chown 65534:65534 shared/ro.src
"${as_user[@]}" "$PICTORN" relay.bmp shared/ro.src 2>err.txt
same "read-only file" "2:Output file cannot be created|keep me|444" \
    "$?:$(cat err.txt)|$(cat shared/ro.src)|$(stat -c %a shared/ro.src)"
if [ "$(id -u)" -eq 0 ]; then
    "$PICTORN" relay.bmp shared/ro.src
    same "read-only file, by root" "0:444" "$?:$(stat -c %a shared/ro.src)"
    same_file "read-only file, by root: text" out.src shared/ro.src
fi

# Root replacing a user's file keeps its owner, group and mode, set-ID bits included.
if [ "$(id -u)" -eq 0 ]; then
    printf 'old\n' >theirs.src
    chown 65534:65534 theirs.src
    chmod 4754 theirs.src
    run relay.bmp theirs.src
    same "owner, group and mode kept" "0:65534:65534 4754" "$status:$(stat -c '%u:%g %a' theirs.src)"
    same_file "owner kept: text" out.src theirs.src
fi

# A directory one may write but not read takes the file all the same.
mkdir blind && chmod 333 blind
"${as_user[@]}" "$PICTORN" relay.bmp blind/out.src 2>err.txt
same "a directory one may not read" "0:" "$?:$(cat err.txt)"
same_file "a directory one may not read: text" out.src blind/out.src

# A loop of links is refused, and stays a loop.
ln -s loop2.src loop1.src
ln -s loop1.src loop2.src
run relay.bmp loop1.src
same "a loop of links" "2:Output file cannot be created" "$status:$err"
check "the loop stays links" test -L loop1.src -a -L loop2.src

# The text is synced before it takes its name, and the directory after: the new file's descriptor
# (N) is synced, then linked to a name, which is renamed over the old file; a new name is linked
# at once. Failed calls are left out.
trace_of() { # FILE: the calls that put the text in FILE
    # A sanitizer build's leak checker cannot work under a tracer.
    ASAN_OPTIONS=${ASAN_OPTIONS:-}:detect_leaks=0 strace -f -qq -e trace=fsync,fdatasync,linkat,rename,renameat,renameat2 \
        -o trace "$PICTORN" relay.bmp "$1"
    local fd
    fd=$(sed -n 's|.*"/proc/self/fd/\([0-9]*\)".*|\1|p' trace | head -1)
    awk -v n="${fd:-none}" '! / = -1 / {
        call = $2; sub(/\(.*/, "", call); sub(/^f(data)?sync$/, "sync", call); sub(/^rename(at2?)?$/, "rename", call)
        printf "%s%s%s", sep, call, $2 ~ "^[a-z]+\\(" n "\\)$" ? "(N)" : ""; sep = " "
    }' trace
}
printf 'old\n' >synced.src
same "replacing: sync, link, rename, sync" "sync(N) linkat rename sync" "$(trace_of synced.src)"
same_file "replacing: text" out.src synced.src
rm -f fresh.src
same "a new file: sync, link, sync" "sync(N) linkat sync" "$(trace_of fresh.src)"
same_file "a new file: text" out.src fresh.src

# Killed while it writes, with a signal it can catch or with one it cannot, a run leaves the old
# file and nothing else; a signal the caller ignored stays ignored.
mkdir killed && printf 'keep me\n' >killed/long.src
for signal in TERM KILL; do
    "$PICTORN" long.bmp killed/long.src &
    check "$signal: while its new file was open" temporary_open $! "$WORK/killed"
    kill -$signal $!
    { wait $!; } 2>/dev/null
    status=$?
    same "$signal: ended by the signal" "$((128 + $(kill -l $signal)))" "$status"
    same "$signal: old file and nothing else" "long.src|keep me" "$(ls -A killed | paste -sd'|')|$(cat killed/long.src)"
done
{ bmp_header 16000 2000 1 0 2; head -c $((2000 * 2000)) /dev/zero; } >mid.bmp
"$PICTORN" mid.bmp mid.ref
mkdir hup
(trap '' HUP; exec "$PICTORN" mid.bmp hup/mid.src) &
check "HUP: while its new file was open" temporary_open $! "$WORK/hup"
kill -HUP $!
wait $!
same "HUP ignored: the run goes on" "0|mid.src" "$?|$(ls -A hup | paste -sd'|')"
check "HUP ignored: whole text" cmp -s mid.ref hup/mid.src

# Where the file system makes no file without a name, the new file is named at once, beside the
# old one: it follows the umask, is removed when a signal ends the run or a write fails, and
# takes the old file's place all the same. A preloaded library stands in for such a file system,
# and for one where a rename fails.
cat >shim.c <<'EOF'
#define _GNU_SOURCE
#include <dlfcn.h>
#include <errno.h>
#include <fcntl.h>
#include <stdarg.h>
#include <pthread.h>
#include <signal.h>
#include <stdlib.h>
#include <string.h>
#include <time.h>
#include <unistd.h>
// With NO_TMPFILE set, no file without a name is made; with NO_RENAME set, no rename is done;
// with TERM_ON_MAKE set, a thread of its own gets SIGTERM as a temporary name is made, and has a
// second to handle it before the making thread goes on.
static void *idle(void *unused)
{
    sigset_t term;
    sigemptyset(&term);
    sigaddset(&term, SIGTERM);
    pthread_sigmask(SIG_UNBLOCK, &term, NULL);
    for (;;)
        pause();
    return unused;
}
int openat(int dir, const char *path, int flags, ...)
{
    static int (*real)(int, const char *, int, ...);
    va_list args;
    va_start(args, flags);
    mode_t mode = va_arg(args, mode_t);
    va_end(args);
    if ((flags & O_TMPFILE) == O_TMPFILE && getenv("NO_TMPFILE")) {
        errno = EOPNOTSUPP;
        return -1;
    }
    if (!real)
        real = (int (*)(int, const char *, int, ...))dlsym(RTLD_NEXT, "openat");
    const int fd = real(dir, path, flags, mode);
    if (fd >= 0 && (flags & O_EXCL) && strstr(path, ".pictorn.") && getenv("TERM_ON_MAKE")) {
        pthread_t thread;
        pthread_create(&thread, NULL, idle, NULL);
        pthread_kill(thread, SIGTERM);
        nanosleep(&(struct timespec){1, 0}, NULL);
    }
    return fd;
}
int renameat(int from, const char *old, int to, const char *new)
{
    static int (*real)(int, const char *, int, const char *);
    if (getenv("NO_RENAME")) {
        errno = EIO;
        return -1;
    }
    if (!real)
        real = (int (*)(int, const char *, int, const char *))dlsym(RTLD_NEXT, "renameat");
    return real(from, old, to, new);
}
EOF
cc -shared -fPIC -pthread -o shim.so shim.c -ldl
shim=(env LD_PRELOAD="$WORK/shim.so" ASAN_OPTIONS="${ASAN_OPTIONS:-}:verify_asan_link_order=0")
named=("${shim[@]}" NO_TMPFILE=1)
printf 'old\n' >named.src
chmod 604 named.src
"${named[@]}" ASAN_OPTIONS="${ASAN_OPTIONS:-}:verify_asan_link_order=0:detect_leaks=0" \
    strace -f -qq -e trace=openat -o trace "$PICTORN" relay.bmp named.src
check "named: no file without a name made" test -z "$(grep O_TMPFILE trace)"
check "named: a named one instead" grep -q 'pictorn\..*O_CREAT|O_EXCL' trace
same "named: mode kept" "604" "$(stat -c %a named.src)"
same_file "named: text" out.src named.src
rm -f named.src
(umask 027; "${named[@]}" "$PICTORN" relay.bmp named.src)
same "named: a new file follows the umask" "640" "$(stat -c %a named.src)"
"${named[@]}" "$PICTORN" long.bmp killed/long.src &
check "named: while its file was there" temporary_open $! "$WORK/killed"
kill -TERM $!
wait $!
status=$?
same "named: killed" "143|long.src|keep me" "$status|$(ls -A killed | paste -sd'|')|$(cat killed/long.src)"
"${named[@]}" TERM_ON_MAKE=1 "$PICTORN" relay.bmp killed/long.src
same "named: a signal to another thread as the name is made" "143|long.src|keep me" \
    "$?|$(ls -A killed | paste -sd'|')|$(cat killed/long.src)"
(ulimit -f 64; "${named[@]}" "$PICTORN" wide.bmp killed/long.src 2>"$WORK/.stderr"; echo $? >status)
same "named: write cut short" "2:Output file cannot be created" "$(cat status):$(cat .stderr)"
same "named: nothing left" "long.src|keep me" "$(ls -A killed | paste -sd'|')|$(cat killed/long.src)"

# A rename that fails leaves the old file and nothing else, named at once or not.
for how in "" NO_TMPFILE=1; do
    "${shim[@]}" $how NO_RENAME=1 "$PICTORN" relay.bmp killed/long.src 2>"$WORK/.stderr"
    same "${how:-nameless}: rename failed" "2:Output file cannot be created|long.src|keep me" \
        "$?:$(cat .stderr)|$(ls -A killed | paste -sd'|')|$(cat killed/long.src)"
done

finish
