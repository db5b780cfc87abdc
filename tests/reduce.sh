#!/usr/bin/env bash
# Pictures that are not 1-bit: laid on white paper, thresholded at half of white by their
# luminance, whatever their depth, palette or transparency; the keys that steer it; the formats.
source "$(dirname "$0")/lib.sh"

# A logo: an anti-aliased black disc and a half-transparent grey bar on a transparent background,
# with a red square and a light yellow one that thresholding must tell apart.
$IM -size 61x43 xc:none -fill black -draw 'circle 30,21 30,3' -fill '#40404080' \
    -draw 'rectangle 0,0 25,8' -fill red -draw 'rectangle 44,30 56,40' -fill '#ffff80' \
    -draw 'rectangle 2,30 14,40' PNG32:logo.png
$IM logo.png -colorspace gray -define png:color-type=4 grey-alpha.png
$IM logo.png PNG64:logo16.png
$IM logo.png -colorspace gray -alpha off -depth 16 -define png:color-type=0 grey16.png
$IM logo.png PNG8:palette-alpha.png
$IM logo.png logo.gif
$IM logo.png -define webp:lossless=true logo.webp
$IM logo.png -type TrueColorAlpha logo.tiff
$IM logo.png -background white -alpha remove -alpha off PNG24:opaque.png
ppmtobmp -bpp 24 <(pngtopnm opaque.png) >opaque24.bmp 2>/dev/null
# A colour key: red is transparent.
pngtopnm -mix -background=rgb:ff/00/00 logo.png 2>/dev/null | pnmtopng -transparent=rgb:ff/00/00 >key.png 2>/dev/null

for input in logo.png grey-alpha.png logo16.png grey16.png palette-alpha.png logo.gif logo.webp \
    logo.tiff opaque.png opaque24.bmp key.png; do
    oracle_rows "$input" >expected
    run "$input" out.src
    same "$input: status" "0:" "$status:$err"
    check "$input: rows as seen on white" agrees expected out.src
done

# The same black-and-white drawing gives the same text in every depth and with any transparency.
$IM -size 23x9 xc:white -fill black -draw 'rectangle 3,2 19,6' -fill white -draw 'point 11,4' \
    -alpha off PNG24:bw.png
"$PICTORN" bw.png bw.src
$IM bw.png -transparent white PNG32:bw-alpha.png
$IM bw.png -transparent white PNG8:bw-trns.png
$IM bw.png -depth 16 PNG48:bw16.png
$IM bw.png -type bilevel bw1.bmp
$IM bw.png -type palette BMP3:bw8.bmp
ppmtobmp -bpp 4 <(pngtopnm bw.png) >bw4.bmp 2>/dev/null
for input in bw-alpha.png bw-trns.png bw16.png bw1.bmp bw8.bmp bw4.bmp; do
    run "$input" out.src
    same_file "$input: as the opaque drawing" bw.src out.src
done

# The keys: threshold, inversion, last of a kind winning wherever it stands.
$IM -size 64x4 gradient:black-white -rotate 90 -rotate -90 ramp.png
$IM -size 4x64 gradient:white-black -rotate 90 ramp.png
for t in 1 25 75 99; do
    oracle_rows ramp.png "$t" >expected
    run -threshold=10 ramp.png out.src -threshold="$t"
    check "threshold $t" agrees expected out.src
done
oracle_rows logo.png 50 1 >expected
run -invert=yes logo.png out.src
check "invert" agrees expected out.src
run -invert=yes -invert=no logo.png out.src
check "invert, then not" agrees <(oracle_rows logo.png) out.src

# Dithering spreads a grey over its area and leaves black and white alone.
$IM -size 64x64 xc:'#808080' grey.png
run -dither=yes grey.png out.src
dark=$(tail -n +5 out.src | tr -cd '#' | wc -c)
check "dithered mid grey is about half dark ($dark of 4096)" test "$dark" -gt 1800 -a "$dark" -lt 2300
run -dither=yes bw.png out.src
same_file "dithered black and white" bw.src out.src
png1 64 64 7f7f7f 808080 "$(printf '0%.0s' $(seq 4096))" >grey-palette.png
run -dither=yes grey-palette.png out.src
dark=$(tail -n +5 out.src | tr -cd '#' | wc -c)
check "dithered 1-bit grey palette is about half dark ($dark of 4096)" test "$dark" -gt 1800 -a "$dark" -lt 2300
run -dither=yes -invert=yes bw.png out.src
same "dithered and inverted" "$(sed -n '5,$p' bw.src | tr '#.' '.#')" "$(sed -n '5,$p' out.src)"

# Sizes: a raster picture scaled smoothly, a vector one drawn at the size asked.
$IM -size 32x16 xc:white -fill black -draw 'rectangle 0,0 15,7' -draw 'rectangle 16,8 31,15' quarters.png
run -height=32 quarters.png out.src
same "height only: width in proportion" "6 3 1" "$(sed -n 3p out.src)"
check "scaled quarters" agrees <(awk 'BEGIN { for (y = 0; y < 32; y++) { l = sprintf("{%3d}", y)
    for (x = 0; x < 64; x++) l = l ((x > 29 && x < 34) || (y > 13 && y < 18) ? "?" : ((x < 32) == (y < 16)) ? "#" : ".")
    print l } }') out.src
# Smooth scaling blends a fine checkerboard into grey, lighter than 30% of white.
$IM -size 8x8 pattern:gray50 checks.png
run -width=4 -threshold=30 checks.png out.src
same "scaled smoothly" "{  0}....|{  3}...." "$(sed -n '5p;8p' out.src | paste -sd'|')"
# Grown, a picture blends between its pixels' centres: black then white, eight times as wide,
# runs from black through greys 32, 96, 159 and 223 to white, so the threshold moves the edge.
bmp1 2 1 ffffff 000000 "10" >edge.bmp
run -width=8 -threshold=30 edge.bmp out.src
same "grown smoothly, threshold 30" "{  0}###....." "$(sed -n 5p out.src)"
run -width=8 -threshold=70 edge.bmp out.src
same "grown smoothly, threshold 70" "{  0}#####..." "$(sed -n 5p out.src)"
# Shrunk, each pixel counts by how much of it is covered: black and four whites into two pixels
# gives the first 40% black (grey 153, light at 55%), not half.
bmp1 5 1 ffffff 000000 "10000" >five.bmp
run -width=2 -threshold=55 five.bmp out.src
same "shrunk by area" "{  0}.." "$(sed -n 5p out.src)"
run -width=2 -threshold=65 five.bmp out.src
same "shrunk by area, a higher threshold" "{  0}#." "$(sed -n 5p out.src)"
printf '<svg xmlns="http://www.w3.org/2000/svg" width="10" height="5"><rect x="2" y="1" width="6" height="3"/></svg>' >box.svg
run -width=40 box.svg out.src
check "SVG at a width" agrees <(awk 'BEGIN { for (y = 0; y < 20; y++) { l = sprintf("{%3d}", y)
    for (x = 0; x < 40; x++) l = l ((x >= 8 && x < 32 && y >= 4 && y < 16) ? "#" : ".")
    print l } }') out.src
run box.svg out.src
same "SVG at its own size" "0 0 1|{  1}..######.." "$(sed -n '3p;6p' out.src | paste -sd'|')"

# Values out of range or not numbers end the run as a key error does.
for arg in -threshold=0 -threshold=100 -threshold=abc -threshold=5x -width=0 -width=16385 \
    -height=-5 -invert=maybe -dither=1; do
    run logo.png "$arg"
    same "$arg" "4:Bad value - '$arg'" "$status:$err"
done
run -width=16384 -height=16384 logo.png out.src
same "largest size" "0:1638 1638 1" "$status:$(sed -n 3p out.src)"
run -width=16384 -height=16385 logo.png out.src
same "a size past the largest" "4:Bad value - '-height=16385'" "$status:$err"

# Run-length data that skips pixels leaves them paper, the same on every run.
perl -e 'my $data = pack("C*", 3, 1, 0, 2, 2, 1, 2, 1, 0, 0, 0, 3, 1, 0, 1, 0, 0, 1);
    my $pal = pack("VV", 0xffffff, 0); my $off = 14 + 40 + 8;
    print "BM", pack("VvvV", $off + length $data, 0, 0, $off),
        pack("VllvvVVllVV", 40, 8, 3, 1, 8, 1, length $data, 0, 0, 2, 2), $pal, $data' >skips.bmp
run skips.bmp first.src
run skips.bmp second.src
same "skipped pixels are paper" "{  0}#.#.....|{  1}.....##.|{  2}###....." "$(sed -n 5,7p first.src | paste -sd'|')"
same_file "the same rows on every run" first.src second.src

finish
