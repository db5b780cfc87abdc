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

# Pictures that take the other paths: run-length data that skips pixels and names an index past
# its palette, a transparent PNG, an SVG drawn at a width.
perl -e 'my $data = pack("C*", 3, 1, 0, 2, 2, 1, 2, 7, 0, 0, 0, 3, 1, 0, 1, 0, 0, 1);
    print "BM", pack("VvvV", 62 + length $data, 0, 0, 62),
        pack("VllvvVVllVV", 40, 8, 3, 1, 8, 1, length $data, 0, 0, 2, 2), pack("VV", 0xffffff, 0), $data' >skips.bmp
$IM -size 20x10 xc:none -fill black -draw 'circle 10,5 10,1' PNG32:logo.png
printf '<svg xmlns="http://www.w3.org/2000/svg" width="10" height="5"><rect x="2" y="1" width="6" height="3"/></svg>' >box.svg
for args in "skips.bmp" "logo.png" "-width=30 box.svg"; do
    memcheck $args first.src
    same "$args: no memory error" "0" "$?"
    memcheck $args second.src
    same_file "$args: the same text twice" first.src second.src
done

# A PNG cut inside its pixel data leaves libpng by its error path.
head -c -30 logo.png >cut.png
memcheck cut.png out.src
same "cut PNG: refused with no memory error" "1" "$?"

finish
