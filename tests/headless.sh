#!/usr/bin/env bash
# Displays: the command line converts whatever DISPLAY says, never connects to X and says nothing
# of the toolkit; the window probes its display with a bounded wait, and says in one line when it
# cannot reach it.
source "$(dirname "$0")/lib.sh"

bmp1 12 3 ffffff 000000 "100000000001 000000000000 000000000000" >relay.bmp
printf "''\n''\n1 0 1\nBITMAP\n{  0}#..........#\n{  1}............\n{  2}............\n\n" >expected
start_xvfb "$WORK/xvfb.log"
nowindow="pictorn: no X display to show the window on (DISPLAY is not set or cannot be reached)"
mkdir home

# fake_x LOG ADDRESS...: an X server that takes connections and never answers, listening on each
# ADDRESS (abstract=NAME, file=PATH, tcp=PORT, tcp6=PORT on ::1, or stall=PORT, which sends the
# first byte of an answer and nothing more) and writing the address of every connection it takes
# to LOG. Fails when an address is taken.
fake_x() {
    local log=$1
    shift
    rm -f "$WORK/.ready"
    perl -MSocket=:all -MIO::Select -e '
        my ($log, $ready, @addresses) = @ARGV; my $select = IO::Select->new; my %name; my @held;
        for my $address (@addresses) {
            my ($kind, $where) = split /=/, $address, 2; my $socket;
            if ($kind eq "tcp" || $kind eq "stall") {
                socket($socket, PF_INET, SOCK_STREAM, 0) or exit 1;
                bind($socket, pack_sockaddr_in($where, inet_aton("127.0.0.1"))) or exit 1;
            } elsif ($kind eq "tcp6") {
                socket($socket, PF_INET6, SOCK_STREAM, 0) or exit 1;
                bind($socket, pack_sockaddr_in6($where, inet_pton(AF_INET6, "::1"))) or exit 1;
            } else {
                socket($socket, PF_UNIX, SOCK_STREAM, 0) or exit 1;
                bind($socket, pack_sockaddr_un($kind eq "abstract" ? "\0$where" : $where)) or exit 1;
            }
            listen($socket, 16) or exit 1; $select->add($socket); $name{fileno $socket} = $address;
        }
        open my $touch, ">", $ready or exit 1; close $touch;
        while (1) {
            for my $socket ($select->can_read) {
                accept(my $client, $socket); push @held, $client;
                syswrite $client, "\1" if $name{fileno $socket} =~ /^stall/;
                open my $out, ">>", $log; print $out "$name{fileno $socket}\n"; close $out;
            }
        }' "$log" "$WORK/.ready" "$@" &
    FAKE_PIDS+=($!)
    while [ ! -e "$WORK/.ready" ]; do
        kill -0 $! 2>/dev/null || return 1
        sleep 0.01
    done
}
FAKE_PIDS=()
FAKE_FILE=
trap 'kill $XVFB_PID "${FAKE_PIDS[@]}" 2>/dev/null; rm -rf "$WORK" $FAKE_FILE' EXIT

# The command line converts quietly whatever the display.
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

# With a live server the command line connects to nothing of X: not to convert, not for -h or
# --version, not when -display names the server (the option is taken out of the file names).
for args in "relay.bmp" "-h" "--version" "-v relay.bmp out.src" "-display $XDISPLAY relay.bmp" \
    "relay.bmp --display $XDISPLAY"; do
    rm -f relay.src
    # A sanitizer build's leak checker cannot work under a tracer.
    DISPLAY=$XDISPLAY ASAN_OPTIONS=${ASAN_OPTIONS:-}:detect_leaks=0 \
        strace -f -qq -e trace=connect -o connects "$PICTORN" $args >/dev/null 2>&1
    same "$args: no connection to X" "0:" "$?:$(grep -E 'X11-unix|htons\(60[0-9][0-9]\)' connects)"
done
same_file "-display taken out: text" expected relay.src
check "the live server saw no client" test -z "$(grep connected "$WORK/xvfb.log")"
run -platform offscreen relay.bmp
same "toolkit option taken out" "0:" "$status:$err"

# The window opens the display named by DISPLAY, as :N or unix:N, or by -display; with the
# user's platform, whatever it is.
window_runs() { # ENV... PICTORN ARGS...: the window's file dialog shows on the live server
    HOME=$WORK/home env "$@" &
    local pid=$!
    DISPLAY=$XDISPLAY timeout 20 xdotool search --sync --name 'Select bitmap' >/dev/null
    local shown=$?
    kill $pid
    wait $pid 2>/dev/null
    return $shown
}
number=${XDISPLAY#:}
check "window on :N" window_runs DISPLAY=":$number" "$PICTORN"
check "window on unix:N" window_runs DISPLAY="unix:$number" "$PICTORN"
check "window on -display :N" window_runs -u DISPLAY "$PICTORN" -display ":$number"
HOME=$WORK/home QT_QPA_PLATFORM=offscreen "$PICTORN" 2>stderr &
offscreen=
for _ in $(seq 2000); do
    grep -q libqoffscreen "/proc/$!/maps" 2>/dev/null && { offscreen=yes; break; }
    kill -0 $! 2>/dev/null || break
    sleep 0.005
done
kill $!
wait $! 2>/dev/null
same "window on the platform the user chose" "yes:" "$offscreen:$(cat stderr)"

for setting in "-u DISPLAY" "DISPLAY=:999" "DISPLAY=nonsense"; do
    HOME=$WORK/home env $setting timeout 20 "$PICTORN" 2>stderr
    same "window with $setting" "1:$nowindow" "$?:$(cat stderr)"
done

# Servers that take the connection and never answer, on each kind of address: the command line
# converts without a word to them; the window gives up after its bounded wait, having asked.
found=
for n in $(seq $((500 + $$ % 400)) 999); do
    if [ -e "/tmp/.X11-unix/X$n" ] || [ -e "/tmp/.X11-unix/X$((n + 1))" ] ||
        grep -q -e "@/tmp/.X11-unix/X$n\$" -e "@/tmp/.X11-unix/X$((n + 1))\$" /proc/net/unix; then
        continue
    fi
    FAKE_FILE=/tmp/.X11-unix/X$((n + 1))
    fake_x fake.log "abstract=/tmp/.X11-unix/X$n" "file=$FAKE_FILE" "tcp=$((6000 + n + 2))" \
        "tcp6=$((6000 + n + 3))" "stall=$((6000 + n + 4))" && found=yes && break
done
check "fake servers listening" test -n "$found"
while read -r display address; do
    : >fake.log
    rm -f relay.src
    for args in relay.bmp -h --version; do
        DISPLAY=$display timeout 20 "$PICTORN" $args >/dev/null 2>&1
        same "$display: $args" "0" "$?"
    done
    same_file "$display: text" expected relay.src
    same "$display: not asked by the command line" "" "$(cat fake.log)"
    DISPLAY=$display HOME=$WORK/home timeout 20 "$PICTORN" 2>stderr
    same "$display: window" "1:$nowindow" "$?:$(cat stderr)"
    # The fake server logs a connection once it gets round to taking it from its queue.
    for _ in $(seq 50); do [ -s fake.log ] && break; sleep 0.1; done
    same "$display: asked by the window" "$address" "$(sort -u fake.log)"
done <<CASES
:$n abstract=/tmp/.X11-unix/X$n
unix:$n abstract=/tmp/.X11-unix/X$n
:$((n + 1)) file=/tmp/.X11-unix/X$((n + 1))
unix:$((n + 1)).0 file=/tmp/.X11-unix/X$((n + 1))
:$((n + 2)) tcp=$((6000 + n + 2))
127.0.0.1:$((n + 2)) tcp=$((6000 + n + 2))
tcp/localhost:$((n + 2)).0 tcp=$((6000 + n + 2))
[::1]:$((n + 3)) tcp6=$((6000 + n + 3))
CASES

# A server that answers the probe and then stops: the window's start gives up, in one line.
DISPLAY=127.0.0.1:$((n + 4)) HOME=$WORK/home timeout 20 "$PICTORN" -window=yes relay.bmp 2>stderr
same "a server that stops after its first byte" "1:pictorn: the X display stopped answering" \
    "$?:$(cat stderr)"

# -window=yes asks for the window, and so for the display, unless it follows "--" as a file name.
: >fake.log
DISPLAY=:$n HOME=$WORK/home timeout 20 "$PICTORN" -window==yes relay.bmp >/dev/null 2>&1
for _ in $(seq 50); do [ -s fake.log ] && break; sleep 0.1; done
same "-window==yes: the display probed" "abstract=/tmp/.X11-unix/X$n" "$(sort -u fake.log)"
: >fake.log
DISPLAY=:$n HOME=$WORK/home timeout 20 "$PICTORN" relay.bmp -- -window=yes >/dev/null 2>&1
same "-- -window=yes: a file name" "" "$(cat fake.log)"

# Addresses that go nowhere: a name that does not resolve, an address never routed.
for display in nowhere.invalid:0 192.0.2.1:0; do
    DISPLAY=$display HOME=$WORK/home timeout 20 "$PICTORN" 2>stderr
    same "window on $display" "1:$nowindow" "$?:$(cat stderr)"
done

# The live server stopped: the command line converts all the same, the window gives up.
kill -STOP "$XVFB_PID"
rm -f relay.src
DISPLAY=$XDISPLAY timeout 20 "$PICTORN" relay.bmp 2>stderr
same "frozen server: converts" "0:" "$?:$(cat stderr)"
same_file "frozen server: text" expected relay.src
DISPLAY=$XDISPLAY HOME=$WORK/home timeout 20 "$PICTORN" 2>stderr
same "frozen server: window" "1:$nowindow" "$?:$(cat stderr)"
kill -CONT "$XVFB_PID"

# The server ended while the window shows, a name typed: one line, a status of its own.
DISPLAY=$XDISPLAY HOME=$WORK/home "$PICTORN" -window=yes relay.bmp 2>stderr &
pid=$!
DISPLAY=$XDISPLAY timeout 20 xdotool search --sync --name '^Pictorn Converter' >/dev/null
DISPLAY=$XDISPLAY xdotool type RELAY
kill "$XVFB_PID"
timeout 20 tail --pid=$pid -f /dev/null
wait $pid
same "display lost" "7:pictorn: the X display was lost" "$?:$(cat stderr)"

check "no core dumped" test ! -e core

finish
