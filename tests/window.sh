#!/usr/bin/env bash
# The window, driven as a user drives it on a real X server: the open dialog, the Name and
# Package fields, Save (and its dialog when the default name cannot be written) and Quit.
source "$(dirname "$0")/lib.sh"

start_xvfb
trap 'pkill -P $$ 2>/dev/null; kill $XVFB_PID 2>/dev/null; rm -rf "$WORK"' EXIT
export DISPLAY=$XDISPLAY HOME=$WORK/home
mkdir -p "$HOME"
bmp1 12 3 ffffff 000000 "100000000001 000000000000 000000000000" >"$HOME/relay.bmp"

# window TITLE: the id of the visible window with that title, waiting for it ten seconds at most.
# A search can fail while another window is going away, so it is simply tried again.
window() {
    local id
    for _ in $(seq 100); do
        id=$(xdotool search --onlyvisible --limit 1 --name "^$1\$" 2>/dev/null) && [ -n "$id" ] &&
            { echo "$id"; return; }
        sleep 0.1
    done
}

# launch [PREFIX...]: starts pictorn without arguments in the background.
launch() {
    rm -f "$WORK/exit"
    ("$@" "$PICTORN" 2>"$WORK/window.err"; echo $? >"$WORK/exit") &
}

# exit_status: pictorn's exit status once it has ended, or "running" after ten seconds.
exit_status() {
    for _ in $(seq 100); do
        [ -s "$WORK/exit" ] && { cat "$WORK/exit"; return; }
        sleep 0.1
    done
    echo running
}

# choose PATH: answers the open dialog with PATH (Escape when PATH is empty).
choose() {
    local dialog
    dialog=$(window "Select bitmap to convert")
    [ -n "$dialog" ] || { fail "no open dialog" "$(cat "$WORK/window.err"; xdotool search --name . getwindowname %@ 2>/dev/null | sort -u)"; return; }
    xdotool windowfocus --sync "$dialog"
    if [ -n "$1" ]; then xdotool type --delay 2 "$1" && xdotool key Return; else xdotool key Escape; fi
}

# click WINDOW X Y: a left click at a fraction of the window's width and a pixel row, counted
# from the top when positive and from the bottom when negative.
click() {
    local WIDTH HEIGHT
    eval "$(xdotool getwindowgeometry --shell "$1")"
    local x=$((WIDTH * $2 / 100)) y=$3
    [ "$y" -lt 0 ] && y=$((HEIGHT + y))
    xdotool mousemove --window "$1" "$x" "$y" click 1
}
type_into() { # WINDOW ROW TEXT: replaces the text of the Name (row 15) or Package (row 45) field
    click "$1" 70 "$2"
    xdotool key ctrl+a && xdotool type --delay 2 "$3"
}
save() { click "$1" 25 -15; }
save_dialog() { save "$1" && window "Output File"; } # WINDOW: presses Save, waits for the dialog
quit() { click "$1" 75 -15; }

# wait_for FILE LINE TEXT: waits a bounded time until line LINE of FILE reads TEXT.
wait_for() {
    for _ in $(seq 50); do
        [ "$(sed -n "$2p" "$1" 2>/dev/null)" == "$3" ] && return 0
        sleep 0.1
    done
    return 1
}

# A whole session: convert, edit the name past 16 characters, save, edit the package, save, quit.
launch
choose "$HOME/relay.bmp"
win=$(window "Pictorn Converter")
check "window shown" test -n "$win"
type_into "$win" 15 ABCDEFGHIJKLMNOPQRST
save "$win"
check "save writes beside the input, name cut to 16" wait_for "$HOME/relay.src" 1 "'ABCDEFGHIJKLMNOP'"
printf "'ABCDEFGHIJKLMNOP'\n''\n1 0 1\nBITMAP\n{  0}#..........#\n{  1}............\n{  2}............\n\n" >expected
same_file "saved text" expected "$HOME/relay.src"
type_into "$win" 45 PKG
save "$win"
check "save again rewrites the file" wait_for "$HOME/relay.src" 2 "'PKG'"
same "package edit touches line 1 only" "$(sed 2d expected)" "$(sed 2d "$HOME/relay.src")"
quit "$win"
same "quit: status and messages" "0:" "$(exit_status):$(cat "$WORK/window.err")"

# Escape closes the window as Quit does.
launch
choose "$HOME/relay.bmp"
win=$(window "Pictorn Converter")
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
win=$(window "Pictorn Converter")
dialog=$(save_dialog "$win")
check "save dialog asks for another name" test -n "$dialog"
xdotool windowfocus --sync "$dialog" key Escape
sleep 0.3
check "cancelled save: window still open" test -n "$(window "Pictorn Converter")"
same "cancelled save: nothing written" "" "$(find "$HOME/blocked/relay.src" -type f)"
dialog=$(save_dialog "$win")
xdotool windowfocus --sync "$dialog" type --delay 2 "$HOME/chosen.src"
xdotool key Return
check "chosen name written" wait_for "$HOME/chosen.src" 4 BITMAP
quit "$win"
same "quit after the save dialog" "0" "$(exit_status)"

# A save whose write fails part way (the file-size limit stands in for a full disk) asks for
# another name too, and the file that was there stays whole.
perl -e 'print "x" x 5000' >"$HOME/big.src"
cp "$HOME/big.src" old.src
stripes_bmp >"$HOME/big.bmp"
launch bash -c 'trap "" XFSZ; ulimit -f 4; exec "$0"'
choose "$HOME/big.bmp"
win=$(window "Pictorn Converter")
dialog=$(save_dialog "$win")
check "failed write: save dialog" test -n "$dialog"
xdotool windowfocus --sync "$dialog" key Escape
quit "$win"
same "failed write: quit" "0" "$(exit_status)"
check "failed write: old file whole" cmp -s old.src "$HOME/big.src"

# shot WINDOW X Y W H: the rows of a part of the window, "#" for dark and "." for light pixels.
shot() {
    xwd -id "$1" -silent | $IM xwd:- -crop "$4x$5+$2+$3" +repage -threshold 50% pbm:- |
        pnmtoplainpnm | rows_of_pbm /dev/stdin | cut -c6-
}

# The window as a new user meets it: focus in Name, the picture beside its rows, square pixels
# at a whole-number zoom, rows in a font whose columns line up, Ctrl+S, a line saying where the
# text went, and black and white under the user's hand.
bmp1 12 5 ffffff 000000 "111111111111 100000000001 111111111111 100100000001 111111111111" >"$HOME/frame.bmp"
launch
choose "$HOME/frame.bmp"
win=$(window "Pictorn Converter")
eval "$(xdotool getwindowgeometry --shell "$win")"
check "the window carries pictorn's icon" grep -q 'Icon (' <(xprop -id "$win" _NET_WM_ICON)
check "its first size fits more than the bare fields" test "$WIDTH" -ge 480 -a "$HEIGHT" -ge 360
shot "$win" 0 $((HEIGHT - 45)) "$WIDTH" 13 >unsaved
same "no saved line before a Save" "" "$(grep '#' unsaved)"
xdotool type --delay 2 FOCUS
xdotool key ctrl+s
check "focus starts in Name; Ctrl+S saves" wait_for "$HOME/frame.src" 1 "'FOCUS'"
shot "$win" $((WIDTH / 2)) 60 $((WIDTH / 2)) $((HEIGHT - 160)) >preview
read -r left top right bottom < <(awk '{ i = index($0, "#"); if (i) { if (!top) top = NR; bottom = NR
    if (!left || i < left) left = i; r = match($0, /#[^#]*$/); if (r > right) right = r } }
    END { print left, top, right, bottom }' preview)
zoom=$(((right - left + 1) / 12))
same "preview: square pixels, 12 x 5 at a whole zoom" "$((12 * zoom))x$((5 * zoom))" \
    "$((right - left + 1))x$((bottom - top + 1))"
check "preview: zoomed to fit its space" test "$zoom" -ge 10
same "preview: the pixels of the picture" "$(sed -n 5,9p "$HOME/frame.src" | cut -c6-)" \
    "$(awk -v l="$left" -v t="$top" -v z="$zoom" 'NR >= t && (NR - t) % z == int(z / 2) && NR < t + 5 * z {
        row = ""; for (x = 0; x < 12; x++) row = row substr($0, l + x * z + int(z / 2), 1); print row }' preview)"
shot "$win" 0 60 $((WIDTH / 2)) 200 >rows
same "rows in a fixed-pitch font: every row ends in the same column" "5" \
    "$(awk '{ e[NR] = match($0, /#[^#]*$/); if (e[NR] > max) max = e[NR] }
        END { for (r = 1; r <= NR; r++) { on = e[r] >= max - 2; if (on && !was) n++; was = on }; print n }' rows)"
shot "$win" 0 $((HEIGHT - 45)) "$WIDTH" 13 >saved
check "a line says where the text went" grep -q '#' saved
quit "$win"
same "frame: quit" "0" "$(exit_status)"

# Clicking a row of text scrolls the preview to it, and clicking the preview scrolls the text:
# a tall picture, white above and black below its middle, shows which half each one shows.
$IM -size 16x2000 xc:white -fill black -draw 'rectangle 0,1000 15,1999' "$HOME/tall.png"
launch
choose "$HOME/tall.png"
win=$(window "Pictorn Converter")
eval "$(xdotool getwindowgeometry --shell "$win")"
ink() { shot "$win" "$1" 70 $((WIDTH / 2 - 20)) $((HEIGHT - 180)) | tr -cd '#' | wc -c; }
top_preview=$(ink $((WIDTH / 2 + 10)))
click "$win" 25 80
xdotool key End
sleep 0.3
click "$win" 25 $((HEIGHT / 2))
sleep 0.3
bottom_preview=$(ink $((WIDTH / 2 + 10)))
check "a row clicked scrolls the preview to it ($top_preview, then $bottom_preview dark)" \
    test "$bottom_preview" -gt $((top_preview + 1000))
xdotool key Home
sleep 0.3
top_rows=$(ink 0)
click "$win" 75 $((HEIGHT / 2))
sleep 0.3
bottom_rows=$(ink 0)
check "the preview clicked scrolls the rows to it ($top_rows, then $bottom_rows dark)" \
    test "$bottom_rows" -gt $((top_rows * 2))
xdotool key alt+t Right
sleep 0.3
kept_rows=$(ink 0)
check "a new threshold keeps the rows' place ($bottom_rows, then $kept_rows dark)" \
    test "$kept_rows" -gt $((top_rows * 2))
quit "$win"
same "tall: quit" "0" "$(exit_status)"

$IM -size 4x1 xc:white -fill '#202020' -draw 'point 0,0' -fill '#606060' -draw 'point 1,0' \
    -fill '#a0a0a0' -draw 'point 2,0' -fill '#e0e0e0' -draw 'point 3,0' "$HOME/greys.png"
launch
choose "$HOME/greys.png"
win=$(window "Pictorn Converter")
xdotool key ctrl+s
check "threshold at half" wait_for "$HOME/greys.src" 5 "{  0}##.."
xdotool key alt+t End ctrl+s
check "threshold moved up: darker rows saved" wait_for "$HOME/greys.src" 5 "{  0}####"
xdotool key Home ctrl+s
check "threshold moved down: lighter rows saved" wait_for "$HOME/greys.src" 5 "{  0}...."
xdotool key alt+i
sleep 0.3 # a mnemonic clicks its button a moment later
xdotool key ctrl+s
check "invert" wait_for "$HOME/greys.src" 5 "{  0}####"
quit "$win"
same "greys: quit" "0" "$(exit_status)"

finish
