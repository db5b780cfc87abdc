#!/usr/bin/env bash
# The window, driven as a user drives it on a real X server: the open dialog, the Name and
# Package fields, the title and the status line, Save (and its dialog when the default name cannot
# be written), Ctrl+O, -window=yes and Quit.
source "$(dirname "$0")/lib.sh"
source "$TESTS/window_lib.sh"

bmp1 12 3 ffffff 000000 "100000000001 000000000000 000000000000" >"$HOME/relay.bmp"
printf "'%s'\n'%s'\n1 0 1\nBITMAP\n{  0}#..........#\n{  1}............\n{  2}............\n\n" >relay.text

# A whole session: the open dialog starts in the home directory, so a bare name is found there;
# edit the name past 16 characters, save, edit the package, save, quit. The title carries the
# file's name and a mark while the text shown is not saved.
launch
choose relay.bmp
win=$(main_window)
check "window shown" test -n "$win"
check "title: the file, not saved" title_is "$win" "relay.bmp* - Pictorn Converter"
type_into "$win" 15 ABCDEFGHIJKLMNOPQRST
save "$win"
check "save writes beside the input, name cut to 16" wait_for "$HOME/relay.src" 1 "'ABCDEFGHIJKLMNOP'"
printf "'ABCDEFGHIJKLMNOP'\n''\n1 0 1\nBITMAP\n{  0}#..........#\n{  1}............\n{  2}............\n\n" >expected
same_file "saved text" expected "$HOME/relay.src"
check "title: saved" title_is "$win" "relay.bmp - Pictorn Converter"
type_into "$win" 45 PKG
check "title: an edit after the save" title_is "$win" "relay.bmp* - Pictorn Converter"
save "$win"
check "save again rewrites the file" wait_for "$HOME/relay.src" 2 "'PKG'"
same "package edit touches line 1 only" "$(sed 2d expected)" "$(sed 2d "$HOME/relay.src")"
quit "$win"
same "quit: status and messages" "0:" "$(exit_status):$(cat "$WORK/window.err")"

# Typing in the middle of Name and Package keeps the cursor where it is, also when what is typed
# goes past 16 characters and is cut.
launch -window=yes "$HOME/relay.bmp"
win=$(main_window)
xdotool type --delay 2 ABC
xdotool key Home Right
xdotool type --delay 2 XY
xdotool key Tab
xdotool type --delay 2 ABC
xdotool key Home Right
xdotool type --delay 2 XY
xdotool key ctrl+s
check "typed in the middle of Name" wait_for "$HOME/relay.src" 1 "'AXYBC'"
same "typed in the middle of Package" "'AXYBC'" "$(sed -n 2p "$HOME/relay.src")"
type_into "$win" 15 0123456789
xdotool key Home
xdotool type --delay 2 abcdefghijklmnopqrstuvwxyzABCD
xdotool key Home Right
xdotool type --delay 2 Z
xdotool key ctrl+s
check "30 typed before the text: the first 16 stay, the cursor with them" \
    wait_for "$HOME/relay.src" 1 "'aZbcdefghijklmno'"
quit "$win"
same "middle: quit" "0" "$(exit_status)"

# Escape closes the window as Quit does.
launch
choose "$HOME/relay.bmp"
win=$(main_window)
click "$win" 50 100
xdotool key Escape
same "escape: status" "0" "$(exit_status)"

# A cancelled choice ends with 1 and no window, even with a path typed; a file that is not a
# bitmap with 6.
launch
choose ""
same "cancelled open dialog" "1" "$(exit_status)"
launch
dialog=$(window "Select bitmap to convert")
xdotool windowfocus --sync "$dialog" type --delay 2 "$HOME/relay.bmp"
for _ in 1 2 3; do
    sleep 0.3
    dialog=$(xdotool search --onlyvisible --name "^Select bitmap to convert\$" 2>/dev/null | head -n 1)
    [ -n "$dialog" ] && xdotool windowfocus --sync "$dialog" key Escape 2>/dev/null
done
same "path typed, then cancelled" "1" "$(exit_status)"
printf 'not an image\n' >"$HOME/x.bmp"
launch
choose "$HOME/x.bmp"
same "not a bitmap" "6" "$(exit_status)"

# When the default name cannot be written (here a directory stands in its way) Save asks for
# another name; cancelling writes nothing and keeps the window, a good name is written.
mkdir -p "$HOME/blocked" "$HOME/blocked/relay.src"
cp "$HOME/relay.bmp" "$HOME/blocked/"
launch
choose "$HOME/blocked/relay.bmp"
win=$(main_window)
dialog=$(save_dialog "$win")
check "save dialog asks for another name" test -n "$dialog"
xdotool windowfocus --sync "$dialog" key Escape
sleep 0.3
check "cancelled save: window still open" test -n "$(main_window)"
same "cancelled save: nothing written" "" "$(find "$HOME/blocked/relay.src" -type f)"
dialog=$(save_dialog "$win")
xdotool windowfocus --sync "$dialog" key ctrl+a
xdotool type --delay 2 "$HOME/chosen.src"
xdotool key Return
check "chosen name written" wait_for "$HOME/chosen.src" 4 BITMAP
quit "$win"
same "quit after the save dialog" "0" "$(exit_status)"

# -window=yes with two files: the window on the first, Save writing the second, the command line's
# keys its first settings. A save that fails says why in the status line, then the dialog opens
# beside the input with the input's own default name, and the name chosen there is kept.
mkdir -p "$HOME/pics"
cp "$HOME/relay.bmp" "$HOME/pics/in.bmp"
launch -window=yes -name=ABCDEFGHIJKLMNOPQRST -invert=yes "$HOME/pics/in.bmp" "$HOME/out.src"
win=$(main_window)
xdotool key ctrl+s
check "-window=yes IN OUT: Ctrl+S writes OUT" wait_for "$HOME/out.src" 4 BITMAP
"$PICTORN" -name=ABCDEFGHIJKLMNOPQRST -invert=yes "$HOME/pics/in.bmp" cli.src
same_file "-window=yes: the command line's keys, as the command line writes them" cli.src "$HOME/out.src"
quit "$win"
same "-window=yes: quit" "0:" "$(exit_status):$(cat "$WORK/window.err")"

# A library text opens like any picture, its name and package with it, and saves as it was.
"$PICTORN" -name=RELAY1 -package=SYMBOLS "$HOME/relay.bmp" "$HOME/lib.src"
launch -window=yes "$HOME/lib.src" "$HOME/again.src"
win=$(main_window)
xdotool key ctrl+s
check "a library text saved again" wait_for "$HOME/again.src" 4 BITMAP
same_file "a library text: the same text, its name and package kept" "$HOME/lib.src" "$HOME/again.src"
quit "$win"
same "a library text: quit" "0" "$(exit_status)"

launch -window=yes "$HOME/pics/in.bmp" "$HOME/none/out.src"
win=$(main_window)
status "$win" >before
dialog=$(save_dialog "$win")
check "failed save: the dialog" test -n "$dialog"
check "failed save: the status line says so" eventually status_not "$win" before
xdotool windowfocus --sync "$dialog" key Return
check "failed save: the dialog beside the input, its name filled in" \
    wait_for "$HOME/pics/in.src" 4 BITMAP
rm "$HOME/pics/in.src"
xdotool key ctrl+s
check "the chosen name is kept for the next save" wait_for "$HOME/pics/in.src" 4 BITMAP
quit "$win"
same "failed save: quit" "0" "$(exit_status)"
launch -window=yes "$HOME/pics/in.bmp" "$HOME/none/out.src"
win=$(main_window)
dialog=$(save_dialog "$win")
xdotool windowfocus --sync "$dialog" key ctrl+a
xdotool type --delay 2 "$HOME/pics/plain"
xdotool key Return
check "a name without an extension gets .src" wait_for "$HOME/pics/plain.src" 4 BITMAP
quit "$win"
same "no extension: quit" "0" "$(exit_status)"

# Ctrl+O opens another picture in the same window, keeping Name; a file that is not a picture
# leaves the window as it was and says so.
bmp1 12 3 ffffff 000000 "000000000000 000001100000 000000000000" >"$HOME/other.bmp"
launch -window=yes "$HOME/relay.bmp"
win=$(main_window)
xdotool type --delay 2 KEPT
status "$win" >before
xdotool key ctrl+o
choose "$HOME/x.bmp"
check "Ctrl+O, not a picture: the status line says so" eventually status_not "$win" before
check "Ctrl+O, not a picture: the title stays" title_is "$win" "relay.bmp* - Pictorn Converter"
xdotool windowfocus --sync "$win" key ctrl+o
choose "$HOME/other.bmp"
check "Ctrl+O: the title names the new file" title_is "$win" "other.bmp* - Pictorn Converter"
xdotool windowfocus --sync "$win" key ctrl+s
check "Ctrl+O: Save writes beside the new file, Name kept" wait_for "$HOME/other.src" 1 "'KEPT'"
same "Ctrl+O: the new picture's rows" "{  1}.....##....." "$(sed -n 6p "$HOME/other.src")"
quit "$win"
same "Ctrl+O: quit" "0:" "$(exit_status):$(cat "$WORK/window.err")"

# Tab goes through the fields, the rows and the controls in the order they are shown, with no
# stop that cannot be seen: from Name, the nineteenth is Save and the twentieth Quit.
rm -f "$HOME/relay.src"
launch -window=yes "$HOME/relay.bmp"
win=$(main_window)
xdotool windowfocus --sync "$win" key $(printf 'Tab %.0s' $(seq 19)) space
check "Tab: the nineteenth stop is Save" wait_for "$HOME/relay.src" 4 BITMAP
xdotool key Tab space
same "Tab: then Quit" "0" "$(exit_status)"

# -window=yes alone asks as a bare start does; without a display it says so and ends with 1; any
# value but yes and no is a bad value.
launch -window=yes
choose "$HOME/relay.bmp"
win=$(main_window)
check "-window=yes alone: the open dialog, then the window" test -n "$win"
quit "$win"
same "-window=yes alone: quit" "0" "$(exit_status)"
for args in "" "-window=yes" "-window=yes $HOME/relay.bmp"; do
    # shellcheck disable=SC2086
    status=$(DISPLAY= "$PICTORN" $args 2>err; echo $?)
    same "no display ($args)" "1:pictorn: no X display to show the window on (DISPLAY is not set or cannot be reached)" \
        "$status:$(cat err)"
done
run -window=maybe "$HOME/relay.bmp"
same "-window=maybe" "4:Bad value - '-window=maybe'" "$status:$err"
run -window=no "$HOME/relay.bmp" no.src
same "-window=no converts" "0:" "$status:$err"
same_file "-window=no: the text" relay.text no.src

# "Open with" in a file manager runs the desktop entry's command with the file in place of %f.
read -r program arguments < <(sed -n 's/^Exec=//p' "$TESTS/../data/pictorn.desktop")
same "desktop entry: the program" pictorn "$program"
# shellcheck disable=SC2086
launch ${arguments//%f/$HOME/relay.bmp}
win=$(main_window)
check "desktop entry: the window on the file" title_is "$win" "relay.bmp* - Pictorn Converter"
quit "$win"
same "desktop entry: quit" "0" "$(exit_status)"
mimes=$(sed -n 's/^MimeType=//p' "$TESTS/../data/pictorn.desktop" | tr ';' '\n')
for mime in image/bmp image/png image/x-portable-bitmap image/svg+xml image/svg+xml-compressed; do
    check "desktop entry: $mime" grep -qx "$mime" <<<"$mimes"
done

# A save whose write fails part way (the file-size limit stands in for a full disk) asks for
# another name too, and the file that was there stays whole.
perl -e 'print "x" x 5000' >"$HOME/big.src"
cp "$HOME/big.src" old.src
stripes_bmp >"$HOME/big.bmp"
rm -f "$WORK/exit"
(bash -c 'trap "" XFSZ; ulimit -f 4; exec "$0"' "$PICTORN" 2>"$WORK/window.err"; echo $? >"$WORK/exit") &
choose "$HOME/big.bmp"
win=$(main_window)
dialog=$(save_dialog "$win")
check "failed write: save dialog" test -n "$dialog"
xdotool windowfocus --sync "$dialog" key Escape
quit "$win"
same "failed write: quit" "0" "$(exit_status)"
check "failed write: old file whole" cmp -s old.src "$HOME/big.src"

# The window as a new user meets it: focus in Name, Ctrl+S, a status line that says whether what
# is shown is saved, and the window's icon and first size.
launch -window=yes "$HOME/relay.bmp"
win=$(main_window)
eval "$(xdotool getwindowgeometry --shell "$win")"
check "the window carries pictorn's icon" grep -q 'Icon (' <(xprop -id "$win" _NET_WM_ICON)
check "its first size fits more than the bare fields" test "$WIDTH" -ge 480 -a "$HEIGHT" -ge 360
steady_status "$win" unsaved
check "a status line before a Save" grep -q '#' unsaved
xdotool type --delay 2 FOCUS
check "the status line follows an edit" eventually status_not "$win" unsaved
steady_status "$win" edited
xdotool key ctrl+s
check "focus starts in Name; Ctrl+S saves" wait_for "$HOME/relay.src" 1 "'FOCUS'"
check "the status line says the text was saved" eventually status_not "$win" edited
steady_status "$win" saved
xdotool type --delay 2 X
xdotool key BackSpace
check "the same text after an edit: not saved any more" eventually status_is "$win" edited
xdotool key BackSpace
check "an edit after the save: the status line changes" eventually status_not "$win" saved
steady_status "$win" shorter
xdotool type --delay 2 S
check "the status line follows the text" eventually status_not "$win" shorter
xdotool key BackSpace
check "the same text: the same status line" eventually status_is "$win" shorter
quit "$win"
same "status: quit" "0" "$(exit_status)"

finish
