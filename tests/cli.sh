#!/usr/bin/env bash
# The command line: switches, keys, file names, status codes and the messages that go with them.
source "$(dirname "$0")/lib.sh"

bmp1 12 3 ffffff 000000 "100000000001 000000000000 000000000000" >relay.bmp
printf 'not an image\n' >text.bmp
# The name that "in\xe9.bmp", not valid UTF-8, would decode to: it must never be opened for it.
cp relay.bmp "$(printf 'in\xef\xbf\xbd.bmp')"

# The usage text, byte for byte, wherever -h stands once the arguments before it are good.
usage=$(printf '%s\n' \
    'pictorn : Converts monochrome bitmaps to quellis library source files' \
    'pictorn - Qt graphics program. Usage : ' \
    "	'>pictorn [-v] [-key=val][-key=val] <infile> [outfile]'" \
    "	where keys are 'name' and package'" \
    '	infile describes a monochrome bitmap file' \
    '	outfile describes a library source file' \
    "	If 'outfile' is not given, then the extension of 'infile' is converted to '.src'" \
    "	The '-v' flag puts the program in verbose mode" \
    "	'>pictorn' -h gives this screen, regardless of any other parameters")
for args in "-h" "-v -h" "relay.bmp -h out.src" "-name=X -h -colour=red"; do
    rm -f relay.src out.src
    run $args
    same "$args: usage" "0:$usage" "$status:$err"
    check "$args: writes nothing" test ! -e relay.src -a ! -e out.src
done
same "usage line 2 ends with a blank" "Usage : |" "$("$PICTORN" -h 2>&1 >/dev/null | sed -n 2p | grep -o 'Usage.*')|"

# Each error status with its message; the first argument that ends the run decides.
while IFS='|' read -r expected args; do
    rm -f relay.src
    eval "run $args"
    same "$args" "$expected" "$status:$err"
    [ "${expected%%:*}" = 0 ] || check "$args: no output written" test ! -e relay.src
done <<'CASES'
0:|relay.bmp
1:|missing.bmp
1:|text.bmp
1:|-name=
1:|"$(printf 'in\xe9.bmp')"
2:|--help >/dev/full
2:|--version >/dev/full
2:Output file cannot be created|-v
2:Output file cannot be created|-name=A -package=B
3:Too many files|relay.bmp a.src b.src
4:Impure key - '-name=a=b'|-name=a=b
4:Impure key - '='|=
4:Impure key - ''|''
4:Impure key - '-name=a=b'|-name=a=b -h
5:Unknown key - '-colour'|-colour=red
5:Unknown key - 'name'|name=RELAY
5:Unknown key - '-NAME'|-NAME=RELAY
5:Unknown key - '-V'|-V=1
CASES

# Verbose messages, in order, from the point where -v stands.
verbose_conversion() { # STEM: the messages of converting the 3-row STEM.bmp to STEM.src
    printf '%s\n' "Setting input bitmap to '$1.bmp'" "Converting QBitmap to QImage" \
        "Reading scanlines into QListBox" "3 Scanlines read into QListBox" \
        "Output file set to to '$1.src'" "Writing file '$1.src'"
}
run -v -name=RELAY1 relay.bmp
same "verbose conversion" "0:$(verbose_conversion relay)" "$status:$err"
run relay.bmp -v out.src
same "-v after the input" "0:Writing file 'out.src'" "$status:$err"
run -v missing.bmp
same "verbose missing input" "1:Setting input bitmap to 'missing.bmp'
Bitmap file 'missing.bmp' not found
Bitmap file 'missing.bmp' cannot be opened" "$status:$err"
run -v text.bmp
same "verbose unreadable input" "1:Setting input bitmap to 'text.bmp'
File 'text.bmp' is not a bitmap
Bitmap file 'text.bmp' cannot be opened" "$status:$err"

# Messages print file names and keys literally.
cp relay.bmp '%s%n%1.bmp'
run -v '%s%n%1.bmp'
same "format directives in a name" "0:$(verbose_conversion '%s%n%1')" "$status:$err"
check "format directives in a name: written" test -f '%s%n%1.src'
run '-%s%n=x'
same "format directives in a key" "5:Unknown key - '-%s%n'" "$status:$err"

# The program's own messages arrive whatever the toolkit's logging rules say, by variable or by
# a configuration file.
mkdir -p config/QtProject
printf '[Rules]\n*.debug=false\n*.warning=false\n' >config/QtProject/qtlogging.ini
for how in "QT_LOGGING_RULES=*.debug=false;*.warning=false" "XDG_CONFIG_HOME=$WORK/config"; do
    same "$how: -h" "$usage" "$(env "$how" "$PICTORN" -h 2>&1)"
    same "$how: errors" "Too many files" "$(env "$how" "$PICTORN" relay.bmp a b 2>&1)"
    same "$how: progress" "$(verbose_conversion relay)" "$(env "$how" "$PICTORN" -v relay.bmp 2>&1)"
done

# After "--" every argument is a file name, "=" and a leading "-" included.
cp relay.bmp 'a=b.bmp'
cp relay.bmp -- -v.bmp
rm -f relay.src
run relay.bmp
run -name=R -- 'a=b.bmp' -v.src
same "-- then a name with =" "0:" "$status:$err"
same_file "-- then a name with =: text" <(expected_text R '' relay.bmp) -v.src
run -- -h
same "-- -h is a file name" "1:" "$status:$err"
run relay.bmp -- -invert=yes
same_file "a key after -- is the output's name, not a key" relay.src ./-invert=yes
run relay.bmp -- --
same "a second -- is a file name" "0:" "$status:$err"
same_file "a second --: its output" relay.src ./--
run relay.bmp -alpha=ink
same "-alpha takes shape or paper" "4:Bad value - '-alpha=ink'" "$status:$err"

# A second file name replaces the default output, which is then left alone.
rm -f relay.src
run relay.bmp out.txt
same "second file name: status" "0:" "$status:$err"
check "second file name: written" test -f out.txt
check "second file name: default untouched" test ! -e relay.src

finish
