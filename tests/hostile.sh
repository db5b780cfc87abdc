#!/usr/bin/env bash
# Hostile inputs: truncated and lying files, odd file types and names, floods of arguments.
# Every case must end in seconds, in bounded memory, with its status and nothing half-written.
source "$(dirname "$0")/lib.sh"

# attempt EXPECTED ARGS...: runs pictorn within ten seconds and 400 MiB, and compares
# "status:standard error" with EXPECTED.
attempt() {
    local expected=$1
    shift
    timeout 10 /usr/bin/time -f %M -o "$WORK/.peak" "$PICTORN" "$@" 2>"$WORK/.stderr"
    status=$?
    err=$(cat "$WORK/.stderr")
    if [ "$status:$err" != "$expected" ]; then
        fail "${label:-$*}" "expected '$expected', got '$status:$err'"
    elif [ "$(tail -n 1 "$WORK/.peak")" -gt 409600 ]; then
        fail "${label:-$*}: used $(tail -n 1 "$WORK/.peak") KiB"
    else
        pass
    fi
}

# cut_every FILE STEP [WHOLE]: pictorn refuses FILE cut short at every STEP-th length and at each
# of the eight before WHOLE (the length that holds every pixel, by default the file's), printing
# no row the file does not hold; the file converts from WHOLE on.
cut_every() {
    local size i
    size=${3:-$(stat -c %s "$1")}
    for ((i = 0; i < size; i++)); do
        ((i % $2 == 0 || i >= size - 8)) || continue
        head -c "$i" "$1" >cut.bmp
        rm -f cut.src
        label="$1 cut to $i bytes" attempt "1:" cut.bmp
        [ -e cut.src ] && fail "$1 cut to $i bytes: output written"
    done
    label="$1 whole" attempt "0:" "$1" cut.src
}

bmp1 12 3 ffffff 000000 "100000000001 010000000010 001000000100" >relay.bmp
cut_every relay.bmp 1
random_pbm 50 20 7 >r.pbm
ppmtobmp -bpp 24 r.pbm >rgb.bmp 2>/dev/null
cut_every rgb.bmp 37
rle8 50 20 "$(tail -n +3 r.pbm)" >rle.bmp
cut_every rle.bmp 5 $(($(stat -c %s rle.bmp) - 4)) # its last row's end and end marker may go
pnmtopng r.pbm >r.png 2>/dev/null
cp r.png png.bmp
size=$(stat -c %s png.bmp)
for ((i = 0; i < size - 12; i += 9)); do
    head -c "$i" png.bmp >cut.png
    label="PNG cut to $i bytes" attempt "1:" cut.png cut.src
done

# Run-length data of every kind, and an OS/2 header, cut short.
perl -e 'my $data = pack("C*", 3, 1, 0, 2, 2, 1, 2, 1, 0, 0, 0, 3, 1, 0, 1, 0, 0, 5, 1, 1, 0, 1, 1, 0, 0, 1);
    my $off = 14 + 40 + 8;
    print "BM", pack("VvvV", $off + length $data, 0, 0, $off),
        pack("VllvvVVllVV", 40, 8, 3, 1, 8, 1, length $data, 0, 0, 2, 2), pack("VV", 0xffffff, 0), $data' >odd.bmp
cut_every odd.bmp 1 $(($(stat -c %s odd.bmp) - 3)) # and the padding of its last run
perl -e 'my $data = pack("C*", 8, 0x10, 0, 0, 0, 3, 0x10, 0x10, 0, 0, 0, 1); my $off = 14 + 40 + 64;
    print "BM", pack("VvvV", $off + length $data, 0, 0, $off),
        pack("VllvvVVllVV", 40, 8, 2, 1, 4, 2, length $data, 0, 0, 16, 16), pack("VV", 0xffffff, 0),
        "\0" x 56, $data' >rle4.bmp
cut_every rle4.bmp 1 $(($(stat -c %s rle4.bmp) - 2))
same "4-bit run-length rows" "{  0}#.#.....|{  1}#.#.#.#." "$(sed -n 5,6p cut.src | paste -sd'|')"
perl -e 'my $data = join "", map { pack("nn", $_ % 2 ? 0xf00f : 0x0ff0, 0) } 0 .. 3;
    print "BM", pack("VvvV", 32 + length $data, 0, 0, 32), pack("Vvvvv", 12, 16, 4, 1, 1),
        pack("C6", 255, 255, 255, 0, 0, 0), $data' >os2.bmp
cut_every os2.bmp 1

# A genuine picture just past the largest size is refused at once, before it is decoded.
{ bmp_header 16385 16384 1 0 2; head -c $((2052 * 16384)) /dev/zero; } >past.bmp
label="16385 x 16384" attempt "1:" past.bmp out.src

# Run-length coded and top-down bitmaps convert to what netpbm sees in them.
expected_text "" "" rle.bmp >expected
attempt "0:" rle.bmp out.src
same_file "run-length coded" expected out.src
{ bmp_header 12 -3 1 0 2; printf '\x80\x10\0\0\x40\x20\0\0\x20\x40\0\0'; } >topdown.bmp
attempt "0:" topdown.bmp out.src
same "top-down rows" "{  0}#..........#|{  1}.#........#.|{  2}..#......#.." "$(sed -n 5,7p out.src | paste -sd'|')"

# Headers that lie, in files of a few bytes.
while read -r what w h bpp comp colours; do
    { bmp_header "$w" "$h" "$bpp" "$comp" "$colours" 64; head -c 64 /dev/zero; } >lie.bmp
    label="header: $what" attempt "1:" lie.bmp out.src
done <<CASES
zero-width 0 10 1 0 2
zero-height 10 0 1 0 2
negative-width -10 10 1 0 2
60000x60000 60000 60000 1 0 2
16384x16384 16384 16384 1 0 2
32-bit-60000 60000 60000 32 0 0
depth-3 8 8 3 0 2
depth-7 8 8 7 0 2
depth-64 8 8 64 0 0
jpeg-inside 8 8 0 4 0
rle-16384x16384 16384 16384 8 1 2
CASES
{ bmp_header 24 3080204 8 1 2 4; printf '\x18\x00\x00\x01'; } >bomb.bmp
label="run-length bomb: 74 million pixels in 70 bytes" attempt "1:" bomb.bmp out.src
# Found by fuzzing: an information header of nearly 4 GiB, with run-length data.
perl -e 'print pack("H*", join "", @ARGV)' \
    424dd0000000000000003e000000d8ffffffe80000000c000000010008000100000092000000130b0000130b00000200 \
    000002000000ffffff000000000018000000040010010400000004000101060100070100010104000000040001010700 \
    01010600015c0104000000040001010800010105000101040000000400010109636f6c756d6e496e7465727365637473 \
    53656c65635f715f68736c696465010200010104000001040000010c0001010100010104000000040001010d00fffefb \
    ff00000400100104001800000000000001 >huge-info.bmp
label="information header of 4 GiB" attempt "1:" huge-info.bmp out.src
{ bmp_header 4000 4000 8 1 2 2; printf '\0\1'; head -c 4000 /dev/zero; } >padded.bmp
label="run-length bomb padded with zeros after its end" attempt "1:" padded.bmp out.src
printf '<svg xmlns="http://www.w3.org/2000/svg" width="2" height="3"/>' >narrow.svg
label="vector picture scaled past the largest size" attempt "1:" -width=16384 narrow.svg out.src
{ bmp_header 8 8 1 0 2 32 | head -c 40; } >short-header.bmp
label="header cut inside" attempt "1:" short-header.bmp out.src

# Palette indexes past the palette take its last colour, as the toolkit's conversions do.
{ bmp_header 4 1 8 0 2; printf '\x00\x01\xc8\xff'; } >index.bmp
attempt "0:" index.bmp out.src
same "indexes out of range" "{  0}.###" "$(sed -n 5p out.src)"

# An endless stream on standard input that is no picture is refused early, not read on.
label="endless standard input" attempt "1:" - out.src < <(yes)

# Inputs that are not files: the run ends at once with status 1.
mkdir dir.bmp
mkfifo fifo.bmp
ln -s nowhere.bmp dangling.bmp
for input in dir.bmp fifo.bmp dangling.bmp /dev/zero /dev/null; do
    label="input $input" attempt "1:" "$input" out.src
done

# Odd file names are used and printed as they are.
for name in "with space.bmp" "it's \"quoted\".bmp" "%s%n%x.bmp" "$(printf 'new\nline.bmp')" "-dash.bmp"; do
    cp -- relay.bmp "$name"
    out="${name%.bmp}.src"
    label="name $name" attempt "0:Writing file '$out'" "$name" -v
    check "name $name: written" test -f "$out"
done
cp relay.bmp "$(printf 'caf\xe9.bmp')"
label="name that is not UTF-8" attempt "1:" "$(printf 'caf\xe9.bmp')"
long=$(printf 'x%.0s' $(seq 4000))
label="name of 4000 characters" attempt "1:" "$long.bmp"
deep=.
for i in $(seq 20); do deep=$deep/$(printf 'd%.0s' $(seq 199)); done
mkdir -p "$deep"
cp relay.bmp "$deep/relay.bmp"
label="path of 4000 characters" attempt "0:" "$deep/relay.bmp"
check "path of 4000 characters: written" test -f "$deep/relay.src"

# Floods of arguments.
label="5000 keys" attempt "0:" $(printf -- '-name=x%.0s ' $(seq 5000)) relay.bmp out.src
label="3000 file names" attempt "3:Too many files" relay.bmp $(printf 'f%.0s ' $(seq 3000))

# Short of memory, the run ends with status 1 and says why with -v: never an abort, never "not a
# bitmap". (A sanitizer build maps more address space than any such limit allows.)
if [ -z "${ASAN_OPTIONS:-}" ]; then
    # Half-transparent black, 6000 x 6000: a grey image of 36 MB and its bitmap pass the limit,
    # which leaves room for the libraries a start maps.
    ppmmake black 6000 6000 >black.ppm
    pgmmake 0.5 6000 6000 >half.pgm
    pnmtopng -force -alpha=half.pgm black.ppm >solid.png 2>/dev/null
    (ulimit -v 110000; "$PICTORN" -v solid.png out.src 2>err.txt; echo $? >status.txt)
    same "short of memory" "1|Not enough memory for 'solid.png'|Bitmap file 'solid.png' cannot be opened" \
        "$(cat status.txt)|$(sed -n 2,3p err.txt | paste -sd'|')"
    (ulimit -v 110000; "$PICTORN" relay.bmp small.src 2>err.txt; echo $? >status.txt)
    same "the same limit, a small picture" "0:" "$(cat status.txt):$(cat err.txt)"
    # A small picture scaled to the largest size, dithered, under every limit from 150 MB up:
    # scaling, reducing and the writer's buffer all meet the limit somewhere in this range.
    sweep=
    for mb in $(seq 150 16 600); do
        (ulimit -v $((mb * 1024)); timeout 30 "$PICTORN" -dither=yes -width=16384 relay.bmp big.src 2>/dev/null
            echo $? >status.txt)
        case $(cat status.txt) in 0 | 1) ;; *) sweep="$sweep $mb:$(cat status.txt)" ;; esac
    done
    same "address-space sweep: status 0 or 1" "" "$sweep"
fi

# Outputs that cannot be written; a read-only directory needs a user whom permissions bind.
mkdir ro && chmod 555 ro
as_user=()
[ "$(id -u)" -eq 0 ] && as_user=(setpriv --reuid=65534 --regid=65534 --clear-groups)
chmod 755 "$WORK"
"${as_user[@]}" "$PICTORN" relay.bmp ro/out.src 2>err.txt
same "read-only directory" "2:Output file cannot be created" "$?:$(cat err.txt)"
check "read-only directory: nothing left" test -z "$(ls ro)"

finish
