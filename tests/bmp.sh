#!/usr/bin/env bash
# BMP files of every header size, bit count, compression and mask layout, built byte by byte
# here: their rows match an independent decoder (Pillow, or ImageMagick for masks Pillow does not
# take), or, for layouts neither reads, black-and-white pictures whose rows are known as they are
# built. Damaged and lying files are refused with status 1 and nothing written.
source "$(dirname "$0")/lib.sh"

# make_bmp OUT [options]: writes a BMP byte by byte (see tests/make_bmp.py for the options).
make_bmp() { /usr/bin/python3 "$TESTS/make_bmp.py" "$@"; }

# pil_rows PICTURE THRESHOLD [shape]: the rows Pillow's decoder gives, by the same rule as
# oracle_rows; with "shape", opacity alone is the ink.
pil_rows() { /usr/bin/python3 "$TESTS/pil_rows.py" "$@"; }

# pnm_rows PICTURE THRESHOLD: the rows netpbm's decoder gives, by the same rule.
pnm_rows() {
    bmptopnm "$1" 2>/dev/null | pnmtoplainpnm | awk -v t="$2" '{ sub(/#.*/, ""); for (i = 1; i <= NF; i++) tok[n++] = $i }
        END {
            w = tok[1]; h = tok[2]; max = tok[3]; at = 4
            for (y = 0; y < h; y++) {
                line = sprintf("{%3d}", y)
                for (x = 0; x < w; x++) {
                    for (c = 0; c < 3; c++) v[c] = int(tok[at++] * 255 / max + 0.5)
                    d = int((11 * v[0] + 16 * v[1] + 5 * v[2]) / 32) * 100 - t * 255
                    line = line (d * d <= 40000 ? "?" : d < 0 ? "#" : ".")
                }
                print line
            }
        }'
}

# converts LABEL ORACLE FILE: pictorn converts FILE at three thresholds to the rows ORACLE gives.
converts() {
    local t
    for t in 30 50 70; do
        run -threshold=$t "$3" out.src
        same "$1 at $t%: status" "0:" "$status:$err"
        "$2" "$3" "$t" >expected.rows
        check "$1 at $t%: rows" agrees expected.rows out.src
    done
}

# Every layout an independent decoder reads: OS/2 1.x and 2.x, Windows headers of each version,
# each bit count and compression, both row orders, short palettes, widths that do and do not end
# on a byte. Pillow reads most; ImageMagick the masks Pillow does not take (10-bit colours, the
# 56-byte header); netpbm the 4-bit run-length data with absolute runs of odd length, which Pillow
# misreads (so its 64-byte case has even ones only).
while read -r oracle info depth comp size more; do
    make_bmp pic.bmp --info "$info" --depth "$depth" --comp "$comp" --size "$size" $more --seed "$info$depth$comp"
    converts "$info-byte header, $depth bits, compression $comp, $size $more" "$oracle" pic.bmp
done <<CASES
pil_rows 12 1 0 13x5
pil_rows 12 4 0 9x4
pil_rows 12 8 0 17x3 --colours 40
pil_rows 12 24 0 7x6
pil_rows 64 1 0 33x2
pil_rows 64 4 0 11x3 --colours 5
pil_rows 64 8 0 13x5
pil_rows 64 24 0 10x4
pil_rows 64 8 1 29x4 --colours 6
pil_rows 64 4 2 30x3 --colours 3 --even
pil_rows 40 1 0 1x1
pil_rows 40 1 0 35x4 --topdown
pil_rows 40 4 0 13x5 --topdown
pil_rows 40 8 0 13x5 --colours 17
pil_rows 40 8 0 12x3 --topdown
pil_rows 40 16 0 13x5
pil_rows 40 16 0 14x3 --topdown
pil_rows 40 24 0 13x5
pil_rows 40 24 0 5x3 --topdown
pil_rows 40 32 0 13x5
pil_rows 40 16 3 13x5 --masks f800,7e0,1f
pil_rows 40 16 3 6x4 --masks 7c00,3e0,1f --topdown
pil_rows 40 32 3 13x5 --masks ff000000,ff0000,ff00
pil_rows 40 8 1 31x6 --colours 7
pil_rows 40 8 1 40x2
pnm_rows 40 8 1 23x5
pnm_rows 40 4 2 31x6 --colours 9
pnm_rows 40 4 2 8x3
pil_rows 108 8 0 13x5 --topdown
pil_rows 108 32 3 13x5 --masks ff0000,ff00,ff,ff000000
pil_rows 124 32 3 13x5 --masks ff,ff00,ff0000,ff000000 --topdown
pil_rows 124 24 0 13x5
pil_rows 124 16 3 9x3 --masks f800,7e0,1f
pnm_rows 124 4 2 21x4
oracle_rows 40 32 3 13x5 --masks 3ff00000,ffc00,3ff
oracle_rows 40 32 3 13x5 --masks 3ff,ffc00,3ff00000
oracle_rows 56 32 3 13x5 --masks ff0000,ff00,ff,ff000000
oracle_rows 56 32 3 13x5 --masks ffc00000,3ff000,fc0,3f
CASES

# Layouts no common decoder reads: black-and-white pictures, or opaque black on transparent,
# whose rows are the pattern they are built from.
while read -r size more; do
    w=${size%x*} h=${size#*x}
    random_pbm "$w" "$h" "$w$h${#more}" >pattern.pbm
    make_bmp pic.bmp --size "$size" --bits "$(tail -n +3 pattern.pbm | tr -d '\n')" $more
    run pic.bmp out.src
    same "$size $more: status" "0:" "$status:$err"
    same "$size $more: rows" "$(rows_of_pbm pattern.pbm)" "$(sed -n "5,$((h + 4))p" out.src)"
done <<CASES
13x5 --info 16 --depth 1
12x3 --info 16 --depth 4 --topdown
7x4 --info 16 --depth 8
9x2 --info 16 --depth 24
13x5 --depth 2
3x7 --depth 2 --topdown --colours 3
13x5 --depth 32 --comp 6 --masks ff0000,ff00,ff,ff000000
11x3 --depth 16 --comp 6 --masks f00,f0,f,f000 --topdown
13x5 --info 56 --depth 16 --comp 3 --masks f00,f0,f,f000
13x5 --info 124 --depth 16 --comp 3 --masks 7c00,3e0,1f,8000
13x5 --info 108 --depth 32 --comp 3 --masks 1,2,4,8
13x5 --info 52 --depth 16 --comp 3 --masks 3,c,30
13x5 --info 124 --depth 24 --profile ICC-PROFILE-DATA
13x5 --depth 8 --claim 256 --colours 2 --dark 255
CASES

# Channels of any width are scaled to 8 bits by rounding: 10-bit greys of 511 and 512 are 127.4
# and 127.6 of 255, dark and light at half of white; a 20-bit red at its full is the red of 8
# bits, lighter than 30% of white.
while read -r threshold masks values expected; do
    make_bmp pic.bmp --info 124 --depth 32 --comp 3 --size 4x2 --masks "$masks" --values "$values"
    run -threshold="$threshold" pic.bmp out.src
    same "masks $masks, pixels $values" "$expected" "$(sed -n 5,6p out.src | paste -sd'|')"
done <<CASES
50 3ff00000,ffc00,3ff 1ff7fdff,20080200 {  0}#.#.|{  1}#.#.
30 fffff000,fc0,3f 0,fffff000 {  0}#.#.|{  1}#.#.
CASES

# With -alpha=shape, opacity alone is the ink, in bit-field pictures as Pillow reads them.
for masks in ff0000,ff00,ff,ff000000 ff,ff00,ff0000,ff000000; do
    make_bmp pic.bmp --info 124 --depth 32 --comp 3 --size 13x5 --masks "$masks"
    run -alpha=shape pic.bmp out.src
    pil_rows pic.bmp 50 shape >expected.rows
    check "-alpha=shape, masks $masks" agrees expected.rows out.src
done

# refused LABEL FILE: pictorn refuses FILE as no picture (not for want of memory), with status 1
# and nothing written.
refused() {
    rm -f out.src
    run -v "$2" out.src
    same "$1: status and messages" "1|File '$2' is not a bitmap|Bitmap file '$2' cannot be opened" \
        "$status|$(sed -n 2,3p <<<"$err" | paste -sd'|')"
    check "$1: nothing written" test ! -e out.src
}

# poke FILE OFFSET FORMAT VALUE: overwrites the bytes at OFFSET with perl's pack of VALUE.
poke() {
    perl -e 'my ($file, $at, $format, $value) = @ARGV; open my $f, "+<", $file or die;
        seek $f, $at, 0; print $f pack($format, $value)' -- "$@"
}

# Headers that lie or do not go together, each in a file that is otherwise whole. The damage is
# a value written over the header (offset, pack format, value) or the file cut to a length.
while IFS='|' read -r label make damage; do
    make_bmp bad.bmp $make
    case $damage in
    cut*) truncate -s "${damage#cut }" bad.bmp ;;
    ?*)
        IFS=';' read -ra pokes <<<"$damage"
        for p in "${pokes[@]}"; do poke bad.bmp $p; done
        ;;
    esac
    refused "$label" bad.bmp
done <<CASES
information header of 20 bytes|--depth 8|14 V 20
information header of 41 bytes|--depth 8|14 V 41
information header of 0 bytes|--depth 1|14 V 0
file ends inside the information header|--info 124 --size 1x1|cut 100
file ends inside a 40-byte information header|--depth 1 --size 1x1|cut 36
pixel data past the end of the file|--depth 24|10 V 100000
pixel data inside the headers|--depth 24|10 V 40
no room for a palette before the pixel data|--depth 8|10 V 54
pixel data inside the masks|--depth 32 --comp 3 --masks ff0000,ff00,ff|10 V 58
width 0|--depth 24|18 l 0
width -13|--depth 24|18 l -13
width 16385|--depth 24|18 l 16385
height 0|--depth 24|22 l 0
height 16385|--depth 1|22 l 16385
height -16385|--depth 1|22 l -16385
OS/2 1.x width 0|--info 12 --depth 8|18 v 0
OS/2 1.x height 0|--info 12 --depth 8|20 v 0
bit count 0|--depth 24|28 v 0
bit count 3|--depth 4|28 v 3
bit count 5|--depth 4|28 v 5
bit count 48|--depth 24|28 v 48
bit count 64|--depth 32|28 v 64
JPEG inside|--depth 24|30 V 4
PNG inside|--depth 24|30 V 5
compression 7|--depth 32 --comp 3|30 V 7
CMYK|--depth 32|30 V 11
8-bit run-length data at 4 bits|--depth 8 --comp 1|28 v 4
4-bit run-length data at 8 bits|--depth 4 --comp 2|28 v 8
bit fields at 24 bits|--depth 32 --comp 3 --masks ff0000,ff00,ff|28 v 24
bit fields at 8 bits|--depth 8|30 V 3
alpha bit fields at 24 bits|--depth 32 --comp 6 --masks ff0000,ff00,ff,ff000000|28 v 24
top-down 8-bit run-length data|--depth 8 --comp 1|22 l -5
top-down 4-bit run-length data|--depth 4 --comp 2|22 l -5
OS/2 2.x Huffman coding|--info 64 --depth 1|30 V 3
OS/2 2.x 24-bit run-length coding|--info 64 --depth 24|30 V 4
OS/2 2.x Huffman coding at 32 bits|--info 64 --depth 32|30 V 3;54 V 16711680;58 V 65280;62 V 255
overlapping masks|--depth 16 --comp 3 --masks f800,fe0,1f|
a mask in two pieces|--depth 32 --comp 3 --masks f0f00000,ff00,ff|
no green|--depth 32 --comp 3 --masks ff0000,0,ff|
no red in a 56-byte header|--info 56 --depth 32 --comp 3 --masks 0,ff00,ff,ff000000|
alpha over red|--depth 32 --comp 6 --masks ff0000,ff00,ff,ff800000|
a mask past 16 bits|--depth 16 --comp 3 --masks 1f0000,3e0,1f|
masks cut off after the header|--depth 32 --comp 3 --size 1x1|cut 60
CASES

# Without -v, a refused file leaves standard error empty.
make_bmp bad.bmp --depth 24
poke bad.bmp 28 v 3
run bad.bmp out.src
same "refused without -v" "1:" "$status:$err"

# Pixel data one byte short, of every kind; run-length data without its end code.
while read -r make; do
    make_bmp short.bmp $make
    truncate -s -1 short.bmp
    refused "one byte short: $make" short.bmp
done <<CASES
--depth 1
--depth 2 --topdown
--depth 4
--depth 8
--depth 16
--depth 24 --topdown
--depth 32
--info 12 --depth 8
--info 16 --depth 24
--depth 16 --comp 3 --masks f800,7e0,1f
--info 124 --depth 32 --comp 3 --masks ff0000,ff00,ff,ff000000
--depth 32 --comp 6 --masks ff0000,ff00,ff,ff000000
CASES
# Run-length codes in a 4 x 2 picture: every row there but no end code, read as Pillow reads
# them; codes that write past a row or the picture or run past the data, or data that ends inside
# its last row, refused.
while read -r depth result codes; do
    { bmp_header 4 2 "$depth" $((depth == 8 ? 1 : 2)) 2 "$(printf "$codes" | wc -c)"; printf "$codes"; } >rle.bmp
    if [ "$result" = read ]; then
        converts "run-length codes $codes" pil_rows rle.bmp
    else
        refused "run-length codes $codes" rle.bmp
    fi
done <<'CASES'
8 read \4\1\0\0\4\0\0\0
8 read \4\1\0\0\4\0
4 read \4\x10\0\0\4\x01
8 refused \4\1\0\0\2\0
8 refused \5\1\0\0\4\0\0\1
8 refused \4\1\0\0\4\0\0\0\1\1\0\1
8 refused \0\2\0\2\1\1\0\1
8 refused \0\2\3\0\2\1\0\1
8 refused \0\5\1\1\1\1\1\0\0\1
4 refused \5\x11\0\1
8 refused \0\20\1\2
8 refused \0\2\1
CASES

# The size fields, bfSize (at 2) and biSizeImage (at 34), 0 or wrong: uncompressed rows end where
# the headers say, whatever follows them; run-length data is read to the end of the file.
while IFS='|' read -r label command damage; do
    eval "$command"
    IFS=';' read -ra pokes <<<"$damage"
    for p in "${pokes[@]}"; do poke sized.bmp $p; done
    converts "$label" pil_rows sized.bmp
done <<'CASES'
3 x 1 run-length, both 0|rle8 3 1 101 >sized.bmp|2 V 0;34 V 0
255 x 20 run-length, both 0|make_bmp sized.bmp --depth 8 --comp 1 --size 255x20 --colours 2 --absolute|2 V 0;34 V 0
40 x 40 at 24 bits, a file of 100 bytes|make_bmp sized.bmp --size 40x40|2 V 100;34 V 0
OS/2 1.x 40 x 40 followed by noise|make_bmp sized.bmp --info 12 --size 40x40; head -c 9000 /dev/urandom >>sized.bmp|2 V 0
CASES

# A 1-bit picture whose palette holds a single entry, black: both indexes take it.
make_bmp one.bmp --depth 1 --colours 1 --size 8x2 --bits 0110100110010110
poke one.bmp 54 V 0
run one.bmp out.src
same "1-bit, one palette entry" "0:{  0}########|{  1}########" "$status:$(sed -n 5,6p out.src | paste -sd'|')"

# A bit-field file cut anywhere is refused; whole, it converts.
make_bmp cut-me.bmp --info 124 --depth 32 --comp 3 --size 7x3 --masks ff0000,ff00,ff,ff000000
size=$(stat -c %s cut-me.bmp)
for ((i = 0; i < size; i += 5)); do
    head -c "$i" cut-me.bmp >cut.bmp
    refused "bit fields cut to $i bytes" cut.bmp
done
run cut-me.bmp out.src
same "bit fields whole" "0:" "$status:$err"

# The largest sides: 16384 x 16384 (a 1-bit file of 32 MiB of zeros, made sparse) converts, and a
# row or column past it is refused.
bmp_header 16384 16384 1 0 2 >big.bmp
truncate -s $((62 + 2048 * 16384)) big.bmp
"$PICTORN" big.bmp - 2>err.txt | awk 'NR == 3 { size = $0 } END { print size "|" NR "|" $0 }' >seen.txt
same "16384 x 16384" "1638 1638 1|16389|:" "$(cat seen.txt):$(cat err.txt)"
for size in 16384x1 1x16384; do
    make_bmp side.bmp --depth 24 --size "$size"
    run side.bmp out.src
    same "$size: status and rows" "0:|$((${size#*x} + 5))" "$status:$err|$(wc -l <out.src)"
done
for size in 16385x1 1x16385; do
    make_bmp side.bmp --depth 1 --size "$size"
    refused "$size" side.bmp
done

finish
