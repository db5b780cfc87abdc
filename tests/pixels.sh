#!/usr/bin/env bash
# Pixels: every row pictorn writes matches what netpbm decodes from the same picture, for widths
# that do and do not end on a byte, tall images, both palette orders and every input format
# (1-, 8- and 24-bit BMP, 1-bit, grey and colour PNG, PBM and XBM).
source "$(dirname "$0")/lib.sh"

# formats STEM: writes STEM.* in every format that holds the same black-and-white picture.
formats() {
    ppmtobmp "$1.pbm" >"$1.1bit.bmp" 2>/dev/null
    ppmtobmp -bpp 8 "$1.pbm" >"$1.8bit.bmp" 2>/dev/null
    ppmtobmp -bpp 24 "$1.pbm" >"$1.24bit.bmp" 2>/dev/null
    local bits w h
    read -r w h < <(sed -n 2p "$1.pbm")
    bits=$(tail -n +3 "$1.pbm" | tr -d '\n' | tr 01 10)
    bmp1 "$w" "$h" 000000 ffffff "$bits" >"$1.black-first.bmp"
    pnmtopng "$1.pbm" >"$1.1bit.png" 2>/dev/null
    pnmdepth 255 "$1.pbm" 2>/dev/null | pnmtopng -force >"$1.grey.png" 2>/dev/null
    pnmdepth 255 "$1.pbm" 2>/dev/null | ppmtoppm | pnmtopng -force >"$1.rgb.png" 2>/dev/null
    pamtopnm <"$1.pbm" >"$1.raw.pbm"
    pbmtoxbm -name=picture "$1.pbm" >"$1.xbm" 2>/dev/null
}

# Widths cover every remainder modulo 8.
for size in 1x1 10x2 11x3 12x3 13x2 14x3 7x3 8x4 9x5 17x6 33x7 1001x3 3x1002 9x1234; do
    w=${size%x*} h=${size#*x}
    random_pbm "$w" "$h" "$w$h" >"img$size.pbm"
    formats "img$size"
    expected_text ROW PKG "img$size.1bit.bmp" >"expected$size"
    for input in img$size.*bmp img$size.*png img$size.raw.pbm img$size.xbm; do
        run -name=ROW -package=PKG "$input" out.src
        same "$input: status and messages" "0:" "$status:$err"
        same_file "$input: text matches netpbm" "expected$size" out.src
    done
done

# Dark pixels are "#" whichever way round the palette lists black and white.
bmp1 8 2 ffffff 000000 "10000001 01111110" >white-first.bmp
bmp1 8 2 000000 ffffff "01111110 10000001" >black-first.bmp
for input in white-first.bmp black-first.bmp; do
    run "$input" out.src
    same "$input: rows" "$(printf '{  0}#......#\n{  1}.######.')" "$(sed -n 5,6p out.src)"
done

# The same through a 1-bit palette PNG, whose entries reach pictorn as the file lists them; mid
# greys fall either side of half of white.
png1 8 2 000000 ffffff "01111110 10000001" >black-first.png
png1 8 2 7f7f7f 808080 "01111110 10000001" >mid-greys.png
for input in black-first.png mid-greys.png; do
    run "$input" out.src
    same "$input: rows" "$(printf '{  0}#......#\n{  1}.######.')" "$(sed -n 5,6p out.src)"
done

# Real pictures past the sizes below which every file is believed.
random_pbm 2100 2100 21 | ppmtobmp 2>/dev/null >large.bmp
expected_text "" "" large.bmp >expected
run large.bmp out.src
same_file "2100 x 2100 matches netpbm" expected out.src
bmp_header 8200 8200 1 0 2 >huge.bmp
head -c $((1028 * 8200)) /dev/zero | tr '\0' '\252' >>huge.bmp
run huge.bmp out.src
same "8200 x 8200: status, size line and rows" "0:819 819 1|8205|{8199}#.#." \
    "$status:$(sed -n 3p out.src)|$(wc -l <out.src)|$(tail -n 2 out.src | head -c 10)"

# Messages still reach standard error after a PNG was read (its decoder's are kept off it).
run -v black-first.png no/such/dir/out.src
same "messages after a PNG" "2|Setting input bitmap to 'black-first.png'|Output file cannot be created" \
    "$status|$(head -n 1 <<<"$err")|$(tail -n 1 <<<"$err")"

finish
