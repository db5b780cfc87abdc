#!/usr/bin/env bash
# A good symbol from any picture: -threshold=auto, -lines=keep, -trim, -margin, -mirror and
# -rotate, judged by netpbm and Python (tests/symbol.py), never by pictorn itself.
source "$(dirname "$0")/lib.sh"
py() { /usr/bin/python3 "$TESTS/symbol.py" "$@"; }
py make

# text_of PBM: the size line and the rows of a PBM, as netpbm decodes it.
text_of() {
    local w h
    read -r w h < <(pnmtoplainpnm "$1" | sed -n 2p)
    echo "$(((w - 1) / 10)) $(((h - 1) / 10)) 1"
    rows_of_pbm <(pnmtoplainpnm "$1")
}
got() { sed -n '3p;5,$p' "$1" | sed '/^$/d'; }

# A drawing 25 wide, a pixel past three bytes, with paper round it and no symmetry.
awk 'BEGIN { print "P1"; print 25, 13; for (y = 0; y < 13; y++) { l = ""
    for (x = 0; x < 25; x++) l = l ((x >= 4 && x <= 9 && y >= 2 && y <= 8) || (x >= 4 && x <= 19 && y >= 7 && y <= 8) || (x == 21 && y == 10) ? 1 : 0)
    print l } }' | pamtopnm >d.pbm
pnmdepth 255 d.pbm | pnmtopng >grey.png 2>/dev/null
pbmtoxbm d.pbm >d.xbm 2>/dev/null
# Twice as large: shrunk to half, each pixel is four alike, the same blended or kept.
pamenlarge 2 d.pbm >big.pbm
"$PICTORN" -name=DRAWING -package=PKG d.pbm d.src
pbmmake -white 9 7 >blank.pbm
# The same drawing as a vector picture, and its pixels as an independent renderer draws it.
printf '<svg xmlns="http://www.w3.org/2000/svg" width="25" height="13"><path d="M4 2h6v5h10v2h-16z M21 10h1v1h-1z"/></svg>' >d.svg
svg_pbm() { rsvg-convert "$@" d.svg | $IM - -background white -alpha remove -threshold 50% pbm:-; }

# name | arguments | input | the netpbm command giving the expected picture
while IFS='|' read -r name args input oracle; do
    run $args "$input" out.src
    eval "$oracle" >expected.pbm 2>/dev/null
    same "$name" "0:$(text_of expected.pbm)" "$status:$(got out.src)"
done <<'EOF_CASES'
mirror|-mirror=yes|d.pbm|pamflip -lr d.pbm
rotate 90|-rotate=90|d.pbm|pamflip -cw d.pbm
rotate 180|-rotate=180|d.pbm|pamflip -r180 d.pbm
rotate 270|-rotate=270|d.pbm|pamflip -ccw d.pbm
mirror, then rotate|-rotate=90 -mirror=yes|d.pbm|pamflip -lr d.pbm | pamflip -cw
grey picture turned|-mirror=yes -rotate=270|grey.png|pamflip -lr d.pbm | pamflip -ccw
XBM turned and trimmed|-rotate=90 -trim=yes -margin=1|d.xbm|pamflip -cw d.pbm | pnmcrop -white | pnmmargin -white 1
library text turned|-rotate=90|d.src|pamflip -cw d.pbm
rotate 90 sizes the turned picture|-rotate=90 -width=13|big.pbm|pamflip -cw d.pbm
trim|-trim=yes|d.pbm|pnmcrop -white d.pbm
trim of a grey picture|-trim=yes|grey.png|pnmcrop -white d.pbm
trim, -width sizes the drawing|-trim=yes -width=18|big.pbm|pnmcrop -white d.pbm
trim inverted: the light pixels|-trim=yes -invert=yes|d.pbm|pnmcrop -black d.pbm | pnminvert
trim of paper alone keeps it whole|-trim=yes|blank.pbm|cat blank.pbm
margin 3|-margin=3|d.pbm|pnmmargin -white 3 d.pbm
margin 8|-margin=8|d.pbm|pnmmargin -white 8 d.pbm
margin after scaling|-width=25 -margin=9|big.pbm|pnmmargin -white 9 d.pbm
margin, inverted|-margin=2 -invert=yes|d.pbm|pnminvert d.pbm | pnmmargin -white 2
kept lines, shrunk by whole pixels|-lines=keep -width=25|big.pbm|cat d.pbm
trim, turn, margin all at once|-trim=yes -margin=2 -rotate=270 -mirror=yes|d.pbm|pamflip -lr d.pbm | pamflip -ccw | pnmcrop -white | pnmmargin -white 2
SVG turned|-rotate=90|d.svg|svg_pbm | pamflip -cw
SVG trimmed, turned, margin|-trim=yes -rotate=270 -margin=1|d.svg|svg_pbm | pamflip -ccw | pnmcrop -white | pnmmargin -white 1
SVG trimmed, -width sizes the drawing|-trim=yes -width=36|d.svg|svg_pbm -w 50 | pnmcrop -white
EOF_CASES
run -rotate=90 d.src out.src
same "library text turned keeps its name and package" "'DRAWING'|'PKG'" "$(sed -n 1,2p out.src | paste -sd'|')"

# -threshold=auto: the level Otsu's method picks, as Python computes it, said with -v and the
# same file as that level given; inverted the same split swapped. A 1-bit picture with two greys
# of its own is split between them.
png1 8 2 303030 c0c0c0 "01111110 10000001" >two.png
for input in pencil.png three.png tail.png two.png; do
    p=$(py otsu "$input")
    run -v -threshold=auto "$input" auto.src
    same "$input: level chosen" "0|Threshold chosen: $p" "$status|$(grep -o 'Threshold chosen: [0-9]*' <<<"$err")"
    check "$input: rows at $p" agrees <(/usr/bin/python3 "$TESTS/pil_rows.py" "$input" "$p") auto.src
    for keys in "" "-invert=yes" "-dither=yes" "-trim=yes"; do
        run $keys -threshold=auto "$input" auto.src
        run $keys -threshold="$p" "$input" given.src
        same_file "$input $keys: auto as $p" given.src auto.src
    done
done
run pencil.png out.src
same "pencil at the default threshold: all light" "" "$(tail -n +5 out.src | tr -d '{} 0-9.\n')"
run -v -width=23 -threshold=auto pencil.png auto.src
p=$(grep -o 'Threshold chosen: [0-9]*' <<<"$err" | grep -o '[0-9]*$')
run -width=23 -threshold="$p" pencil.png given.src
same_file "scaled: auto as the level it chose ($p)" given.src auto.src

# -lines=keep: a thin circle and spoke shrunk eight times stay one closed stroke, in dark or,
# inverted, in light; blended, they fade. A solid square grows by at most a pixel a side.
run -width=50 -lines=keep ring.pbm out.src
check "kept lines: one closed stroke" py stroke out.src
pnminvert ring.pbm >white-ring.pbm
run -width=50 -lines=keep -invert=yes white-ring.pbm out.src
check "kept light lines, inverted: one closed stroke" py stroke out.src
run -width=50 ring.pbm out.src
check "blended lines break" test "$(py stroke out.src; echo $?)" = 1
run -width=75 d.pbm blend.src
run -width=75 -lines=keep d.pbm out.src
same_file "kept lines grow as blended ones" blend.src out.src
pbmmake -white 400 400 | pnmpaste <(pbmmake -black 201 201) 100 100 >square.pbm
run -width=50 -lines=keep square.pbm out.src
# Pixel i covers 8i to 8i + 7: those from 12 to 37 touch the square (100 to 300, 12.5 to 37.6).
check "kept square: the pixels it touches" agrees <(awk 'BEGIN { for (y = 0; y < 50; y++) {
    l = sprintf("{%3d}", y); for (x = 0; x < 50; x++) l = l (x >= 12 && x <= 37 && y >= 12 && y <= 37 ? "#" : ".")
    print l } }') out.src

# A shape only in the transparency: -v says where it is; none when there is no transparency.
run -v alpha.png out.src
check "shape in transparency: the hint" grep -q "try -alpha=shape (Shape from transparency (Alt+A)" <<<"$err"
$IM alpha.png -background white -alpha remove -alpha off PNG24:opaque.png
run -v opaque.png out.src
check "opaque white: no hint" test -z "$(grep alpha=shape <<<"$err")"

for arg in -threshold=automatic -lines=thin -lines=yes -trim=1 -margin=-1 -margin=1025 -margin=x \
    -mirror=no2 -rotate=45 -rotate=360 -rotate=-90 -rotate=90.0; do
    run d.pbm "$arg"
    same "$arg" "4:Bad value - '$arg'" "$status:$err"
done

finish
