# Shared helpers for the pictorn tests: each test script sources this with the path of the
# built pictorn as its first argument, runs its cases in a scratch directory and ends with finish.
set -u

PICTORN=$(readlink -f "$1")
TESTS=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
START=$PWD
WORK=$(mktemp -d)
trap 'rm -rf "$WORK"' EXIT
cd "$WORK" || exit 1
unset DISPLAY QT_QPA_PLATFORM
export LC_ALL=C.UTF-8

passed=0
failed=0

pass() { passed=$((passed + 1)); }
fail() {
    failed=$((failed + 1))
    printf 'FAIL: %s\n' "$1"
    [ $# -gt 1 ] && printf '%s\n' "$2" | head -20 | sed 's/^/    /'
    return 0
}

# check NAME COMMAND...: passes when the command succeeds.
check() {
    local name=$1
    shift
    if "$@"; then pass; else fail "$name"; fi
}

# same NAME EXPECTED ACTUAL: passes when the two strings are equal.
same() {
    if [ "$2" == "$3" ]; then
        pass
    else
        fail "$1" "$(diff <(printf '%s\n' "$2") <(printf '%s\n' "$3"))"
    fi
}

# same_file NAME EXPECTED_FILE ACTUAL_FILE: passes when both exist and hold the same bytes.
same_file() {
    if [ -f "$3" ] && cmp -s "$2" "$3"; then
        pass
    elif [ -f "$3" ]; then
        fail "$1" "$(diff "$2" "$3")"
    else
        fail "$1" "no file $3"
    fi
}

# run ARGS...: runs pictorn, leaving its exit status in $status and standard error in $err.
run() {
    "$PICTORN" "$@" 2>"$WORK/.stderr"
    status=$?
    err=$(cat "$WORK/.stderr")
}

finish() {
    echo "$passed passed, $failed failed"
    [ "$failed" -eq 0 ]
    exit
}

# pbm W H BITS: a plain PBM image; BITS lists the pixels row by row, 1 for black.
pbm() {
    printf 'P1\n%s %s\n%s\n' "$1" "$2" "$3"
}

# random_pbm W H SEED: a plain PBM image of random pixels.
random_pbm() {
    awk -v w="$1" -v h="$2" -v seed="$3" 'BEGIN {
        srand(seed); print "P1"; print w, h
        for (y = 0; y < h; y++) { line = ""; for (x = 0; x < w; x++) line = line (rand() < 0.5 ? "1" : "0"); print line }
    }'
}

# rows_of_pbm FILE: the row lines an independent decoder's PBM gives, in the converter's form.
rows_of_pbm() {
    awk 'function emit() { print sprintf("{%3d}", y++) gsub01(line); line = "" }
        function gsub01(s) { gsub(/1/, "#", s); gsub(/0/, ".", s); return s }
        { sub(/#.*/, "") }
        n < 3 { for (i = 1; i <= NF && n < 3; i++) { tok[n++] = $i; $i = "" }; w = tok[1]; if (n < 3) next }
        {
            gsub(/[ \t\r]/, ""); rest = $0
            while (length(rest) > 0) {
                take = w - length(line); line = line substr(rest, 1, take); rest = substr(rest, take + 1)
                if (length(line) == w) emit()
            }
        }' "$1"
}

# expected_text NAME PACKAGE BMP: the whole text pictorn must write for a black-and-white BMP,
# with the pixels as netpbm decodes them.
expected_text() {
    local plain w h
    plain=$(bmptopnm "$3" 2>/dev/null | pnmtoplainpnm)
    read -r w h < <(printf '%s\n' "$plain" | sed -n 2p)
    printf "'%s'\n'%s'\n%d %d 1\nBITMAP\n" "$1" "$2" $(((w - 1) / 10)) $(((h - 1) / 10))
    rows_of_pbm <(printf '%s\n' "$plain")
    printf '\n'
}

# bmp1 W H PALETTE0 PALETTE1 BITS: a 1-bit BMP written byte by byte, with the palette given as
# six hex digits per entry; BITS lists the palette index of every pixel, row by row, top first.
bmp1() {
    perl -e '
        my ($w, $h, $p0, $p1, $bits) = @ARGV; $bits =~ s/\s//g;
        my $row = int(($w + 31) / 32) * 4; my $data = "";
        for (my $y = $h - 1; $y >= 0; $y--) {
            my $line = substr($bits . "0" x ($w * $h), $y * $w, $w); $line .= "0" x ($row * 8 - $w);
            $data .= pack("B*", $line);
        }
        my $pal = join "", map { my $c = hex $_; pack("CCCC", $c & 255, ($c >> 8) & 255, $c >> 16, 0) } ($p0, $p1);
        my $off = 14 + 40 + 8;
        print "BM", pack("VvvV", $off + length $data, 0, 0, $off),
              pack("VllvvVVllVV", 40, $w, $h, 1, 1, 0, length $data, 2835, 2835, 2, 2), $pal, $data;
    ' -- "$@"
}

# start_xvfb [LOG]: starts a private X server, sets XDISPLAY to it and stops it when the test ends.
# It never resets, so that a program starting just as another one leaves still finds it.
start_xvfb() {
    local fifo=$WORK/.displayfd
    mkfifo "$fifo"
    Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp -noreset -audit 4 3>"$fifo" 2>"${1:-/dev/null}" &
    XVFB_PID=$!
    trap 'kill $XVFB_PID 2>/dev/null; rm -rf "$WORK"' EXIT
    local number
    read -r -t 10 number <"$fifo" || { echo "Xvfb did not start"; exit 1; }
    XDISPLAY=:$number
}

# bmp_header W H BPP COMPRESSION COLOURS [DATA_BYTES]: the headers and palette of a BMP whose
# header says what it is told, true or not; the palette runs white, black, then greys. The pixel
# data, DATA_BYTES long (by default what the header promises), is left to the caller.
bmp_header() {
    perl -e '
        my ($w, $h, $bpp, $comp, $colours, $size) = @ARGV;
        $size //= int((abs($w) * $bpp + 31) / 32) * 4 * abs($h);
        my $pal = join "", map { pack("V", $_ == 0 ? 0xffffff : $_ == 1 ? 0 : 0x808080) } 0 .. $colours - 1;
        my $off = 14 + 40 + length $pal;
        print "BM", pack("VvvV", $off + $size, 0, 0, $off),
              pack("VllvvVVllVV", 40, $w, $h, 1, $bpp, $comp, $size, 2835, 2835, $colours, $colours), $pal;
    ' -- "$@"
}

# rle8 W H BITS: an 8-bit run-length coded BMP; BITS gives 0 (white) or 1 (black) for every
# pixel, row by row, top first.
rle8() {
    perl -e '
        my ($w, $h, $bits) = @ARGV; $bits =~ s/\s//g; my $data = "";
        for (my $y = $h - 1; $y >= 0; $y--) {
            my @px = split //, substr($bits, $y * $w, $w);
            for (my $x = 0; $x < $w;) {
                my $n = 1;
                $n++ while $x + $n < $w && $n < 255 && $px[$x + $n] eq $px[$x];
                $data .= pack("CC", $n, $px[$x]); $x += $n;
            }
            $data .= pack("CC", 0, 0);
        }
        $data .= pack("CC", 0, 1);
        my $pal = pack("VV", 0xffffff, 0);
        my $off = 14 + 40 + length $pal;
        print "BM", pack("VvvV", $off + length $data, 0, 0, $off),
              pack("VllvvVVllVV", 40, $w, $h, 1, 8, 1, length $data, 2835, 2835, 2, 2), $pal, $data;
    ' -- "$@"
}

# stripes_bmp: a 400 x 400 1-bit BMP of vertical stripes, whose text (162 KB) is larger than the
# small file-size limits that tests use to make a write fail part way.
stripes_bmp() {
    bmp_header 400 400 1 0 2
    head -c $((52 * 400)) /dev/zero | tr '\0' '\125'
}

# The real ImageMagick, named so that no wrapper on the PATH stands in for it.
IM=convert-im6.q16

# oracle_rows PICTURE [THRESHOLD] [INVERT]: the rows that an independent renderer gives:
# ImageMagick lays the picture on white paper, netpbm writes it as plain PPM, and a pixel is dark
# when its luminance with the toolkit's grey weights (11, 16 and 5 in 32) is below THRESHOLD
# percent of white. A pixel within two steps of the threshold is "?": rounding may go either way.
oracle_rows() {
    $IM "$1" -background white -alpha remove -alpha off -depth 8 ppm:- | pnmtoplainpnm |
        awk -v t="${2:-50}" -v inv="${3:-0}" '{ sub(/#.*/, ""); for (i = 1; i <= NF; i++) tok[n++] = $i }
        END {
            w = tok[1]; h = tok[2]; at = 4
            for (y = 0; y < h; y++) {
                line = sprintf("{%3d}", y)
                for (x = 0; x < w; x++) {
                    lum = int((11 * tok[at] + 16 * tok[at + 1] + 5 * tok[at + 2]) / 32); at += 3
                    d = lum * 100 - t * 255
                    line = line (d * d <= 40000 ? "?" : ((d < 0) != inv) ? "#" : ".")
                }
                print line
            }
        }'
}

# agrees EXPECTED_ROWS TEXT: the pixel rows of TEXT match EXPECTED_ROWS, where "?" takes either.
agrees() {
    awk 'NR == FNR { want[FNR] = $0; rows = FNR; next }
        FNR > 4 && $0 != "" { got[FNR - 4] = $0; n = FNR - 4 }
        END {
            if (n != rows) { print "rows: " n " for " rows; exit 1 }
            for (r = 1; r <= rows; r++) {
                if (length(want[r]) != length(got[r])) { print "row " r - 1 ": width"; exit 1 }
                for (i = 1; i <= length(want[r]); i++) {
                    c = substr(want[r], i, 1)
                    if (c != "?" && c != substr(got[r], i, 1)) { print "row " r - 1 ": " got[r] " for " want[r]; exit 1 }
                }
            }
        }' "$1" "$2"
}

# png1 W H COLOUR0 COLOUR1 BITS: a 1-bit palette PNG written byte by byte, its two palette
# entries given as six hex digits; BITS lists the palette index of every pixel, row by row.
png1() {
    perl -MCompress::Zlib -e '
        my ($w, $h, $c0, $c1, $bits) = @ARGV; $bits =~ s/\s//g; my $raw = "";
        for my $y (0 .. $h - 1) { $raw .= "\0" . pack("B*", substr($bits, $y * $w, $w)) }
        sub chunk { my ($type, $data) = @_; pack("N", length $data) . $type . $data . pack("N", crc32($type . $data)) }
        print "\x89PNG\r\n\x1a\n", chunk("IHDR", pack("NNCCCCC", $w, $h, 1, 3, 0, 0, 0)),
            chunk("PLTE", pack("H6H6", $c0, $c1)), chunk("IDAT", compress($raw)), chunk("IEND", "");
    ' -- "$@"
}
