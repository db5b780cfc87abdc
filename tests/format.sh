#!/usr/bin/env bash
# The library source text: its lines, the size line, row labels, and the name and package fields.
source "$(dirname "$0")/lib.sh"

bmp1 12 3 ffffff 000000 "100000000001 000000000000 000000000000" >relay.bmp

# The whole text, byte for byte: line feeds only, and an empty line at the end.
run -name=RELAY1 relay.bmp
same "relay: status" "0:" "$status:$err"
printf "'RELAY1'\n''\n1 0 1\nBITMAP\n{  0}#..........#\n{  1}............\n{  2}............\n\n" >expected
same_file "relay: text" expected relay.src

# The size line: each figure is the pixel count less one, divided by ten.
for case in "1 1:0 0 1" "10 10:0 0 1" "11 21:1 2 1" "101 20:10 1 1" "20 1000:1 99 1" "3 1001:0 100 1"; do
    size=${case%%:*}
    bmp1 ${size% *} ${size#* } ffffff 000000 "" >size.bmp
    run size.bmp size.src
    same "size line for $size" "${case#*:}" "$(sed -n 3p size.src)"
done
same "row labels widen past 999" "{999}|{1000}" "$(sed -n '1004p;1005p' size.src | cut -c1-6 | paste -sd'|' | sed 's/\.//g')"

# The field rule: at most 16 characters, set before or after the input alike.
name_line() {
    run "$@"
    [ "$status" = 0 ] || fail "$* exited $status: $err"
    head -n 1 relay.src
}
same "name cut to 16" "'ABCDEFGHIJKLMNOP'" "$(name_line -name=ABCDEFGHIJKLMNOPQRST relay.bmp)"
same "name of 16 stays whole" "'ABCDEFGHIJKLMNOP'" "$(name_line -name=ABCDEFGHIJKLMNOP relay.bmp)"
same "name after the input" "'ABCDEFGHIJKLMNOP'" "$(name_line relay.bmp -name=ABCDEFGHIJKLMNOPQRST)"
run -name=ABCDEFGHIJKLMNOPQRST -package=pkg relay.bmp before.src
run relay.bmp -package=pkg after.src -name=ABCDEFGHIJKLMNOPQRST
same_file "same text with the keys before or after the input" before.src after.src
same "last name wins" "'B'" "$(name_line -name=A relay.bmp -name=B)"
run -name=N relay.bmp -package=P
same "package line follows the package key" "'N'|'P'" "$(sed -n '1p;2p' relay.src | paste -sd'|')"
same "double equals sign" "'RELAY1'" "$(name_line -name==RELAY1 relay.bmp)"
same "quotes copied unescaped" "'it's'" "$(name_line "-name=it's" relay.bmp)"
same "line breaks become blanks" "'a b c'" "$(name_line "-name=$(printf 'a\nb\rc')" relay.bmp)"

# Names are written in UTF-8, and a character outside the basic plane is never cut in half.
same "UTF-8 name" "'ÄÖÜäöüßéèêëçñåøæ'" "$(name_line -name=ÄÖÜäöüßéèêëçñåøæ€Ω relay.bmp)"
same "wide characters" "'a😀😀😀😀😀😀😀'" "$(name_line -name=a😀😀😀😀😀😀😀😀 relay.bmp)"
same "wide characters filling the field" "'😀😀😀😀😀😀😀😀'" "$(name_line -name=😀😀😀😀😀😀😀😀😀 relay.bmp)"

finish
