# Helpers for the window tests, sourced after lib.sh: a private X server, pictorn started in the
# background, its windows found by title, keys and clicks, and screenshots read as "#" and ".".

start_xvfb
trap 'pkill -P $$ 2>/dev/null; kill $XVFB_PID 2>/dev/null; rm -rf "$WORK"' EXIT
export DISPLAY=$XDISPLAY HOME=$WORK/home
mkdir -p "$HOME"

# window TITLE: the id of the visible window whose whole title matches the pattern TITLE, waiting
# for it ten seconds at most. A search can fail while another window is going away, so it is
# simply tried again.
window() {
    local id
    for _ in $(seq 100); do
        id=$(xdotool search --onlyvisible --limit 1 --name "^$1\$" 2>/dev/null) && [ -n "$id" ] &&
            { echo "$id"; return; }
        sleep 0.1
    done
}
main_window() { window ".*Pictorn Converter"; }

# launch [ARGS...]: starts pictorn with ARGS in the background.
launch() {
    rm -f "$WORK/exit"
    ("$PICTORN" "$@" 2>"$WORK/window.err"; echo $? >"$WORK/exit") &
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

# shot WINDOW X Y W H: the rows of a part of the window, "#" for dark and "." for light pixels.
shot() {
    xwd -id "$1" -silent | $IM xwd:- -crop "$4x$5+$2+$3" +repage -threshold 50% pbm:- |
        pnmtoplainpnm | rows_of_pbm /dev/stdin | cut -c6-
}

# view WINDOW: the rows of text and the preview, the window's middle, as a shot.
view() {
    local WIDTH HEIGHT
    eval "$(xdotool getwindowgeometry --shell "$1")"
    shot "$1" 0 62 "$WIDTH" $((HEIGHT - 207))
}

# steady LOOK WINDOW FILE: waits until two looks at WINDOW a moment apart agree (LOOK is view,
# status, ...), and leaves the last in FILE.
steady() {
    local before
    "$1" "$2" >"$3"
    for _ in $(seq 50); do
        sleep 0.1
        before=$(cat "$3")
        "$1" "$2" >"$3"
        [ "$before" == "$(cat "$3")" ] && return 0
    done
    return 1
}
settles() { steady view "$@"; } # WINDOW FILE

# status WINDOW: the status line above the buttons, as a shot.
status() {
    local WIDTH HEIGHT
    eval "$(xdotool getwindowgeometry --shell "$1")"
    shot "$1" 0 $((HEIGHT - 46)) "$WIDTH" 15
}
status_is() { [ "$(status "$1")" == "$(cat "$2")" ]; }  # WINDOW FILE
status_not() { [ "$(status "$1")" != "$(cat "$2")" ]; } # WINDOW FILE
steady_status() { steady status "$@"; } # WINDOW FILE: the status line once it stays the same

# becomes WINDOW FILE: waits a bounded time until the view of WINDOW is that of FILE.
becomes() {
    for _ in $(seq 50); do
        view "$1" | cmp -s - "$2" && return 0
        sleep 0.1
    done
    return 1
}

not_view() { ! view "$1" | cmp -s - "$2"; } # WINDOW FILE

# title_is WINDOW TITLE: waits a bounded time until WINDOW's title is TITLE.
title_is() {
    for _ in $(seq 50); do
        [ "$(xdotool getwindowname "$1" 2>/dev/null)" == "$2" ] && return 0
        sleep 0.1
    done
    return 1
}

# poll TENTHS COMMAND...: waits up to TENTHS tenths of a second until COMMAND succeeds.
poll() {
    local tenths=$1
    shift
    for _ in $(seq "$tenths"); do
        "$@" && return 0
        sleep 0.1
    done
    return 1
}
eventually() { poll 50 "$@"; } # COMMAND...: a bounded wait
# patiently COMMAND...: the same for a large picture's first drawing, which a sanitizer build on a
# busy machine may take far longer over.
patiently() { poll 600 "$@"; }
