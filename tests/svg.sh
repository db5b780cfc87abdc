#!/usr/bin/env bash
# SVG: drawn as rsvg-convert draws it (the oracle, its PNG thresholded by ImageMagick and netpbm),
# from nothing outside the file but data: URIs, in bounded memory and in bands whose dithering
# runs on unbroken.
source "$(dirname "$0")/lib.sh"

svg_open='<svg xmlns="http://www.w3.org/2000/svg" xmlns:xlink="http://www.w3.org/1999/xlink"'

# drawn_as NAME SVG ARGS...: pictorn's text for SVG (with ARGS) agrees with the oracle's rows of
# rsvg-convert's drawing of the same file; rsvg-convert takes -w/-h from ARGS' -width/-height.
drawn_as() {
    local name=$1 svg=$2
    shift 2
    local size=() arg
    for arg in "$@"; do
        case $arg in -width=*) size+=(-w "${arg#-width=}") ;; -height=*) size+=(-h "${arg#-height=}") ;; esac
    done
    rsvg-convert "${size[@]}" "$svg" -o oracle.png
    run "$@" "$svg" out.src
    same "$name: status and messages" "0:" "$status:$err"
    check "$name: rows" agrees <(oracle_rows oracle.png) out.src
}

# Clipping, masking and text, drawn alike with and without a display.
cat >clip.svg <<EOF
$svg_open width="60" height="40">
  <clipPath id="c"><circle cx="20" cy="20" r="15"/></clipPath>
  <rect width="40" height="40" clip-path="url(#c)"/>
  <mask id="m"><rect width="60" height="40" fill="#fff"/><rect x="45" y="5" width="10" height="30" fill="#000"/></mask>
  <rect x="40" y="0" width="20" height="40" mask="url(#m)"/>
</svg>
EOF
cat >text.svg <<EOF
$svg_open width="90" height="30"><text x="2" y="24" font-family="DejaVu Sans" font-size="24">Rg8</text></svg>
EOF
drawn_as "clip path and mask" clip.svg
drawn_as "text" text.svg
check "text has ink" grep -q '#' out.src
start_xvfb
DISPLAY=$XDISPLAY drawn_as "clip path and mask, display set" clip.svg
DISPLAY=$XDISPLAY drawn_as "text, display set" text.svg
unset DISPLAY

# The sample at a width of its own, its threshold moved and inverted, and compressed.
diode=$TESTS/../examples/diode.svg
drawn_as "-width=40" "$diode" -width=40
drawn_as "-height=50" "$diode" -height=50
rsvg-convert -w 64 "$diode" -o oracle.png
run -width=64 -threshold=80 -invert=yes "$diode" out.src
check "threshold and inversion" agrees <(oracle_rows oracle.png 80 1) out.src
gzip -9c "$diode" >diode.svgz
cp diode.svgz compressed.bin
run -width=40 "$diode" plain.src
for input in diode.svgz compressed.bin; do
    run -width=40 "$input" out.src
    same "$input: status" "0:" "$status:$err"
    same_file "$input: as the plain file" plain.src out.src
done
# Compressed, its element past the first 16 KiB of text is not known as SVG, and no other reader
# takes it either.
{ printf '<!-- %s -->' "$(head -c 20000 /dev/zero | tr '\0' x)"; cat "$diode"; } | gzip -9 >late.svgz
run late.svgz out.src
same "compressed, the element late: refused" "1:" "$status:$err"
run - out.src <"$diode"
same "standard input" "0:" "$status:$err"
# A stream longer than the first look at it is still known as SVG.
{ printf '%100s\n<!-- a -> b %s -->\n' '' "$(head -c 1500000 /dev/zero | tr '\0' x)"; cat "$diode"; } >long.svg
run - out.src <long.svg
same "long standard input" "0:" "$status:$err"
drawn_as "long comment before the document" long.svg

# A document type with declarations of its own comes before the svg element.
{ printf '<?xml version="1.0"?>\n<!DOCTYPE svg PUBLIC "-//W3C//DTD SVG 1.1//EN" "x.dtd" [\n  <!ENTITY ink "#000"> <!-- > -->\n]>\n'
    printf '%s width="20" height="10"><rect width="5" height="5" fill="&ink;"/></svg>' "$svg_open"; } >doctype.svg
drawn_as "document type" doctype.svg
check "document type: entity drawn" grep -q '#' out.src

# The root element with a namespace prefix, and a document after a byte-order mark.
printf '<svg:svg xmlns:svg="http://www.w3.org/2000/svg" width="20" height="10"><svg:rect width="5" height="5"/></svg:svg>' >prefix.svg
drawn_as "root element with a prefix" prefix.svg
printf '\357\273\277%s width="20" height="10"><rect x="3" width="5" height="5"/></svg>' "$svg_open" >bom.svg
drawn_as "byte-order mark" bom.svg

# A side set alone takes the other from the document's exact proportions, not its rounded size.
printf '%s viewBox="0 0 291.042 198.438"><rect width="100" height="100"/></svg>' "$svg_open" >exact.svg
run -width=256 exact.svg out.src
same "other side from the exact proportions" "$(awk 'BEGIN { printf "%d", 198.438 * 256 / 291.042 + 0.5 }')" \
    "$(awk 'NR > 4 && NF { n++ } END { print n }' out.src)"

# A drawing that librsvg fails (a thousand thousand references) is no picture.
levels='<rect id="l0" width="1" height="1"/>'
for i in 1 2 3 4 5 6; do levels="$levels<g id=\"l$i\">$(printf "<use href=\"#l$((i - 1))\"/>%.0s" $(seq 10))</g>"; done
printf '%s width="8" height="8"><defs>%s</defs><rect width="4" height="4"/><use href="#l6"/></svg>' "$svg_open" "$levels" >refs.svg
run refs.svg out.src
same "a drawing that fails: refused" "1:" "$status:$err"

# Each band is drawn on clear pixels: a picture of three bands (2048 rows each at this width)
# whose second draws nothing where the first is black.
printf '%s width="2048" height="4100"><rect width="1024" height="2048"/><rect x="1024" y="4096" width="1024" height="4"/></svg>' \
    "$svg_open" >bands.svg
rsvg-convert bands.svg -o oracle.png
run bands.svg out.src
for top in 2040 4090; do
    $IM oracle.png -crop 2048x10+0+$top +repage crop.png
    same "three bands: rows from $top" "$(oracle_rows crop.png | cut -d} -f2)" "$(sed -n "$((top + 5)),$((top + 14))p" out.src | cut -d} -f2)"
done

# Units count as a browser counts them, and a view box alone gives the size.
printf '%s width="0.25in" height="0.125in" viewBox="0 0 4 2"><rect width="2" height="2"/></svg>' "$svg_open" >inch.svg
run inch.svg out.src
same "a quarter inch is 24 pixels" "24 12" "$(awk 'NR > 4 && NF { n++; w = length($0) - 5 } END { print w, n }' out.src)"
drawn_as "inches" inch.svg
printf '%s width="10.6" height="3.4"><rect width="5" height="2"/></svg>' "$svg_open" >fraction.svg
run fraction.svg out.src
same "sides rounded to the nearest pixel" "11 3" "$(awk 'NR > 4 && NF { n++; w = length($0) - 5 } END { print w, n }' out.src)"
printf '%s viewBox="0 0 30 10"><rect width="10" height="10"/></svg>' "$svg_open" >viewbox.svg
drawn_as "view box only" viewbox.svg
printf '%s width="2" height="3"/>' "$svg_open" >narrow.svg
run -v -width=16384 narrow.svg out.src
same "drawn past the largest size: refused as no picture" "1:File 'narrow.svg' is not a bitmap" \
    "$status:$(sed -n 2p "$WORK/.stderr")"
printf '%s><rect width="10" height="10"/></svg>' "$svg_open" >nosize.svg
run nosize.svg out.src
same "no size at all: refused" "1:" "$status:$err"

# Transparency follows the same rule as every picture's: -alpha=shape inks what is opaque.
printf '%s width="8" height="1"><rect width="4" height="1" fill="#fff"/><rect x="4" width="4" height="1" fill="#000" opacity="0.3"/></svg>' \
    "$svg_open" >alpha.svg
printf '%s width="8" height="2"><rect width="8" height="1" fill="#c0c0c0" opacity="0.5"/><rect y="1" width="8" height="1" fill="#404040" opacity="0.7"/></svg>' \
    "$svg_open" >halftone.svg
rsvg-convert halftone.svg -o oracle.png
run -threshold=80 halftone.svg out.src
check "half-transparent greys" agrees <(oracle_rows oracle.png 80) out.src
run alpha.svg out.src
same "alpha on paper" "{  0}........" "$(sed -n 5p out.src)"
run -alpha=shape alpha.svg out.src
same "alpha as shape" "{  0}####...." "$(sed -n 5p out.src)"

# References out of the file draw nothing, open nothing and never wait: the file itself, standard
# input left open, a FIFO, a local picture, two files naming each other, a file: URL.
pnmtopng <(pbm 2 2 "1 1 1 1") >local.png 2>/dev/null
mkfifo fifo.svg
printf '%s width="12" height="6"><rect width="2" height="2"/></svg>' "$svg_open" >marker.svg
rsvg-convert marker.svg -o oracle.png
oracle_rows oracle.png >marker.rows
for target in self.svg /dev/stdin fifo.svg local.png other.svg "file://$WORK/local.png" /dev/tty; do
    printf '%s width="12" height="6"><rect width="2" height="2"/><image href="%s" width="12" height="6"/><image xlink:href="%s" x="6" width="6" height="6"/></svg>' \
        "$svg_open" "$target" "$target" >self.svg
    printf '%s width="12" height="6"><image href="self.svg" width="12" height="6"/></svg>' "$svg_open" >other.svg
    exec {never}< <(exec sleep 100)
    never_pid=$!
    timeout 20 "$PICTORN" self.svg out.src <&$never 2>stderr
    same "reference to $target: status" "0:" "$?:$(cat stderr)"
    check "reference to $target: nothing drawn from it" agrees marker.rows out.src
    if command -v strace >/dev/null; then
        ASAN_OPTIONS=${ASAN_OPTIONS:-}:detect_leaks=0 timeout 20 strace -f -e trace=open,openat -o trace "$PICTORN" self.svg out.src <&$never 2>/dev/null
        opens=0
        [ "$target" = self.svg ] && opens=1 # pictorn's own input
        same "reference to $target: not opened" "$opens" "$(grep -c "${target#file://}\"" trace)"
    fi
    exec {never}<&-
    kill "$never_pid" 2>/dev/null
done
# Nor do XInclude and style sheets read a file.
echo '<text>secret</text>' >secret.txt
printf '%s width="12" height="6"><style>@import url(secret.txt); @font-face { src: url(secret.txt) }</style><rect width="2" height="2"/><xi:include xmlns:xi="http://www.w3.org/2001/XInclude" href="secret.txt" parse="xml"/></svg>' \
    "$svg_open" >include.svg
if command -v strace >/dev/null; then
    ASAN_OPTIONS=${ASAN_OPTIONS:-}:detect_leaks=0 timeout 20 strace -f -e trace=open,openat -o trace "$PICTORN" include.svg out.src 2>stderr
    same "XInclude and style sheets: status" "0:" "$?:$(cat stderr)"
    same "XInclude and style sheets: not opened" "0" "$(grep -c 'secret.txt' trace)"
    check "XInclude and style sheets: nothing drawn from them" agrees marker.rows out.src
fi

# ... while a picture inside the file, as a data: URI, is drawn.
printf '%s width="32" height="16"><image href="data:image/png;base64,%s" width="32" height="16"/></svg>' \
    "$svg_open" "$(base64 -w0 "$TESTS/../examples/diode.png")" >data.svg
drawn_as "data: picture" data.svg
check "data: picture has ink" grep -q '#' out.src

# Large and hostile documents end in bounded memory with their status.
peak() {
    timeout 60 /usr/bin/time -f %M -o peak "$PICTORN" "$@" 2>stderr
    status=$?
    err=$(grep -v '^Command exited' stderr)
    kib=$(tail -n 1 peak)
}
printf '%s width="16384" height="16384"><circle cx="8192" cy="8192" r="8000"/></svg>' "$svg_open" >huge.svg
peak huge.svg out.src
same "16384 x 16384: status" "0:" "$status:$err"
# (A sanitizer build maps memory of its own: there the figures say nothing of pictorn's.)
[ -n "${ASAN_OPTIONS:-}" ] || check "16384 x 16384: peak memory $kib KiB under 100 MiB" test "$kib" -lt 102400
same "16384 x 16384: the circle's middle row" "{8192}$(printf '.%.0s' $(seq 192))$(printf '#%.0s' $(seq 16000))$(printf '.%.0s' $(seq 192))" \
    "$(sed -n 8197p out.src)"
rm -f out.src
printf '%s width="16385" height="10"/>' "$svg_open" >wide.svg
peak wide.svg out.src
same "16385 wide: refused" "1:" "$status:$err"
{ printf '%s width="10" height="10">' "$svg_open"; head -c 70000000 /dev/zero | tr '\0' ' '; printf '</svg>'; } |
    gzip -9 >bomb.svgz
peak bomb.svgz out.src
same "70 MB of blanks in $(stat -c %s bomb.svgz) bytes: refused" "1:" "$status:$err"
[ -n "${ASAN_OPTIONS:-}" ] || check "blanks: peak memory $kib KiB under 200 MiB" test "$kib" -lt 204800
{ printf '%s width="10" height="10">' "$svg_open"; printf '<g>%.0s' $(seq 100000); printf '</g>%.0s' $(seq 100000); printf '</svg>'; } >deep.svg
peak deep.svg out.src
same "100000 nested groups: refused" "1:" "$status:$err"
printf '%s width="20" height="20"><text font-size="1e30" y="10">AB</text></svg>' "$svg_open" >enormous.svg
peak enormous.svg out.src
same "text of an enormous size, which brings librsvg down: refused quietly" "1:" "$status:$err"
check "nothing written for a refused file" test ! -e out.src

# The helper that draws is judged by its exit status and by what it writes, whatever the caller did
# with SIGCHLD: every failure refuses the file and writes nothing. A copy of pictorn finds a fake
# helper where the installed one lives; it gives the size "12 6", then 72 bytes of black and "ok".
ignoring_chld() { perl -e '$SIG{CHLD} = "IGNORE"; exec @ARGV' "$@"; }
mkdir -p fake/bin fake/lib/pictorn
cp "$PICTORN" fake/bin/pictorn
size='[ $# = 2 ] && { printf "12 6\n"; exit 0; }'
rows='head -c 72 /dev/zero'
while IFS='|' read -r name helper want; do
    printf '#!/bin/sh\n%s\n' "$helper" >fake/lib/pictorn/pictorn-svg
    chmod +x fake/lib/pictorn/pictorn-svg
    for launch in "" ignoring_chld; do
        rm -f out.src
        $launch fake/bin/pictorn -v marker.svg out.src 2>stderr
        same "fake helper, $name${launch:+, SIGCHLD ignored}" "$want" "$?:$(sed -n 2p stderr)"
        if [ "${want%%:*}" = 0 ]; then
            same "fake helper: its rows reduced" "{  5}############" "$(sed -n 10p out.src)"
        else
            check "fake helper, $name: nothing written" test ! -e out.src
        fi
    done
done <<EOF
draws|$size; $rows; printf 'ok\n'|0:Converting QBitmap to QImage
size, then a crash|printf '12 6\n'; kill -SEGV \$\$|1:File 'marker.svg' is not a bitmap
size, then status 1|printf '12 6\n'; exit 1|1:File 'marker.svg' is not a bitmap
killed|kill -KILL \$\$|1:File 'marker.svg' is not a bitmap
three sides|printf '12 6 7\n'|1:File 'marker.svg' is not a bitmap
a side past the largest|printf '16384.5 6\n'|1:File 'marker.svg' is not a bitmap
not a number|printf 'nan 6\n'|1:File 'marker.svg' is not a bitmap
size without its line end|printf '12 6'|1:File 'marker.svg' is not a bitmap
out of memory|exit 2|1:Not enough memory for 'marker.svg'
rows, then a crash|$size; $rows; printf 'ok\n'; kill -SEGV \$\$|1:File 'marker.svg' is not a bitmap
rows, then status 1|$size; $rows; printf 'ok\n'; exit 1|1:File 'marker.svg' is not a bitmap
a row short|$size; head -c 71 /dev/zero; printf 'ok\n'|1:File 'marker.svg' is not a bitmap
rows without ok|$size; $rows|1:File 'marker.svg' is not a bitmap
more after ok|$size; $rows; printf 'ok\nx'|1:File 'marker.svg' is not a bitmap
out of memory while drawing|$size; $rows; exit 2|1:Not enough memory for 'marker.svg'
EOF

# The real helper's own failures: a crash with SIGCHLD ignored, and a document that passes its
# processor time.
rm -f out.src
ignoring_chld "$PICTORN" enormous.svg out.src 2>stderr
same "text of an enormous size, SIGCHLD ignored: refused" "1:" "$?:$(cat stderr)"
check "SIGCHLD ignored: nothing written" test ! -e out.src
printf '%s width="400" height="400"><filter id="t"><feTurbulence baseFrequency="0.01" numOctaves="24"/></filter>%s</svg>' \
    "$svg_open" "$(printf '<rect width="400" height="400" filter="url(#t)" opacity="0.5"/>%.0s' $(seq 10))" >slow.svg
(ulimit -t 1 && exec "$PICTORN" slow.svg out.src 2>stderr)
same "past its processor time: refused" "1:" "$?:$(cat stderr)"
check "past its processor time: nothing written" test ! -e out.src

# Pictures inside a document obey the limits of a picture file: a PNG whose header claims more
# pixels than its bytes hold, or a side past the largest, refuses the document; a small one draws.
while read -r w h want; do
    perl -MCompress::Zlib -e 'my ($w, $h) = @ARGV;
        sub chunk { my ($t, $d) = @_; pack("N", length $d) . $t . $d . pack("N", crc32($t . $d)) }
        print "\x89PNG\r\n\x1a\n", chunk("IHDR", pack("NNCCCCC", $w, $h, 1, 0, 0, 0, 0)),
            chunk("IDAT", compress("\0" x 10)), chunk("IEND", "")' "$w" "$h" >claim.png
    printf '%s width="8" height="8"><rect width="4" height="4"/><image width="8" height="8" href="data:image/png;base64,%s"/></svg>' \
        "$svg_open" "$(base64 -w0 claim.png)" >claim.svg
    run claim.svg out.src
    same "data: PNG claiming $w x $h" "$want" "$status:$err"
done <<EOF
16384 16384 1:
16385 1 1:
100 100 0:
EOF

# The helper's limits, as pictorn passes them to it: a document that needs more memory than the
# GiB pictorn gives is refused for memory; run directly with one second of processor time, the
# slow document ends it, and with 64 MiB of memory, any document is refused for memory (status 2).
printf '%s width="16384" height="16384"><filter id="b"><feGaussianBlur stdDeviation="3"/></filter><rect width="16384" height="16384" filter="url(#b)"/></svg>' \
    "$svg_open" >blurred.svg
run -v blurred.svg out.src
same "a blur of the largest size: refused for memory" "1:Not enough memory for 'blurred.svg'" \
    "$status:$(sed -n 2p "$WORK/.stderr")"
helper=$(dirname "$PICTORN")/pictorn-svg
("$helper" 1 1024 400 400 0 <slow.svg >drawn) 2>/dev/null
status=$?
check "helper given a second: ended by its limit ($status)" test "$status" -gt 128 -a ! -s drawn
"$helper" 60 64 <text.svg >drawn
same "helper given 64 MiB: refused for memory" "2:" "$?:$(cat drawn)"

# Dithering runs on across bands: a grey page taller than a band reduces as the same grey given
# whole as a PNG does.
printf '%s width="4096" height="1100"><rect width="4096" height="1100" fill="#808080"/></svg>' "$svg_open" >grey.svg
rsvg-convert grey.svg -o grey.png
run -dither=yes grey.svg banded.src
same "grey page: status" "0:" "$status:$err"
run -dither=yes grey.png whole.src
same_file "grey page dithered in bands as whole" whole.src banded.src

finish
