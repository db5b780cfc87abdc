#!/usr/bin/env bash
# Library texts read back: a text pictorn wrote opens again as its picture, byte for byte, with
# its name and package; the keys act on it as on any picture, and a damaged text is refused.
source "$(dirname "$0")/lib.sh"

# Round trips, each anchored to the pixels netpbm decodes from the BMP the first text came from.
# Widths do and do not end on a byte, and rows past 999 have wider labels.
for size in 1x1 8x2 13x3 17x12 1001x3 1x1001; do
    w=${size%x*} h=${size#*x}
    random_pbm "$w" "$h" "$w$h" | ppmtobmp >"$size.bmp" 2>/dev/null
    expected_text "N$size" "P$size" "$size.bmp" >"expected$size"
    run -name="N$size" -package="P$size" "$size.bmp" "$size.src"
    same_file "$size: the first text matches netpbm" "expected$size" "$size.src"
    run "$size.src" "again$size.src"
    same "$size: read back" "0:" "$status:$err"
    same_file "$size: read back byte for byte" "expected$size" "again$size.src"
done

# Standard input to standard output, also past the first megabyte, by which a stream must have
# shown that it is a picture.
random_pbm 1100 1000 11 | ppmtobmp >big.bmp 2>/dev/null
expected_text "" "" big.bmp >expected-big
"$PICTORN" big.bmp big.src
cp expected13x3 small.src
for stem in small big; do
    rm -f piped.src
    run - - < <(cat "$stem.src") >piped.src
    same "$stem: a pipe to standard output" "0:" "$status:$err"
    same_file "$stem: a pipe to standard output, byte for byte" "$stem.src" piped.src
done

# Reading back costs the text's bytes and a bit a pixel, beyond the toolkit's own start: no copy
# of the text, no byte a pixel. A 4000 by 4000 text is 16 MB.
{ bmp_header 4000 4000 1 0 2; head -c $((500 * 4000)) /dev/urandom; } >random.bmp
"$PICTORN" random.bmp random.src
base=$(/usr/bin/time -f %M "$PICTORN" -h 2>&1 | tail -n 1)
peak=$(/usr/bin/time -f %M "$PICTORN" random.src out.src 2>&1 | tail -n 1)
bytes=$(stat -c %s random.src)
# (A sanitizer build maps memory of its own: there the figures say nothing of pictorn's.)
[ -n "${ASAN_OPTIONS:-}" ] || check "4000 x 4000: peak memory $peak KiB within $base KiB, the text's $bytes bytes and 2 MB" \
    test $((peak - base)) -le $(((bytes + 2000000) / 1024 + 2048))
same_file "4000 x 4000: read back byte for byte" random.src out.src

# Lines may end in CR LF, all of them or some.
sed 's/$/\r/' expected17x12 >crlf.src
sed '2~2s/$/\r/' expected17x12 >mixed.src
for input in crlf.src mixed.src; do
    rm -f out.src
    run "$input" out.src
    same_file "$input: read as with line feeds" expected17x12 out.src
done

# A name or package given on the command line wins, before or after the input; one after it is
# cut to 16 characters like any other.
while IFS='|' read -r name package args; do
    rm -f out.src
    eval "run $args"
    same "$args: status" "0:" "$status:$err"
    same_file "$args: text" <(sed "1s/.*/'$name'/;2s/.*/'$package'/" expected13x3) out.src
done <<'CASES'
NEW|P13x3|-name=NEW 13x3.src out.src
NEW|P13x3|13x3.src -name=NEW out.src
N13x3|PKG|13x3.src out.src -package=PKG
ABCDEFGHIJKLMNOP|PKG|-package=PKG 13x3.src out.src -name=ABCDEFGHIJKLMNOPQRS
CASES

# The name is what lies between the first and the last quote of its line, kept byte for byte; one
# that would be written back otherwise (not in the locale's encoding, longer than the field's 16
# characters) is refused, the reason said under -v.
while IFS='|' read -r name reason; do
    { printf "'%b'\n" "$name"; tail -n +2 expected13x3; } >named.src
    rm -f out.src
    run -v named.src out.src
    if [ -z "$reason" ]; then
        same_file "name [$name]: kept" named.src out.src
    else
        same "name [$name]: refused" "1|File 'named.src': $reason" "$status|$(sed -n 3p <<<"$err")"
    fi
done <<'CASES'
it's|
Ωμέγα|
'|
|
 A B |
ABCDEFGHIJKLMNOP|
\xe9t\xe9|its name line is not text in the locale's encoding
A\rB|its name line is not text in the locale's encoding
ABCDEFGHIJKLMNOPQ|its name is longer than 16 characters
CASES

# -invert swaps dark and light.
run -invert=yes 13x3.src out.src
same_file "-invert=yes" <(awk 'NR > 4 { gsub(/#/, "x"); gsub(/\./, "#"); gsub(/x/, ".") } 1' \
    expected13x3) out.src

# -width scales the picture smoothly, then thresholds it: a picture of 8 by 8 blocks scaled to a
# quarter has one block's colour in every pixel, as netpbm's scaling gives it.
awk 'BEGIN { srand(5); print "P1"; print 48, 32
    for (by = 0; by < 4; by++) for (bx = 0; bx < 6; bx++) cell[by, bx] = rand() < 0.5
    for (y = 0; y < 32; y++) { line = ""; for (x = 0; x < 48; x++) line = line cell[int(y / 8), int(x / 8)]; print line }
}' >blocks.pbm
ppmtobmp blocks.pbm >blocks.bmp 2>/dev/null
"$PICTORN" blocks.bmp blocks.src
pamscale -width 12 blocks.pbm 2>/dev/null | pnmtopng >scaled.png 2>/dev/null
oracle_rows scaled.png >want
run -width=12 blocks.src out.src
same "-width=12: status and size line" "0:1 0 1" "$status:$(sed -n 3p out.src)"
check "-width=12: rows match netpbm" agrees want out.src

# The input is never its own output: alone, it names itself and is refused, untouched.
cp 13x3.src keep.src
run keep.src
same "the input as its own output" "2:Output file cannot be created" "$status:$err"
same_file "the input left untouched" 13x3.src keep.src

# Damaged texts are refused with status 1 and write nothing. The picture is 17 by 12: the size
# line "1 1 1", the rows on lines 5 to 16, the final empty line 17.
refused() { # NAME: runs pictorn on bad.src and checks that it was refused
    rm -f out.src
    run -v bad.src out.src
    same "$1: refused" "1:Setting input bitmap to 'bad.src'|File 'bad.src' is not a bitmap|Bitmap file 'bad.src' cannot be opened" \
        "$status:$(paste -sd '|' <<<"$err")"
    check "$1: nothing written" test ! -e out.src
}
good=expected17x12
while IFS='|' read -r name command; do
    eval "$command" <"$good" >bad.src
    refused "$name"
done <<'CASES'
a row one pixel short|sed '7s/.$//'
a row one pixel long|sed '7s/$/#/'
rows swapped|sed '6{h;d};7G'
a label repeated|sed '7s/{  2}/{  1}/'
a label with zeros|sed '6s/{  1}/{001}/'
a label cut short|sed '6s/{  1}/{ 1}./'
a label missing|sed '6s/{  1}/...../'
a size line too wide|sed '3s/.*/2 1 1/'
a size line too high|sed '3s/.*/1 2 1/'
a size line padded|sed '3s/.*/01 1 1/'
a size line ending in 2|sed '3s/.*/1 1 2/'
a size line with a blank after it|sed '3s/$/ /'
a stray letter|sed '9s/\./x/'
a stray blank|sed '9s/\./ /'
a stray carriage return|sed '9s/\./\r/'
a blank line among the rows|sed '9s/.*//'
no BITMAP line|sed '4d'
BITMAP in small letters|sed '4s/.*/bitmap/'
a name without its closing quote|sed "1s/'\$//"
a name without its opening quote|sed "1s/^'//"
a name that is one quote|sed "1s/.*/'/"
a package without quotes|sed "2s/'//g"
cut in the middle of a row|head -c -20
cut after a row's line feed|head -c -1
cut before a row's line feed|head -c -2
cut between two rows|head -n 10
a row after the final empty line|cat - <(printf '{ 12}#################\n')
an empty line after the final one|cat - <(echo)
a byte after the final empty line|cat - <(printf x)
CASES

# No rows, or rows without pixels.
printf "'A'\n'B'\n0 0 1\nBITMAP\n\n" >bad.src
refused "no rows"
printf "'A'\n'B'\n0 0 1\nBITMAP\n{  0}\n{  1}\n\n" >bad.src
refused "rows without pixels"

# At most 16384 pixels a side: one more, with a size line that agrees, is refused.
row() { head -c "$1" /dev/zero | tr '\0' '#'; }
printf "'A'\n'B'\n1638 0 1\nBITMAP\n{  0}%s\n\n" "$(row 16384)" >wide.src
printf "'A'\n'B'\n1638 0 1\nBITMAP\n{  0}%s\n\n" "$(row 16385)" >bad.src
run wide.src out.src
same_file "16384 pixels wide: read" wide.src out.src
refused "16385 pixels wide"
tall() { printf "'A'\n'B'\n0 1638 1\nBITMAP\n"; awk -v h="$1" 'BEGIN { for (y = 0; y < h; y++) printf "{%3d}.\n", y; print "" }'; }
tall 16384 >tall.src
tall 16385 >bad.src
run tall.src out.src
same_file "16384 pixels high: read" tall.src out.src
refused "16385 pixels high"

finish
