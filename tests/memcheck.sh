#!/usr/bin/env bash
# Valgrind's memcheck over a conversion and a help run, with and without an X display: no memory
# error and no definite leak in pictorn's code (the toolkit's own are in valgrind.supp).
source "$(dirname "$0")/lib.sh"

bmp1 12 3 ffffff 000000 "100000000001 000000000000 000000000000" >relay.bmp
printf "'R'\n''\n1 0 1\nBITMAP\n{  0}#..........#\n{  1}............\n{  2}............\n\n" >expected
start_xvfb

memcheck() {
    valgrind -q --error-exitcode=99 --leak-check=full --errors-for-leak-kinds=definite \
        --suppressions="$TESTS/valgrind.supp" "$PICTORN" "$@" 2>"$WORK/.stderr"
}
for display in "" "$XDISPLAY"; do
    where=${display:-no display}
    rm -f relay.src
    DISPLAY=$display memcheck -name=R relay.bmp
    same "conversion, $where" "0" "$?"
    same_file "conversion, $where: text" expected relay.src
    DISPLAY=$display memcheck -h
    same "help, $where" "0:9" "$?:$(grep -vc '^==' "$WORK/.stderr")"
    DISPLAY=$display memcheck missing.bmp
    same "missing input, $where" "1" "$?"
done

finish
