#!/usr/bin/env bash
# The preview zoomed out on a real X server: each screen pixel exactly as light as the block of
# the picture it stands for, whatever the picture's bit order, at a zoom counted from the bits, one
# counted from a quarter of the picture, and one from an eighth.
source "$(dirname "$0")/lib.sh"
source "$TESTS/window_lib.sh"

# Noise of every density, changing across the columns, in a dark frame, 801 x 36: a row ends one
# pixel into its last byte and its last block, and an eighth of the picture has an odd number of
# rows.
/usr/bin/python3 - "$HOME" <<'PY'
import random, sys
from PIL import Image
random.seed(7)
im = Image.new('1', (801, 36), 1)
px = im.load()
for y in range(36):
    for x in range(801):
        edge = x in (0, 800) or y in (0, 35)
        px[x, y] = 0 if edge or random.random() < x * 37 % 100 / 100 else 1
im.save(sys.argv[1] + '/noise.pbm')
im.save(sys.argv[1] + '/noise.bmp')
PY
pbmtoxbm "$HOME/noise.pbm" >"$HOME/noise.xbm"

# zoom_is WINDOW ZOOM MOST: whether the preview shows the noise at 1:ZOOM, each screen pixel within
# MOST of its block's lightness; what it shows is left in the file "last". The part looked at
# is the preview's space within its frame.
zoom_is() {
    local WIDTH HEIGHT
    eval "$(xdotool getwindowgeometry --shell "$1")"
    xwd -id "$1" -silent | $IM xwd:- ppm:shot.ppm
    "$TESTS/preview_blocks.py" "$HOME/noise.pbm" shot.ppm $((WIDTH / 2 + 8)) 70 $((WIDTH / 2 - 16)) $((HEIGHT - 207)) >last 2>&1
    read -r zoom worst <last
    [ "$zoom" == "$2" ] && [ "$worst" -le "$3" ]
}
shows() { # NAME WINDOW ZOOM MOST
    if eventually zoom_is "$2" "$3" "$4"; then pass; else fail "$1" "zoom, most off: $(cat last)"; fi
}

# The dark colour first, padding bits clear, in the BMP; bits from the lowest, dark set, in the XBM.
for picture in noise.bmp noise.xbm; do
    launch -window=yes "$HOME/$picture"
    win=$(main_window)
    shows "$picture: fitted at 1:2, counted from the bits" "$win" 2 0
    xdotool key ctrl+minus
    shows "$picture: Ctrl+- to 1:4, counted from a quarter" "$win" 4 0
    xdotool key ctrl+minus
    shows "$picture: Ctrl+- to 1:8, counted from an eighth (each a mean, rounded)" "$win" 8 1
    quit "$win"
    same "$picture: quit" "0" "$(exit_status)"
done

finish
