#!/usr/bin/env bash
# Displays: the command line converts with or without an X display and says nothing of the
# toolkit; the window needs a display and says so in one line when there is none.
source "$(dirname "$0")/lib.sh"

bmp1 12 3 ffffff 000000 "100000000001 000000000000 000000000000" >relay.bmp
printf "''\n''\n1 0 1\nBITMAP\n{  0}#..........#\n{  1}............\n{  2}............\n\n" >expected
start_xvfb "$WORK/xvfb.log"
nowindow="pictorn: no X display to show the window on (DISPLAY is not set or cannot be reached)"

while IFS='|' read -r what setting; do
    rm -f relay.src
    env -u XDG_RUNTIME_DIR $setting "$PICTORN" relay.bmp 2>stderr
    same "$what: converts quietly" "0:" "$?:$(cat stderr)"
    same_file "$what: text" expected relay.src
done <<CASES
no display|-u DISPLAY
unreachable display|DISPLAY=:999
display that is not X|DISPLAY=nonsense
offscreen chosen by the user|QT_QPA_PLATFORM=offscreen
reachable display|DISPLAY=$XDISPLAY
CASES

# A reachable display is opened, as the window's toolkit always does.
sleep 0.2
check "reachable display was opened" grep -q 'connected' "$WORK/xvfb.log"

run -platform offscreen relay.bmp
same "toolkit option taken out" "0:" "$status:$err"

for setting in "-u DISPLAY" "DISPLAY=:999"; do
    env $setting timeout 10 "$PICTORN" 2>stderr
    same "window with $setting" "1:$nowindow" "$?:$(cat stderr)"
done
# -display on the command line names a display as DISPLAY does.
before=$(grep -c 'connected' "$WORK/xvfb.log")
env -u DISPLAY "$PICTORN" -display "$XDISPLAY" relay.bmp
sleep 0.2
check "-display :N is opened" test "$(grep -c 'connected' "$WORK/xvfb.log")" -gt "$before"

# A server that takes the connection and never answers: the command line converts all the same,
# the window says it cannot reach the display; neither waits for ever.
kill -STOP "$XVFB_PID"
rm -f relay.src
DISPLAY=$XDISPLAY timeout 20 "$PICTORN" relay.bmp 2>stderr
same "frozen server: converts" "0:" "$?:$(cat stderr)"
same_file "frozen server: text" expected relay.src
DISPLAY=$XDISPLAY timeout 20 "$PICTORN" 2>stderr
same "frozen server: window" "1:$nowindow" "$?:$(cat stderr)"
kill -CONT "$XVFB_PID"

check "no core dumped" test ! -e core

finish
