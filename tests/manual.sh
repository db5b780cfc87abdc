#!/usr/bin/env bash
# The manual page: it renders without warnings and names every switch, key, exit status and
# message the program has.
source "$(dirname "$0")/lib.sh"
page=$(cd "$START" && readlink -f "$2")

same "renders without warnings" "" "$(LC_ALL=C.UTF-8 MANWIDTH=80 man --warnings -E UTF-8 -l "$page" 2>&1 >/dev/null)"
text=$(LC_ALL=C.UTF-8 MANWIDTH=200 man -E UTF-8 -l "$page" 2>/dev/null | col -b)

for word in -v -h --help --version -name= -package= -threshold= -invert= -dither= -alpha= -width= \
    -height= -lines= -trim= -margin= -mirror= -rotate= -window= infile outfile /dev/stdout DISPLAY QT_QPA_PLATFORM LIMITS 16384 8800; do
    check "mentions $word" grep -qF -- "$word" <<<"$text"
done
exit_status=$(sed -n '/^EXIT STATUS/,/^[A-Z]/p' <<<"$text")
for status in 0 1 2 3 4 5 6 7; do
    check "exit status $status" grep -qE "^ +$status( |$)" <<<"$exit_status"
done
for message in "Output file cannot be created" "Too many files" "Impure key - '" "Unknown key - '" "Bad value - '" \
    "Setting input bitmap to '" "Converting QBitmap to QImage" "Reading scanlines into QListBox" \
    "Scanlines read into QListBox" "Output file set to to '" "Writing file '" "not found" \
    "is not a bitmap" "cannot be opened" "Threshold chosen: " "Trimmed to " "try -alpha=shape" \
    "hard link" "the X display was lost"; do
    check "message: $message" grep -qF -- "$message" <<<"$text"
done
version=$(sed -n 's/^project(pictorn VERSION \([0-9.]*\).*/\1/p' "$TESTS/../CMakeLists.txt")
check "the project's version $version" grep -qF "pictorn $version" <<<"$text"

finish
