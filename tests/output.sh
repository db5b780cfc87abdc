#!/usr/bin/env bash
# The output file: its default name, and that a failed run never leaves a damaged or replaced file.
source "$(dirname "$0")/lib.sh"

bmp1 12 3 ffffff 000000 "100000000001 000000000000 000000000000" >relay.bmp
mkdir -p pics dir.old dir sub
for name in relay.old.bmp a..b.bmp relay pics/relay.bmp dir.old/relay dir/relay .hidden.bmp; do
    cp relay.bmp "$name"
done

# The default name: the input's extension becomes "src", and the output stays beside the input.
while read -r input expected; do
    rm -f "$expected"
    cd sub && run -v "$input" && cd ..
    same "$input: default name" "Output file set to to '$expected'" "$(grep 'Output file set' <<<"$err")"
    check "$input: written as $expected" test -f "sub/$expected" -o -f "$expected"
done <<CASES
../relay.bmp ../relay.src
$WORK/relay.bmp $WORK/relay.src
./../relay.old.bmp ./../relay.old.src
../a..b.bmp ../a.b.src
../pics/relay.bmp ../pics/relay.src
../dir.old/relay ../dir.old/relay.src
../dir/relay ../dir/relay.src
../.hidden.bmp ../.hidden.src
CASES
run -v relay
same "bare name" "0:Output file set to to 'src'" "$status:$(grep 'Output file set' <<<"$err")"
check "bare name: written" test -f src
run -v ./relay.bmp
same "./relay.bmp" "Output file set to to './relay.src'" "$(grep 'Output file set' <<<"$err")"

# Outputs that cannot be written fail with status 2 and leave what was there.
printf 'keep me\n' >keep.src
cp keep.src before.src
# A full device is one of its own where permissions allow, so that a bug cannot replace the
# machine's /dev/full.
full=/dev/full
[ "$(id -u)" -eq 0 ] && mknod -m 666 full c 1 7 2>/dev/null && full=$WORK/full
for out in "$full" no/such/dir/x.src relay.bmp/x.src pics "$WORK/pics/"; do
    run relay.bmp "$out"
    same "output $out" "2:Output file cannot be created" "$status:$err"
done
check "the full device is still a device" test -c "$full"

# The input is never overwritten, whatever name reaches it, nor when it comes through standard
# input, whether the output is named or is standard output redirected to it.
cp relay.bmp in.bmp
cp relay.bmp relay.keep
ln -f in.bmp hardlink.bmp
ln -sf in.bmp to-input.src
for args in "in.bmp in.bmp" "in.bmp ./in.bmp" "in.bmp $WORK/in.bmp" "in.bmp hardlink.bmp" \
    "in.bmp to-input.src" "- in.bmp" "- hardlink.bmp" "- to-input.src" "- /dev/stdin"; do
    cat relay.keep >in.bmp
    run $args <in.bmp
    same "$args" "2:Output file cannot be created|kept" "$status:$err|$(cmp -s in.bmp relay.keep && echo kept)"
done
for out in - /dev/stdout /dev/fd/1 /proc/self/fd/1; do
    for input in - in.bmp; do
        cat relay.keep >in.bmp
        "$PICTORN" "$input" "$out" <in.bmp >>in.bmp 2>.stderr
        same "$input $out >>input" "2:Output file cannot be created|kept" \
            "$?:$(cat .stderr)|$(cmp -s in.bmp relay.keep && echo kept)"
    done
done
cp relay.bmp same.src
run same.src
same "input already named .src" "2:Output file cannot be created" "$status:$err"
check "input named .src untouched" cmp -s same.src relay.keep

# A write that fails part way (the file-size limit stands in for a full disk) keeps the old file
# whole and leaves no temporary file behind; the limit's signal does not end the run.
stripes_bmp >wide.bmp
(ulimit -f 64; "$PICTORN" wide.bmp keep.src 2>"$WORK/.stderr"; echo $? >status)
same "write cut short" "2:Output file cannot be created" "$(cat status):$(cat .stderr)"
check "old output kept whole" cmp -s keep.src before.src
same "no temporary files left" "" "$(ls -A | grep -F .pictorn. || true)"

# Special files are written in place: standard output receives the text.
run relay.bmp /dev/stdout >stdout.txt
same "/dev/stdout: status" "0:" "$status:$err"
run relay.bmp out.src
same_file "/dev/stdout: text" out.src stdout.txt
same "/dev/stdout through a pipe" "{  0}#..........#" "$("$PICTORN" relay.bmp /dev/stdout 2>/dev/null | sed -n 5p)"

# Standard streams: written through the descriptor the shell gave, at its position, never
# truncated, however its name is spelt, through a link too; "-" is standard output as the output
# and standard input as the input, while "./-" is a file.
run relay.bmp out.src
ln -s /dev/stdout to-stdout.src
for out in - /dev/stdout /dev//stdout /dev/./stdout //dev/stdout /dev/fd/1 /dev/fd//1 /dev/./fd/./1 \
    /proc/self/fd/1 /proc//self/fd/1 /proc/thread-self/fd/1 '/proc/$$/fd/1' /dev/stderr /dev/fd/2 \
    /dev/fd/3 /proc/self/fd/3 to-stdout.src /proc/self/fd/../fd/1 /dev/fd/../fd/1 \
    /proc/thread-self/fd/../fd/1 /proc/self/root/proc/self/fd/1 ../../../../proc/self/fd/1; do
    { echo head; sh -c "exec \"\$0\" relay.bmp $out" "$PICTORN" 3>&1; echo foot; } >f 2>&1
    same_file "$out: between the shell's lines" <(echo head; cat out.src; echo foot) f
done
{ echo head; sh -c 'cd /proc/self && exec "$0" "$1" fd/1' "$PICTORN" "$WORK/relay.bmp"; echo foot; } >f
same_file "fd/1 from /proc/self: between the shell's lines" <(echo head; cat out.src; echo foot) f
{ echo head; "$PICTORN" relay.bmp ./- ; echo foot; } >f
same "./-: a file" "head|foot" "$(paste -sd'|' f)"
same_file "./-: its text" out.src ./-
{ "$PICTORN" relay.bmp /dev/fd/1; "$PICTORN" relay.bmp -; } >f
same_file "two runs into one stream" <(cat out.src out.src) f
echo log >f
"$PICTORN" relay.bmp /proc/self/fd/1 >>f
same_file "appended to a log" <(echo log; cat out.src) f

# A stream left non-blocking is waited for: "-" read from a pipe before its writer writes, and
# written to a pipe read only once it is full.
"$PICTORN" wide.bmp wide.src
# FD COMMAND...: COMMAND with descriptor FD non-blocking, as the same process.
nonblocking=(python3 -c 'import fcntl, os, sys
fd = int(sys.argv[1]); fcntl.fcntl(fd, fcntl.F_SETFL, fcntl.fcntl(fd, fcntl.F_GETFL) | os.O_NONBLOCK)
os.execv(sys.argv[2], sys.argv[2:])')
waiting() { # PID: until PID waits for a stream, or has ended
    until grep -qs poll "/proc/$1/wchan" || ! grep -qs '^[0-9]* ([^)]*) [^Z]' "/proc/$1/stat"; do sleep 0.01; done
}
mkfifo in.fifo out.fifo
"${nonblocking[@]}" 0 "$PICTORN" - slow-in.src <in.fifo 2>err.txt &
exec 6>in.fifo
waiting $!
cat relay.bmp >&6 2>/dev/null
exec 6>&-
wait $!
same "non-blocking input" "0:" "$?:$(cat err.txt)"
same_file "non-blocking input: text" out.src slow-in.src
"${nonblocking[@]}" 1 "$PICTORN" wide.bmp - >out.fifo 2>err.txt &
exec 6<out.fifo
waiting $!
cat <&6 >slow-out.src
exec 6<&-
wait $!
same "non-blocking output" "0:" "$?:$(cat err.txt)"
same_file "non-blocking output: text" wide.src slow-out.src
"$PICTORN" - <relay.bmp >f
same_file "standard input to standard output" out.src f
cat relay.bmp | "$PICTORN" - piped.src
same_file "a pipe as the input" out.src piped.src
for out in /dev/fd/7 /dev/stdin /dev/fd/01 /dev/stdout/; do
    run relay.bmp "$out" </dev/null
    same "$out: not a descriptor to write" "2:Output file cannot be created" "$status:$err"
done

# --help and --version answer on standard output.
help=$("$PICTORN" --help 2>/dev/null)
same "--help: status" "0" "$?"
for word in -name= -package= -threshold= -invert= -dither= -width= -height= -v -h "Exit status" \
    "7 (window) the X display was lost"; do
    check "--help tells of $word" grep -q -e "$word" <<<"$help"
done
version=$(sed -n 's/^project(pictorn VERSION \([0-9.]*\).*/\1/p' "$TESTS/../CMakeLists.txt")
out=$("$PICTORN" --version 2>&1)
same "--version" "0:pictorn $version" "$?:$out"


# Names: the longest the file system takes; one that is not UTF-8 is refused, never changed.
long=$(printf 'n%.0s' $(seq 251))
run relay.bmp "$long.src"
same_file "a name of 255 bytes" out.src "$long.src"
run relay.bmp "$(printf 'out\xe9.src')"
same "a name that is not UTF-8" "2:Output file cannot be created" "$status:$err"
same "nothing written under another name" "" "$(ls | grep '^out.*\.src$' | grep -vx out.src)"
cp relay.bmp ...
run ...
same "input named only of dots" "0" "$status"
check "input named only of dots: written" test -f ...src

# What a name is decides how it is written: a pipe outside /dev is written into, a link to a
# missing file (through a chain of links) creates that file.
mkfifo pipe.src
timeout 20 cat pipe.src >from-pipe &
run relay.bmp pipe.src
wait
same_file "named pipe written into" out.src from-pipe
check "named pipe still a pipe" test -p pipe.src
ln -s chain2.src chain1.src
ln -s sub/made.src chain2.src
run relay.bmp chain1.src
same_file "a chain of links creates its end" out.src sub/made.src
check "the links stay links" test -L chain1.src -a -L chain2.src
(umask 027; "$PICTORN" relay.bmp fresh.src)
same "a new file follows the umask" "640" "$(stat -c %a fresh.src)"

# An output larger than the writer's buffer, byte for byte.
stripes_bmp >stripes.bmp
{ bmp_header 1200 1200 1 0 2; head -c $((152 * 1200)) /dev/urandom; } >big.bmp
expected_text "" "" big.bmp >expected
run big.bmp big.src
same_file "1.4 MB of text" expected big.src

# A failed run never damages what was there: a file in a directory that takes no new files is
# left alone, and so is a regular file under /dev whose write fails.
mkdir locked && printf 'keep me\n' >locked/keep.src && chmod 666 locked/keep.src && chmod 555 locked
as_user=()
[ "$(id -u)" -eq 0 ] && as_user=(setpriv --reuid=65534 --regid=65534 --clear-groups)
chmod 755 "$WORK"
"${as_user[@]}" "$PICTORN" relay.bmp locked/keep.src 2>err.txt
same "writable file, locked directory" "2:Output file cannot be created|keep me" "$?:$(cat err.txt)|$(cat locked/keep.src)"
shm=/dev/shm/pictorn-test.$$
printf 'keep me\n' >"$shm"
(trap '' XFSZ; ulimit -f 64; "$PICTORN" wide.bmp "$shm" 2>/dev/null)
same "regular file under /dev: kept whole" "keep me" "$(cat "$shm")"
"$PICTORN" relay.bmp "$shm"
same_file "regular file under /dev: replaced" out.src "$shm"
rm -f "$shm"

# Runs at once into one file: it ends as one of them wrote it, never a mix.
"$PICTORN" wide.bmp wide.src
mixed=0
for _ in $(seq 10); do
    "$PICTORN" wide.bmp race.src & "$PICTORN" relay.bmp race.src & wait
    cmp -s race.src wide.src || cmp -s race.src out.src || mixed=$((mixed + 1))
done
same "concurrent runs: whole files only" "0" "$mixed"

# Replacing a file keeps its permissions, and a link keeps pointing at its file; another hard
# link to it keeps the old text, unlike the shell's ">".
cp wide.src h1.src
ln h1.src h2.src
run relay.bmp h1.src
same_file "a hard link to a replaced file keeps the old text" wide.src h2.src
chmod 640 out.src
run relay.bmp out.src
same "permissions kept" "640" "$(stat -c %a out.src)"
run wide.bmp target.src
ln -s target.src link.src
run relay.bmp link.src
check "link still a link" test -L link.src
same_file "link's file rewritten" out.src target.src
mkdir linked && printf 'old\n' >linked/far.src
ln -s far.src linked/near.src
run relay.bmp linked/near.src
same_file "a relative link, followed from its own directory" out.src linked/far.src
check "nothing written beside the caller" test ! -e far.src

finish
