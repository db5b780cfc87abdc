#!/usr/bin/env bash
# What the window shows, driven on a real X server and judged by screenshots and by what Save
# writes: the preview at every zoom and its ties to the rows, and the controls of the reduction,
# each against what a start with the same command-line keys shows and writes.
source "$(dirname "$0")/lib.sh"
source "$TESTS/window_lib.sh"

# disc_bmp W H CX CY R: a 1-bit BMP of a black disc on white.
disc_bmp() {
    perl -e '
        my ($w, $h, $cx, $cy, $r) = @ARGV;
        my $row = int(($w + 31) / 32) * 4; my $n = $row * $h;
        print "BM", pack("VvvV", 62 + $n, 0, 0, 62),
            pack("VllvvVVllVV", 40, $w, $h, 1, 1, 0, $n, 2835, 2835, 2, 2), pack("VV", 0xffffff, 0);
        for (my $y = $h - 1; $y >= 0; $y--) {
            my $d = $r * $r - ($y + 0.5 - $cy) ** 2; my $bits = "";
            if ($d > 0) {
                my $s = sqrt($d); my ($a, $b) = (int($cx - $s + 0.5), int($cx + $s + 0.5));
                $a = 0 if $a < 0; $b = $w if $b > $w;
                $bits = ("0" x $a) . ("1" x ($b - $a)) if $b > $a;
            }
            print pack("B*", $bits . "0" x ($row * 8 - length $bits));
        }' -- "$@"
}

# area WINDOW: the preview's part of the window (its right half, between the fields and the
# controls) as a shot; AREA_X and AREA_Y are where the shot starts.
area() {
    local WIDTH HEIGHT
    eval "$(xdotool getwindowgeometry --shell "$1")"
    AREA_X=$((WIDTH / 2 + 2)) AREA_Y=64
    shot "$1" "$AREA_X" "$AREA_Y" $((WIDTH / 2 - 4)) $((HEIGHT - 195))
}
# box: the dark pixels of a shot on standard input as "left top width height lines columns".
box() {
    awk '{ i = index($0, "#"); if (i) { if (!top) top = NR; bottom = NR
        if (!left || i < left) left = i; r = match($0, /#[^#]*$/); if (r > right) right = r }; w = length($0) }
        END { print left, top, right - left + 1, bottom - top + 1, NR, w }'
}
ink() { tr -cd '#' | wc -c; }
# area_ink WINDOW MIN [MAX]: whether the preview's part has more than MIN, and less than MAX, dark
# pixels.
area_ink() {
    local n
    n=$(area "$1" | ink)
    [ "$n" -gt "$2" ] && [ "$n" -lt "${3:-999999999}" ]
}
# area_width WINDOW MIN MAX: whether the dark part of the preview is more than MIN and less than
# MAX pixels wide.
area_width() {
    local n
    n=$(area "$1" | box | cut -d' ' -f3)
    [ "$n" -gt "$2" ] && [ "$n" -lt "$3" ]
}
# ink_above WINDOW MIN: whether the rows of text on screen have more than MIN dark pixels.
ink_above() { [ "$(rows_ink "$1")" -gt "$2" ]; }
# rows_ink WINDOW: the dark pixels of the rows of text on screen.
rows_ink() {
    local WIDTH HEIGHT
    eval "$(xdotool getwindowgeometry --shell "$1")"
    shot "$1" 0 130 $((WIDTH / 2 - 20)) $((HEIGHT - 287)) | ink
}
# selected_line WINDOW: the line of text the rows have as current, copied into Name and saved to
# FILE; prints line 1 of FILE once it changes.
selected_line() {
    rm -f "$2"
    xdotool windowfocus --sync "$1"
    xdotool key alt+p alt+n Tab Tab ctrl+c alt+n ctrl+a ctrl+v ctrl+s
    for _ in $(seq 50); do [ -s "$2" ] && break; sleep 0.1; done
    head -n 1 "$2"
}

# The preview as a new user meets it: square pixels at the largest whole-number zoom that fits,
# the pixels of the picture, and rows in a font whose columns line up.
bmp1 12 5 ffffff 000000 "111111111111 100000000001 111111111111 100100000001 111111111111" >"$HOME/frame.bmp"
launch -window=yes "$HOME/frame.bmp"
win=$(main_window)
xdotool key ctrl+s
check "frame saved" wait_for "$HOME/frame.src" 4 BITMAP
area "$win" >preview
read -r left top width height _ < <(box <preview)
zoom=$((width / 12))
same "preview: square pixels, 12 x 5 at a whole zoom" "$((12 * zoom))x$((5 * zoom))" "${width}x$height"
check "preview: zoomed to fit its space" test "$zoom" -ge 10
xdotool key ctrl+minus
check "Ctrl+-: one step, $((zoom - 1)) screen pixels a pixel" \
    eventually area_width "$win" $((12 * (zoom - 1) - 1)) $((12 * (zoom - 1) + 1))
xdotool key ctrl+plus
check "Ctrl++: one step back" eventually area_width "$win" $((12 * zoom - 1)) $((12 * zoom + 1))
same "preview: the pixels of the picture" "$(sed -n 5,9p "$HOME/frame.src" | cut -c6-)" \
    "$(awk -v l="$left" -v t="$top" -v z="$zoom" 'NR >= t && (NR - t) % z == int(z / 2) && NR < t + 5 * z {
        row = ""; for (x = 0; x < 12; x++) row = row substr($0, l + x * z + int(z / 2), 1); print row }' preview)"
eval "$(xdotool getwindowgeometry --shell "$win")"
shot "$win" 0 60 $((WIDTH / 2)) 200 >rows
same "rows in a fixed-pitch font: every row ends in the same column" "5" \
    "$(awk '{ e[NR] = match($0, /#[^#]*$/); if (e[NR] > max) max = e[NR] }
        END { for (r = 1; r <= NR; r++) { on = e[r] >= max - 2; if (on && !was) n++; was = on }; print n }' rows)"
quit "$win"
same "frame: quit" "0" "$(exit_status)"

# Each control against a start with the same keys: the rows and the preview on screen, and what
# Save writes against the command line. The settings pile up: threshold, invert, dither, width.
$IM -size 24x64 gradient:white-black -rotate 90 -fill black -draw 'rectangle 0,10 63,11' "$HOME/ramp.png"
steps=("-threshold=70" "-threshold=70 -invert=yes" "-threshold=70 -invert=yes -dither=yes"
    "-threshold=70 -invert=yes -dither=yes -alpha=shape" "-threshold=70 -invert=yes -dither=yes -alpha=shape -width=40"
    "-threshold=70 -invert=yes -dither=yes -alpha=shape -width=40 -height=10")
keys=("alt+t ctrl+a 7 0" "alt+i" "alt+d" "alt+a" "alt+w ctrl+a 4 0 Tab" "alt+h Tab space alt+h ctrl+a 1 0 Tab")
# A new size makes a start with another first size of the window: those are judged by Save alone.
viewed=4
for i in $(seq 0 $((viewed - 1))); do
    # shellcheck disable=SC2086
    launch -window=yes ${steps[$i]} "$HOME/ramp.png"
    win=$(main_window)
    settles "$win" "want$i"
    quit "$win"
    same "start with ${steps[$i]}: quit" "0" "$(exit_status)"
done
launch -window=yes "$HOME/ramp.png"
win=$(main_window)
for i in "${!steps[@]}"; do
    # shellcheck disable=SC2086
    xdotool key ${keys[$i]}
    [ "$i" -lt "$viewed" ] && check "${keys[$i]}: the rows and the preview of ${steps[$i]}" becomes "$win" "want$i"
    xdotool key ctrl+s
    # shellcheck disable=SC2086
    "$PICTORN" ${steps[$i]} "$HOME/ramp.png" cli.src
    check "${keys[$i]}: Save writes what ${steps[$i]} writes" eventually cmp -s cli.src "$HOME/ramp.src"
    rm -f "$HOME/ramp.src"
done
quit "$win"
same "controls: quit" "0" "$(exit_status)"

# The threshold's box shows the threshold the rows have from the start, and the slider moves it.
launch -window=yes "$HOME/ramp.png"
win=$(main_window)
xdotool key alt+t Up ctrl+s
"$PICTORN" -threshold=51 "$HOME/ramp.png" cli.src
check "Up from the threshold shown at start: 51" eventually cmp -s cli.src "$HOME/ramp.src"
rm -f "$HOME/ramp.src"
xdotool key alt+t shift+Tab End ctrl+s
"$PICTORN" -threshold=99 "$HOME/ramp.png" cli.src
check "the slider's End: 99" eventually cmp -s cli.src "$HOME/ramp.src"
quit "$win"
same "threshold: quit" "0" "$(exit_status)"

# A new picture of the same size, opened with Ctrl+O, is drawn at once.
bmp1 12 5 ffffff 000000 "000000000000 011111111110 010000000010 011111111110 000000000000" >"$HOME/other.bmp"
launch -window=yes "$HOME/other.bmp"
win=$(main_window)
settles "$win" other
quit "$win"
exit_status >/dev/null
launch -window=yes "$HOME/frame.bmp"
win=$(main_window)
xdotool key ctrl+o
choose "$HOME/other.bmp"
check "Ctrl+O, a picture of the same size: its rows and preview" becomes "$win" other
quit "$win"
same "same size: quit" "0" "$(exit_status)"

# A large picture is shown whole when it opens, zoomed out, each screen pixel as dark as its part
# of the picture; the zoom keys and Ctrl with the wheel zoom in and out about the middle.
disc_bmp 16000 16000 8000 8000 6000 >"$HOME/disc.bmp"
launch -window=yes "$HOME/disc.bmp"
win=$(main_window)
patiently area_ink "$win" 0
area "$win" >whole
read -r left top width height lines columns < <(box <whole)
check "16000 x 16000: the disc shown whole ($left $top $width $height in $columns x $lines)" \
    test "$width" -ge 100 -a "$left" -gt 1 -a "$top" -gt 1 -a $((left + width)) -lt "$columns" \
    -a $((top + height)) -lt "$lines"
check "16000 x 16000: round, with square pixels (${width}x$height)" test $((width - height)) -le 2 -a $((height - width)) -le 2
check "16000 x 16000: in the middle of the preview" \
    test $(((2 * left + width - columns) ** 2 + (2 * top + height - lines) ** 2)) -le 32
fill=$(ink <whole)
check "16000 x 16000: filled as a disc ($fill of $((width * height)))" \
    test $((fill * 100 / (width * height))) -ge 74 -a $((fill * 100 / (width * height))) -le 82
xdotool key ctrl+minus
check "Ctrl+-: half the size" eventually area_width "$win" $((width / 2 - 3)) $((width / 2 + 3))
xdotool key ctrl+0
check "Ctrl+0: fitted again" eventually cmp -s whole <(area "$win")
xdotool key ctrl+equal
check "Ctrl+=: larger" eventually area_width "$win" $((width + 10)) 99999
xdotool key ctrl+0 ctrl+plus
check "Ctrl++: larger" eventually area_width "$win" $((width + 10)) 99999
xdotool key ctrl+0
eventually cmp -s whole <(area "$win")
xdotool mousemove --window "$win" $((AREA_X + columns / 2)) $((AREA_Y + lines / 2)) keydown ctrl click 5 keyup ctrl
check "Ctrl and the wheel: smaller" eventually area_width "$win" $((width / 2 - 3)) $((width / 2 + 3))
quit "$win"
same "16000: quit" "0:" "$(exit_status):$(cat "$WORK/window.err")"

# Zoomed out and scrolled, each screen pixel stays the block of the picture under it: what the
# scroll exposes agrees with the whole view drawn anew (by inverting twice).
disc_bmp 4000 4000 2000 2000 1500 >"$HOME/disc4.bmp"
launch -window=yes "$HOME/disc4.bmp"
win=$(main_window)
patiently area_ink "$win" 0
xdotool key ctrl+plus ctrl+plus
eval "$(xdotool getwindowgeometry --shell "$win")"
xdotool mousemove --window "$win" $((WIDTH * 3 / 4)) $((HEIGHT / 3)) click 5 click 5 click 6 click 6
settles "$win" scrolled
xdotool key alt+i
check "inverted" eventually not_view "$win" scrolled
xdotool key alt+i
check "scrolled: the pixels exposed are those of their own place" becomes "$win" scrolled
quit "$win"
same "scrolled: quit" "0" "$(exit_status)"

# Zoomed out by any ratio, 4000 x 4000 fills the preview; Ctrl and the wheel zoom about the
# pointer; a zoom the user chose stays when the window is resized, and Ctrl+0 fits for good.
left_at() { area "$1" | sed -n "$2p" | awk '{ print index($0, "#") }'; } # WINDOW ROW
launch -window=yes "$HOME/disc4.bmp"
win=$(main_window)
patiently area_ink "$win" 0
area "$win" >disc
read -r left top width height lines columns < <(box <disc)
small=$((lines < columns ? lines : columns))
check "4000 x 4000: the disc fills the preview ($width of $small)" test $((width * 100 / small)) -ge 60
row=$((top + height / 2))
xdotool mousemove --window "$win" $((AREA_X + left + 1)) $((AREA_Y + row - 1)) keydown ctrl click 4 keyup ctrl
check "Ctrl and the wheel: larger" eventually area_ink "$win" $(($(ink <disc) * 3 / 2))
moved=$(($(left_at "$win" "$row") - left))
check "Ctrl and the wheel: about the pointer ($moved)" test "${moved#-}" -le 5
xdotool key ctrl+0 ctrl+minus
check "Ctrl+-: zoomed out" eventually area_width "$win" 0 $((width * 3 / 4))
steady area "$win" zoomed
eval "$(xdotool getwindowgeometry --shell "$win")"
sized() { xdotool getwindowgeometry --shell "$win" | grep -qx "WIDTH=$1"; }
xdotool windowsize "$win" $((WIDTH - 150)) $((HEIGHT - 100))
eventually sized $((WIDTH - 150))
steady area "$win" resized
same "a zoom the user chose stays across a resize" "$(box <zoomed | cut -d' ' -f3)" "$(box <resized | cut -d' ' -f3)"
xdotool key ctrl+0
check "Ctrl+0: fitted" eventually area_width "$win" $(($(box <zoomed | cut -d' ' -f3) + 20)) 99999
steady area "$win" fitted
xdotool windowsize "$win" "$WIDTH" "$HEIGHT"
check "Ctrl+0, then a resize: fitted to the new space" \
    eventually area_width "$win" $(($(box <fitted | cut -d' ' -f3) + 20)) 99999
quit "$win"
same "zoom: quit" "0" "$(exit_status)"

# The preview and the rows follow each other at every zoom: a tall picture, white but for a black
# band at its foot, shows which part each one shows.
$IM -size 400x2000 xc:white -fill black -draw 'rectangle 0,1900 399,1999' "$HOME/tall.png"
launch -window=yes "$HOME/tall.png"
win=$(main_window)
patiently area_ink "$win" 0
area "$win" >fitted
read -r left top width height _ < <(box <fitted)
check "tall: shown whole, zoomed out (${width}x$height)" test "$width" -le 200 -a "$height" -le 40
top_rows=$(rows_ink "$win")
xdotool mousemove --window "$win" $((AREA_X + left - 1 + width / 2)) $((AREA_Y + top - 1 + height / 2)) click 1
check "the preview clicked, zoomed out: the rows scroll to its row" \
    eventually ink_above "$win" $((top_rows * 2))
line=$(selected_line "$win" "$HOME/tall.src")
check "the preview clicked, zoomed out: its row is the current line ($line)" \
    test "${line:0:4}" == "'{19" -a "${line:6:1}" == "}"
xdotool windowfocus --sync "$win" key alt+t Up
check "a new threshold keeps the rows' place" eventually ink_above "$win" $((top_rows * 2))
xdotool key ctrl+plus ctrl+plus ctrl+plus
eval "$(xdotool getwindowgeometry --shell "$win")"
click "$win" 25 130
xdotool key End
click "$win" 25 $((HEIGHT / 2))
check "a row clicked, zoomed in: the preview scrolls to it" \
    eventually area_ink "$win" $((WIDTH * HEIGHT / 8))
xdotool key Home
click "$win" 25 140
# Only the arrows of the scroll bars are dark.
check "a row at the top clicked: the preview scrolls up" eventually area_ink "$win" -1 200
quit "$win"
same "tall: quit" "0" "$(exit_status)"

# The preview follows a row chosen from the keyboard, zoomed out, to its very place: a band over
# rows 500 to 549 comes into view when row 520 is typed into the rows, not when the last is chosen.
$IM -size 400x2000 xc:white -fill black -draw 'rectangle 0,500 399,549' "$HOME/band.png"
launch -window=yes "$HOME/band.png"
win=$(main_window)
patiently area_ink "$win" 0
xdotool key ctrl+plus
click "$win" 25 130
xdotool key End
check "zoomed out, the last row chosen: the band out of view" eventually area_ink "$win" -1 200
xdotool type --delay 20 "{520"
check "zoomed out, row 520 chosen: the band in view" eventually area_ink "$win" 2000
quit "$win"
same "band: quit" "0" "$(exit_status)"

# The rows scroll to the end of the longest: the last three pixels of each row, dark, come into
# view when the rows are scrolled right as far as they go.
bmp1 300 3 ffffff 000000 "$(for _ in 1 2 3; do printf '%0297d111 ' 0; done)" >"$HOME/long.bmp"
launch -window=yes "$HOME/long.bmp"
win=$(main_window)
eval "$(xdotool getwindowgeometry --shell "$win")"
xdotool mousemove --window "$win" $((WIDTH / 4)) 150 click --repeat 100 --delay 5 7
# dark_end: whether the 24 columns before the last dark one of the rows hold three "#" glyphs a
# row, not dots.
dark_end() {
    shot "$win" 0 62 $((WIDTH / 2 - 6)) 120 | awk '{ r = match($0, /#[^#]*$/); if (r > right) right = r; line[NR] = $0 }
        END { for (y = 1; y <= NR; y++) { s = substr(line[y], right - 23, 24); n += gsub(/#/, "", s) }
            exit n > 60 ? 0 : 1 }'
}
check "the ends of long rows can be scrolled to" eventually dark_end
quit "$win"
same "long: quit" "0" "$(exit_status)"

# A click on the preview makes the row under the pointer the current line.
$IM -size 40x200 xc:white -fill black -draw 'rectangle 0,150 39,150' "$HOME/line.png"
launch -window=yes "$HOME/line.png"
win=$(main_window)
patiently area_ink "$win" 0
area "$win" >line
read -r left top width height _ < <(box <line)
xdotool mousemove --window "$win" $((AREA_X + left - 1 + width / 2)) $((AREA_Y + top - 1 + height / 2)) click 1
same "the preview clicked on row 150: its line is current" "'{150}###########'" \
    "$(selected_line "$win" "$HOME/line.src")"
quit "$win"
same "line: quit" "0" "$(exit_status)"

finish
