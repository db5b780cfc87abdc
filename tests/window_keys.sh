#!/usr/bin/env bash
# The window's controls of the reduction's newer keys, Copy, Return and a start on a file that
# gives no picture: driven by keys on a real X server, judged by what Save and Copy write against
# what the command line writes for the same keys.
source "$(dirname "$0")/lib.sh"
source "$TESTS/window_lib.sh"

$IM -size 24x64 gradient:white-black -rotate 90 -fill black -draw 'rectangle 3,3 20,5' "$HOME/ramp.png"
$IM -size 2500x2500 gradient: "$HOME/grey.png"
$IM -size 16x8 xc:none -fill white -draw 'rectangle 4,2 11,5' "$HOME/shape.png"

# saves_as NAME PICTURE ARGS [KEYS]: KEYS then Ctrl+S write what the command line writes with
# ARGS. The keys go 150 ms apart, as typed: the toolkit completes the click of a box's mnemonic
# 100 ms after its key.
saves_as() {
    rm -f "${2%.*}.src"
    # shellcheck disable=SC2086
    xdotool windowfocus --sync "$win" key --delay 150 ${4:-} ctrl+s
    # shellcheck disable=SC2086
    "$PICTORN" $3 "$2" cli.src
    check "$1: Save writes what $3 writes" eventually cmp -s cli.src "${2%.*}.src"
}

# Each new control by its key, the settings piling up in one window.
keys=("alt+u" "alt+l" "alt+m" "alt+g ctrl+a 3 Tab" "alt+r" "ctrl+r" "ctrl+r ctrl+r ctrl+r")
steps=("-threshold=auto" "-lines=keep" "-trim=yes" "-margin=3" "-mirror=yes" "-rotate=90" "")
launch -window=yes "$HOME/ramp.png"
win=$(main_window)
args=""
for i in "${!keys[@]}"; do
    args="${args/ -rotate=90/} ${steps[$i]}"
    saves_as "${keys[$i]}" "$HOME/ramp.png" "$args" "${keys[$i]}"
done
quit "$win"
same "new controls: quit" "0" "$(exit_status)"

# The window starts from the command line's keys: each case starts with ARGS, presses KEYS that
# make the controls be read again, and saves what the command line writes with WANT. On a large
# picture the keys come while a reduction runs.
cases=("$HOME/ramp.png|-threshold=30|alt+t shift+Tab Right|-threshold=31"
    "$HOME/shape.png|-alpha=shape|alt+k|-alpha=shape -width=16 -height=8"
    "$HOME/ramp.png|-dither=yes|alt+i|-dither=yes -invert=yes"
    "$HOME/ramp.png|-width=40|alt+w Up|-width=41"
    "$HOME/ramp.png|-width=30|alt+h Up|-height=12"
    "$HOME/grey.png|-threshold=40|alt+d alt+t Up Up|-threshold=42 -dither=yes"
    "$HOME/ramp.png|-trim=yes -margin=2 -mirror=yes -rotate=270 -lines=keep -threshold=auto|alt+i|-trim=yes -margin=2 -mirror=yes -rotate=270 -lines=keep -threshold=auto -invert=yes")
for case in "${cases[@]}"; do
    IFS='|' read -r picture start keys want <<<"$case"
    # shellcheck disable=SC2086
    launch -window=yes $start "$picture"
    win=$(main_window)
    saves_as "start $start, $keys" "$picture" "$want" "$keys"
    quit "$win"
    same "start $start: quit" "0" "$(exit_status)"
done

# A result that arrives while a number is typed leaves the typing alone.
launch -window=yes "$HOME/ramp.png"
win=$(main_window)
steady_status "$win" before
xdotool windowfocus --sync "$win" key alt+w ctrl+a 1 2 ctrl+r
check "typing with a result between: the turn is shown" eventually status_not "$win" before
saves_as "typing with a result between" "$HOME/ramp.png" "-rotate=90 -width=120" "0 Tab"
quit "$win"
same "typing: quit" "0" "$(exit_status)"

# Return in a number or a box takes the value and saves nothing; Copy, which comes after it, puts
# on the clipboard the very bytes Save writes, and the status line counts them.
clipboard_is() { xclip -o -selection clipboard 2>/dev/null | cmp -s - "$1"; }
rm -f "$HOME/ramp.src"
launch -window=yes "$HOME/ramp.png"
win=$(main_window)
"$PICTORN" -threshold=70 -invert=yes "$HOME/ramp.png" cli.src
steady_status "$win" before
xdotool windowfocus --sync "$win" key alt+t ctrl+a 7 0 Return Tab Tab space Return ctrl+shift+c
check "Return in the threshold, then Copy: the text of -threshold=70 -invert=yes" eventually clipboard_is cli.src
check "Copy: the status line says so" eventually status_not "$win" before
check "Return in a number or a box: nothing saved" test ! -e "$HOME/ramp.src"
xdotool key alt+n Return
check "Return in Name saves" eventually cmp -s cli.src "$HOME/ramp.src"
quit "$win"
same "copy: quit" "0" "$(exit_status)"

# "Open with" on a file that gives no picture opens the window without one: Save does nothing,
# the status line says why, Open… has the focus and leads to a picture; Quit ends with 0. A cut
# TIFF's library has its own say, which standard error does not carry.
printf 'a note\n' >"$HOME/notes.txt"
$IM "$HOME/ramp.png" -compress zip ramp.tif
head -c 100 ramp.tif >"$HOME/cut.tif"
for file in notes.txt missing.png cut.tif; do
    launch -window=yes "$HOME/$file"
    win=$(window "Pictorn Converter")
    check "$file: the window without a picture" test -n "$win"
    check "$file: the status line says why" eventually grep -q '#' <(status "$win")
    xdotool windowfocus --sync "$win" key --delay 150 ctrl+s space
    choose "$HOME/ramp.png"
    check "$file: Open… had the focus; the picture opened" title_is "$win" "ramp.png* - Pictorn Converter"
    check "$file: Save had nothing to write" test ! -e "$HOME/${file%.*}.src"
    saves_as "$file, then Open…" "$HOME/ramp.png" ""
    quit "$win"
    same "$file: quit, nothing on standard error" "0:" "$(exit_status):$(cat "$WORK/window.err")"
done

finish
