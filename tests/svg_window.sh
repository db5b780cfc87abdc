#!/usr/bin/env bash
# SVG in the window: it shows while a slow first drawing runs, and Quit stops that drawing; an SVG
# resized again and again, each size asked while the drawing before it runs, ends as the last asks.
source "$(dirname "$0")/lib.sh"
source "$TESTS/window_lib.sh"

svg_open='<svg xmlns="http://www.w3.org/2000/svg"'

# Three thousand lines of text across the largest size take long to draw, laid out again for each
# of 64 bands, and little time to be known.
printf '%s width="16384" height="16384">%s</svg>' "$svg_open" \
    "$(for i in $(seq 3000); do printf '<text x="%d" y="%d" font-size="40">pictorn</text>' $((i * 5)) $((i * 5)); done)" \
    >"$HOME/slow.svg"
launch -window=yes "$HOME/slow.svg"
win=$(main_window)
check "a slow first drawing: the window shows meanwhile" test -n "$win"
quit "$win"
same "a slow first drawing: Quit stops it" "0:" "$(exit_status):$(cat "$WORK/window.err")"

printf '%s width="400" height="300"><circle cx="200" cy="150" r="140"/><rect x="50" y="140" width="300" height="20" fill="#fff"/></svg>' \
    "$svg_open" >"$HOME/disc.svg"
launch -window=yes "$HOME/disc.svg"
win=$(main_window)
for width in $(seq 1000 97 3000); do
    # shellcheck disable=SC2046
    xdotool key alt+w ctrl+a $(sed 's/./& /g' <<<"$width") Tab
done
xdotool key ctrl+s
"$PICTORN" -width="$width" "$HOME/disc.svg" cli.src
check "resized $(seq 1000 97 3000 | wc -l) times while drawing: Save writes the last size" \
    eventually cmp -s cli.src "$HOME/disc.src"
quit "$win"
same "resized: quit" "0:" "$(exit_status):$(cat "$WORK/window.err")"

finish
