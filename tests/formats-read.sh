#!/usr/bin/env bash
# Reading every format honestly: sizes that the pixel data cannot hold, files cut short, sides
# past the largest, 16-bit colour keys and pictures, huge files judged by their first bytes, the
# shape of transparency, and the finer points of the reduction that each reader feeds.
source "$(dirname "$0")/lib.sh"

# bounded KIB EXPECTED ARGS...: runs pictorn within KIB KiB of memory at its peak and compares
# "status:standard error" with EXPECTED.
bounded() {
    local limit=$1 expected=$2 peak
    shift 2
    timeout 20 /usr/bin/time -f %M -o "$WORK/.peak" "$PICTORN" "$@" 2>"$WORK/.stderr"
    status=$?
    err=$(cat "$WORK/.stderr")
    peak=$(tail -n 1 "$WORK/.peak")
    if [ "$status:$err" != "$expected" ]; then
        fail "$label" "expected '$expected', got '$status:$err'"
    elif [ "$peak" -gt "$limit" ]; then
        fail "$label: used $peak KiB"
    else
        pass
    fi
}

# A lossless WebP of one colour at any size, its pixels coded in no bits at all, then PAD zeros;
# with ODD, its chunk is of an odd length, followed by the padding byte the format asks.
webp_of_one_colour() {
    perl -e 'my ($w, $h, $pad, $odd) = @ARGV; my @bits;
        sub put { my ($v, $n) = @_; push @bits, ($v >> $_) & 1 for 0 .. $n - 1 }
        put(0x2f, 8); put($w - 1, 14); put($h - 1, 14); put(0, 4); put(0, 3);
        for (1 .. 4) { put(1, 1); put(0, 1); put(1, 1); put(255, 8) }
        put(1, 1); put(0, 3);
        push @bits, 0 while @bits % 16; my $data = pack("b*", join "", @bits) . ($odd ? "\0" : "");
        my $chunk = "VP8L" . pack("V", length $data) . $data . "\0" x (length($data) % 2);
        print "RIFF", pack("V", 4 + length $chunk), "WEBP", $chunk, "\0" x $pad' -- "$@"
}

# Files that claim more pixels than their pixel data can hold, padded with comments or zeros so
# that the file itself is large enough, are refused before anything is decoded.
$IM -size 16x16 xc:white -quality 50 small.jpg
perl -e 'local $/; my $j = <STDIN>; $j =~ s/\xff\xc0(...)..../"\xff\xc0$1" . pack("nn", 16384, 16384)/se or die;
    substr($j, 2, 0) = ("\xff\xfe" . pack("n", 65002) . ("x" x 65000)) x 5; print $j' <small.jpg >padded.jpg
webp_of_one_colour 200 150 0 >plain.webp
webp_of_one_colour 12000 12000 16384 >padded.webp
$IM -size 16x16 xc:white small.gif
perl -e 'local $/; my $g = <STDIN>; my $b = ord substr($g, 10, 1);
    my $i = 13 + ($b & 0x80 ? 3 << (($b & 7) + 1) : 0);
    while (substr($g, $i, 1) eq "\x21") { $i += 2; $i += ord(substr($g, $i, 1)) + 1 while ord substr($g, $i, 1); $i++ }
    substr($g, 6, 4) = pack("vv", 16384, 16384); substr($g, $i + 5, 4) = pack("vv", 16384, 16384);
    substr($g, $i, 0) = "\x21\xfe" . ("\xff" . "x" x 255) x 300 . "\0"; print $g' <small.gif >padded.gif
ppmmake black 16 16 >small.ppm
pnmtopng -force -alpha=<(pgmmake 0.5 16 16) small.ppm >small.png
perl -MCompress::Zlib -e 'local $/; my $p = <STDIN>; substr($p, 16, 8) = pack("NN", 16384, 16384);
    substr($p, 29, 4) = pack("N", crc32(substr($p, 12, 17)));
    my $text = "Comment\0" . "x" x 40000; my $chunk = pack("N", length $text) . "tEXt" . $text;
    substr($p, 33, 0) = $chunk . pack("N", crc32(substr($chunk, 4))); print $p' <small.png >padded.png
label="WebP of one colour, small" bounded 102400 "0:" plain.webp out.src
same "WebP of one colour: rows" "$(oracle_rows plain.webp | sed -n 1p)" "$(sed -n 5p out.src)"
for input in padded.jpg padded.webp padded.gif padded.png; do
    label="$input: refused" bounded 102400 "1:" "$input" out.src
done
# Refused as a lie, not for want of the memory its claim would take.
if [ -z "${ASAN_OPTIONS:-}" ]; then
    (ulimit -v 200000; "$PICTORN" -v padded.png out.src 2>err.txt; echo $? >status.txt)
    same "padded PNG: a lie" "1|File 'padded.png' is not a bitmap" "$(cat status.txt)|$(sed -n 2p err.txt)"
fi

# A vector picture is drawn, not unpacked: a large one in a few bytes is no lie.
printf '<svg xmlns="http://www.w3.org/2000/svg" width="3000" height="2500"/>' >large.svg
run large.svg out.src
same "large SVG in a few bytes" "0:|299 249 1" "$status:$err|$(sed -n 3p out.src)"

# Files cut short are refused, and the whole files they come from convert.
random_pbm 40 30 5 >r.pbm
pnmtojpeg r.pbm >r.jpg
pamtogif r.pbm >r.gif 2>/dev/null
pbmtoxbm r.pbm >r.xbm
pnmtopng r.pbm >r.png
head -c -2 r.jpg >no-end.jpg
head -c -1 r.gif >no-trailer.gif
sed 's/};//' r.xbm >no-brace.xbm
head -c -12 r.png >no-iend.png
head -c 8 r.jpg >header-cut.jpg
perl -e 'local $/; $_ = <STDIN>; my $i = index($_, "IDAT") + 4; my $n = unpack("N", substr($_, $i - 8, 4));
    print substr($_, 0, $i + int($n / 2))' <r.png >cut-idat.png
perl -e 'local $/; $_ = <STDIN>; substr($_, index($_, "IDAT") + 6, 1) ^= "\x01"; print' <r.png >bad-crc.png
perl -e 'local $/; $_ = <STDIN>; substr($_, rindex($_, "IEND") - 4, 0) = pack("N", 4) . "tEXtab\0c" . pack("N", 0);
    print' <r.png >late-bad-crc.png
for input in r.jpg r.gif r.xbm r.png; do
    run "$input" out.src
    same "$input: whole" "0:" "$status:$err"
done
run r.png out.src
rows_of_pbm r.pbm >expected
sed -n '5,$p' out.src | sed '$d' >rows
same_file "PNG rows" expected rows
for input in header-cut.jpg no-end.jpg no-trailer.gif no-brace.xbm no-iend.png cut-idat.png bad-crc.png late-bad-crc.png; do
    rm -f out.src
    run -v "$input" out.src
    same "$input: refused" "1|File '$input' is not a bitmap" "$status|$(sed -n 2p <<<"$err")"
    check "$input: nothing written" test ! -e out.src
done

# Interlaced PNGs, 1-bit and in colour, give the same rows.
pnmtopng -interlace r.pbm >interlaced1.png
pnmdepth 255 r.pbm 2>/dev/null | ppmtoppm | pnmtopng -force -interlace >interlaced.png
for input in interlaced1.png interlaced.png; do
    run "$input" out.src
    sed -n '5,$p' out.src | sed '$d' >rows
    same_file "$input: rows" expected rows
done

# Each side at most 16384, in every format.
pbmmake -white 1 16385 >tall.pbm
pnmtopng tall.pbm >tall.png
pbmmake -white 16384 1 >wide.pbm
pnmtopng wide.pbm >wide.png
for input in tall.pbm tall.png; do
    run "$input" out.src
    same "$input: 1 x 16385 refused" "1:" "$status:$err"
done
for input in wide.pbm wide.png; do
    run "$input" out.src
    same "$input: 16384 x 1" "0:|1638 0 1" "$status:$err|$(sed -n 3p out.src)"
done

# A 16-bit colour key is compared at 16 bits: a colour that differs from it only in the low
# bytes stays opaque. (ImageMagick is the oracle: Debian 12's pngtopnm -mix and Pillow leave such
# a key unapplied.)
perl -e 'srand(3); my @c = ("4660 22136 39612", "4608 22016 39424", "0 0 0", "65535 65535 65535");
    print "P3\n24 16\n65535\n"; print join(" ", map { $c[int rand 4] } 1 .. 24), "\n" for 1 .. 16' >key16.ppm
pnmtopng -transparent==rgb:1234/5678/9abc key16.ppm >key16.png 2>/dev/null
run key16.png out.src
same "16-bit colour key: status" "0:" "$status:$err"
check "16-bit colour key: rows as seen on white" agrees <(oracle_rows key16.png) out.src

# 16-bit pictures past 4096 x 4096 read in full, and short of memory say so.
ppmmake -maxval 65535 rgb:1234/2345/3456 2050 4100 >left.ppm
ppmmake -maxval 65535 rgb:fedc/edcb/dcba 2050 4100 >right.ppm
pnmcat -lr left.ppm right.ppm >big16.ppm
pnmtopng -force big16.ppm >big16.png
pnmtopng -force -interlace big16.ppm >big16i.png
$IM big16.ppm -depth 16 -compress zip big16.tiff
row=$(printf '{  0}%s%s' "$(printf '#%.0s' $(seq 2050))" "$(printf '.%.0s' $(seq 2050))")
for input in big16.png big16i.png big16.tiff; do
    run "$input" out.src
    same "$input: 4100 x 4100 at 16 bits" "0:|409 409 1|$row" "$status:$err|$(sed -n 3p out.src)|$(sed -n 5p out.src)"
done
label="16-bit PNG in little memory" bounded 65536 "0:" big16.png out.src
label="16-bit interlaced PNG in little memory" bounded 65536 "0:" big16i.png out.src
if [ -z "${ASAN_OPTIONS:-}" ]; then
    (ulimit -v 200000; "$PICTORN" -v big16.tiff out.src 2>err.txt; echo $? >status.txt)
    same "16-bit TIFF short of memory" "1|Not enough memory for 'big16.tiff'" \
        "$(cat status.txt)|$(sed -n 2p err.txt)"
fi

# A huge file is judged by its first bytes: zeros are refused, and a BMP's headers say how much
# of the file is its own, the rest left unread.
truncate -s 4G zeros.bmp
ppmtobmp r.pbm >r.bmp 2>/dev/null
cp r.bmp followed.bmp
truncate -s +4G followed.bmp
truncate -s 4G zeros.tga
cp r.png long.png
truncate -s 2G long.png
label="4 GiB of zeros named .bmp" bounded 40960 "1:" zeros.bmp out.src
label="4 GiB of zeros named .tga" bounded 40960 "1:" zeros.tga out.src
truncate -s 900M zeros900.bmp
label="900 MiB of zeros named .bmp" bounded 40960 "1:" zeros900.bmp out.src
label="PNG followed by 2 GiB of zeros" bounded 40960 "1:" long.png out.src
label="BMP followed by 4 GiB of zeros" bounded 40960 "0:" followed.bmp out.src
expected_text "" "" r.bmp >expected
same_file "BMP followed by zeros: its own rows" expected out.src
printf 'plain text, no picture\n' >note.png
run -v note.png out.src
same "text named .png" "1|File 'note.png' is not a bitmap" "$status|$(sed -n 2p <<<"$err")"

# -alpha=shape: the opacity is the ink, whatever the colours; every reader's transparency.
$IM -size 24x16 xc:none -fill white -draw 'circle 12,8 12,2' PNG32:icon.png
$IM icon.png PNG8:icon8.png
$IM icon.png icon.gif
png1 8 2 ffffff ffffff "00111100 11000011" | perl -MCompress::Zlib -e 'local $/; my $p = <STDIN>;
    my $i = index($p, "IDAT") - 4; my $t = "tRNS\xff\x00";
    substr($p, $i, 0) = pack("N", 2) . $t . pack("N", crc32($t)); print $p' >icon1.png
for input in icon.png icon8.png icon.gif; do
    $IM "$input" -alpha extract -negate shape.png
    run -alpha=shape "$input" out.src
    check "$input: shape" agrees <(oracle_rows shape.png) out.src
    run "$input" out.src
    same "$input: white on white" "" "$(tail -n +5 out.src | tr -d '{}. 0-9\n')"
done
run -alpha=shape icon1.png out.src
same "1-bit PNG with a transparent entry: shape" "{  0}##....##|{  1}..####.." "$(sed -n 5,6p out.src | paste -sd'|')"
run icon1.png out.src
same "1-bit PNG with a transparent entry: white on white" "{  0}........|{  1}........" \
    "$(sed -n 5,6p out.src | paste -sd'|')"
$IM -size 8x64 gradient:white-black -rotate 90 ramp.png
# A 1-bit grey PNG whose black, or white, is its colour key: the other is the shape, and on
# white paper the key is light. Each row: the key, then what the rows of the PBM become.
while read -r key shape plain; do
    pnmtopng -transparent=$key r.pbm >keyed1.png 2>/dev/null
    for keys in "-alpha=shape ${shape}" "-alpha=paper ${plain}"; do
        set -- $keys
        run "$1" keyed1.png out.src
        rows_of_pbm r.pbm | tr '#.' "$2" >expected-keyed
        sed -n '5,$p' out.src | sed '$d' >rows
        same_file "1-bit grey PNG keyed $key, $1" expected-keyed rows
    done
done <<'CASES'
black .# ..
white #. #.
CASES
$IM -size 64x8 xc:red ramp.png -alpha off -compose CopyOpacity -composite PNG32:fading.png
$IM fading.png -alpha extract -negate fading-shape.png
for t in 30 70; do
    run -alpha=shape -threshold=$t fading.png out.src
    check "graded opacity at $t" agrees <(oracle_rows fading-shape.png $t) out.src
done
$IM icon.png -alpha extract -negate shape.png
run -alpha=shape -invert=yes icon.png out.src
check "shape inverted" agrees <(oracle_rows shape.png 50 1) out.src

# A 1-bit picture in two greys: the threshold and the inversion decide which is dark.
png1 8 2 404040 c0c0c0 "00111100 11000011" >greys.png
bmp1 8 2 404040 c0c0c0 "00111100 11000011" >greys.bmp
for input in greys.png greys.bmp; do
    for keys in "-threshold=20" "-threshold=50" "-threshold=80" "-threshold=50 -invert=yes"; do
        t=${keys%% *}
        inv=0
        [[ $keys == *invert* ]] && inv=1
        run $keys "$input" out.src
        check "$input $keys" agrees <(oracle_rows "$input" "${t#-threshold=}" $inv) out.src
    done
done

# Dithering, checked against error diffusion done here: the threshold is its split point, and
# the error of each pixel reaches its neighbours on the next row.
dither_rows() {
    awk -v t="$2" '{ sub(/#.*/, ""); for (i = 1; i <= NF; i++) tok[n++] = $i }
        END {
            w = tok[1]; h = tok[2]; at = 4
            for (y = 0; y < h; y++) {
                for (x = 0; x <= w + 1; x++) { err[x] = nxt[x]; nxt[x] = 0 }
                line = sprintf("{%3d}", y)
                for (x = 0; x < w; x++) {
                    v = tok[at++] + int(err[x + 1] / 16); black = v * 100 < t * 255
                    e = v - (black ? 0 : 255); line = line (black ? "#" : ".")
                    err[x + 2] += e * 7; nxt[x] += e * 3; nxt[x + 1] += e * 5; nxt[x + 2] += e
                }
                print line
            }
        }' "$1"
}
awk 'BEGIN { srand(11); print "P2"; print 40, 12; print 255
    for (y = 0; y < 12; y++) { l = ""; for (x = 0; x < 40; x++) l = l " " int(rand() * 256); print l } }' >noise.pgm
pnmtopng noise.pgm >noise.png
for t in 30 50 80; do
    run -dither=yes -threshold=$t noise.png out.src
    same "dithered at $t" "$(dither_rows noise.pgm $t)" "$(sed -n '5,$p' out.src | sed '$d')"
done

# Palette indexes past the palette's end take its last colour.
perl -MCompress::Zlib -e 'sub chunk { my ($t, $d) = @_; pack("N", length $d) . $t . $d . pack("N", crc32($t . $d)) }
    print "\x89PNG\r\n\x1a\n", chunk("IHDR", pack("NNCCCCC", 4, 1, 2, 3, 0, 0, 0)),
        chunk("PLTE", pack("H6H6", "ffffff", "000000")), chunk("IDAT", compress("\0\x1b")), chunk("IEND", "")' >index.png
run index.png out.src
same "PNG indexes out of range" "0:|{  0}.###" "$status:$err|$(sed -n 5p out.src)"

# An XBM, whose bits run from the least significant, scaled and dithered as the same PBM is.
random_pbm 37 23 9 >bits.pbm
pbmtoxbm bits.pbm >bits.xbm
pamtopnm <bits.pbm >bits-raw.pbm
run -width=50 -dither=yes bits-raw.pbm pbm.src
run -width=50 -dither=yes bits.xbm xbm.src
same_file "XBM scaled and dithered as the PBM" pbm.src xbm.src
check "scaled and dithered has both" grep -q '#.*\.' xbm.src

# Scaling: the side in proportion is rounded, and never below one pixel.
pbmmake -black 1000 1 >line.pbm
run -width=100 line.pbm out.src
same "short side rounds to 1" "0:|9 0 1|{  0}$(printf '#%.0s' $(seq 100))" "$status:$err|$(sed -n 3p out.src)|$(sed -n 5p out.src)"
pbmmake -black 30 20 >box.pbm
run -width=16 box.pbm out.src
same "proportional side rounded: 20 x 16 / 30 = 10.7" "11" "$(($(wc -l <out.src) - 5))"

# PNG layouts, each against ImageMagick's reading: colours as red, green and blue, plain and
# interlaced; greys of 2 and 4 bits. 16-bit samples are rounded to 8 bits, not cut: of 65535,
# 13055 is 50.8 of 255 and 12900 is 50.2, so at 20% (51 and over is light) only the first is light.
awk 'BEGIN { srand(7); print "P3"; print 19, 9; print 255
    for (i = 0; i < 19 * 9; i++) print int(rand() * 2) * 255, int(rand() * 2) * 255, int(rand() * 2) * 255 }' >colours.ppm
for max in 3 15; do
    awk -v m=$max 'BEGIN { srand(m); print "P2"; print 23, 5; print m; for (i = 0; i < 115; i++) print int(rand() * (m + 1)) }' >grey$max.pgm
done
printf 'P2\n2 1\n65535\n13055 12900\n' >grey16.pgm
while IFS='|' read -r label command threshold; do
    eval "$command" >layout.png
    run -threshold=$threshold layout.png out.src
    same "$label: status" "0:" "$status:$err"
    check "$label: rows" agrees <(oracle_rows layout.png $threshold) out.src
done <<'CASES'
colours|pnmtopng -force colours.ppm|25
colours interlaced|pnmtopng -force -interlace colours.ppm|40
greys of 2 bits|pnmtopng grey3.pgm|50
greys of 4 bits|pnmtopng grey15.pgm|50
CASES
pnmtopng grey16.pgm >grey16.png
run -threshold=20 grey16.png out.src
same "16-bit greys rounded" "0:{  0}.#" "$status:$(sed -n 5p out.src)"

# Files judged by their bytes before the toolkit decodes them, against ImageMagick (netpbm for
# TGA, whose rows ImageMagick leaves in the file's order): a JPEG with a restart marker in every
# row of blocks, a WebP whose chunk of odd length is padded, and a TGA (Truevision 2.0, which the
# toolkit asks) known by its name alone, its first bytes made no icon's by an empty colour map. A TGA that claims 3000 x 3000
# pixels in 30 KB, which its uncompressed pixels cannot hold, is a lie.
jpegtran -restart 1 r.jpg >restarts.jpg
webp_of_one_colour 20 10 0 odd >odd.webp
{ pnmdepth 255 r.pbm 2>/dev/null | ppmtoppm | ppmtotga -rgb -norle; printf '\0\0\0\0\0\0\0\0TRUEVISION-XFILE.\0'; } |
    perl -e 'local $/; $_ = <STDIN>; substr($_, 1, 1) = "\1"; substr($_, 7, 1) = "\x18"; print' >r.tga 2>/dev/null
tgatoppm r.tga | pnmtopng >tga.png
for pair in restarts.jpg:restarts.jpg odd.webp:odd.webp r.tga:tga.png; do
    run "${pair%:*}" out.src
    same "${pair%:*}: status" "0:" "$status:$err"
    check "${pair%:*}: rows" agrees <(oracle_rows "${pair#*:}") out.src
done
perl -e 'local $/; my $t = <STDIN>; substr($t, 12, 4) = pack("vv", 3000, 3000);
    substr($t, -26, 0) = "\0" x 30000; print $t' <r.tga >lie.tga
run lie.tga out.src
same "a TGA that lies" "1:" "$status:$err"

# Damaged files whose libraries have their own say leave standard error to pictorn's messages.
$IM r.pbm -compress zip r.tiff
$IM r.pbm r.ico
head -c 100 r.tiff >cut.tiff
perl -e 'local $/; $_ = <STDIN>; substr($_, 40, 4) = "\xff" x 4; print' <r.tiff >bad-data.tiff
head -c 100 r.ico >cut.ico
perl -e 'local $/; $_ = <STDIN>; substr($_, -40, 20) = "\xff\xd3" x 10; print' <r.jpg >bad-scan.jpg
for input in cut.tiff bad-data.tiff cut.ico bad-scan.jpg; do
    run "$input" out.src
    same "$input: nothing on standard error" "" "$err"
done

finish
