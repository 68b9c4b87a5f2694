#!/usr/bin/env bash
# remote_screen.sh VIEWER_PROGRAM: runs the viewer on a virtual X screen and shares that screen
# over VNC on this machine's loopback address only, behind a password that is new for every run.
#
# Other users of this machine can reach the loopback address too, and whoever drives the
# program can read and write files as the user who started it through its save dialog; hence
# the password, the X server's own cookie, and a private directory (mode 0700) for both of them
# that is removed, with everything in it, when the program ends, however it ends.
#
# Environment: VELDTRA_VNC_PORT, the first port to try (default 5900); the next free one is
# taken when it is in use. The password file goes under $XDG_RUNTIME_DIR when that is a
# directory of this user's, else under ${TMPDIR:-/tmp}.
set -euo pipefail

readonly SCREEN_SIZE=1024x768
# No 0/O, 1/l/I: easy to read off the terminal and type. 32 characters, so that a random byte
# taken modulo 32 picks each of them equally often.
readonly PASSWORD_ALPHABET=abcdefghijkmnpqrstuvwxyz23456789

say() { printf 'remote_screen: %s\n' "$*" >&2; }

if [ $# -ne 1 ] || [ ! -x "$1" ]; then
    echo "usage: $0 VIEWER_PROGRAM  (the built veldtra executable)" >&2
    exit 2
fi
viewer=$1
first_port=${VELDTRA_VNC_PORT:-5900}
if ! [[ $first_port =~ ^[0-9]+$ ]] || ((first_port < 1 || first_port > 65535)); then
    say "VELDTRA_VNC_PORT must be a port number, not '$first_port'"
    exit 2
fi
for tool in Xvfb xauth x11vnc dbus-daemon; do
    command -v "$tool" >/dev/null ||
        { say "$tool is not installed (packages xvfb, xauth, x11vnc, dbus-daemon)"; exit 1; }
done

# Nothing this script writes may be readable by others, not even between creating a file and
# changing its mode. The viewer gets the caller's umask back, for the pictures it saves.
caller_umask=$(umask)
umask 077

work=""
xvfb_pid=""
bus_pid=""
vnc_pid=""
viewer_pid=""

# Whether a process this script started still runs: an ended one that has not been waited for
# yet still answers kill -0.
running() {
    local stat
    stat=$(cat "/proc/$1/stat" 2>/dev/null) || return 1
    stat=${stat##*) }
    [ "${stat%% *}" != Z ]
}

# Stops processes this script started: TERM, up to 5 s for them to end, then KILL.
stop_pids() {
    local pid i left
    for pid in "$@"; do
        kill -TERM "$pid" 2>/dev/null || true
    done
    for ((i = 0; i < 50; i++)); do
        left=0
        for pid in "$@"; do
            running "$pid" && left=1
        done
        ((left)) || break
        sleep 0.1
    done
    for pid in "$@"; do
        running "$pid" && kill -KILL "$pid" 2>/dev/null
        wait "$pid" 2>/dev/null || true
    done
}

# shellcheck disable=SC2317  # the EXIT trap
cleanup() {
    local status=$?
    trap - EXIT INT TERM HUP
    # The viewer first, while its X server is still there to close its window on.
    [ -z "$viewer_pid" ] || stop_pids "$viewer_pid"
    local servers=()
    [ -z "$vnc_pid" ] || servers+=("$vnc_pid")
    [ -z "$bus_pid" ] || servers+=("$bus_pid")
    [ -z "$xvfb_pid" ] || servers+=("$xvfb_pid")
    [ ${#servers[@]} -eq 0 ] || stop_pids "${servers[@]}"
    [ -z "$work" ] || rm -rf -- "$work"
    exit "$status"
}
trap cleanup EXIT
trap 'exit 130' INT
trap 'exit 143' TERM
trap 'exit 129' HUP

# Shows the last lines of a log of this run before it is removed with the private directory.
show_log() {
    [ -s "$1" ] || return 0
    say "last lines of $(basename "$1"):"
    tail -n 15 "$1" | sed 's/^/    /' >&2
}

# The private directory.
base=${TMPDIR:-/tmp}
if [ -n "${XDG_RUNTIME_DIR:-}" ] && [ -d "$XDG_RUNTIME_DIR" ] && [ -O "$XDG_RUNTIME_DIR" ]; then
    base=$XDG_RUNTIME_DIR
fi
work=$(mktemp -d "$base/veldtra-vnc.XXXXXXXX")
chmod 700 "$work"

# The password: 8 characters, all that VNC authentication uses.
password=""
for byte in $(od -An -tu1 -N8 /dev/urandom); do
    password+=${PASSWORD_ALPHABET:byte % 32:1}
done
password_file=$work/password
printf '%s\n' "$password" >"$password_file"

# The X server admits only clients that present this cookie. It takes every cookie of its
# -auth file whatever display number the entry names; the entry for the display it ends up on
# is added for the clients once that number is known.
cookie=$(od -An -tx1 -N16 /dev/urandom | tr -d ' \n')
export XAUTHORITY=$work/xauthority
: >"$XAUTHORITY"
printf 'add :0 . %s\n' "$cookie" | xauth -q -f "$XAUTHORITY" source -

# -displayfd: the server takes a free display number itself and reports it. -br: a black
# screen around the window. The files that a background process writes are made beforehand
# here and below: its redirections happen in the background too, maybe after the first look.
: >"$work/display"
Xvfb -br -displayfd 9 -screen 0 "${SCREEN_SIZE}x24" -nolisten tcp -noreset \
    -auth "$XAUTHORITY" 9>"$work/display" >"$work/xvfb.log" 2>&1 &
xvfb_pid=$!
deadline=$((SECONDS + 30))
until grep -q '^[0-9][0-9]*$' "$work/display"; do
    kill -0 "$xvfb_pid" 2>/dev/null || { show_log "$work/xvfb.log"; say "Xvfb did not start"; exit 1; }
    ((SECONDS < deadline)) || { show_log "$work/xvfb.log"; say "Xvfb did not report its display within 30 s"; exit 1; }
    sleep 0.05
done
DISPLAY=":$(head -n 1 "$work/display")"
export DISPLAY
printf 'add %s . %s\n' "$DISPLAY" "$cookie" | xauth -q -f "$XAUTHORITY" source -
unset WAYLAND_DISPLAY

# A desktop session gives its programs a session bus, and Qt takes other paths at start and at
# exit without one. Where the caller has none, the viewer gets a bus of its own, private to
# this run (its socket is in the private directory) and stopped with it.
if [ -z "${DBUS_SESSION_BUS_ADDRESS:-}" ]; then
    : >"$work/bus-address"
    dbus-daemon --session --nofork --nopidfile --address="unix:path=$work/bus" \
        --print-address=9 9>"$work/bus-address" >"$work/dbus.log" 2>&1 &
    bus_pid=$!
    deadline=$((SECONDS + 30))
    until grep -q . "$work/bus-address"; do
        kill -0 "$bus_pid" 2>/dev/null || { show_log "$work/dbus.log"; say "the session bus did not start"; exit 1; }
        ((SECONDS < deadline)) || { show_log "$work/dbus.log"; say "the session bus did not start within 30 s"; exit 1; }
        sleep 0.05
    done
    DBUS_SESSION_BUS_ADDRESS=$(head -n 1 "$work/bus-address")
    export DBUS_SESSION_BUS_ADDRESS
fi

# x11vnc looks for a free port from first_port on by itself (-autoport) and prints PORT=NNNN
# once it listens there. -no6: the loopback IPv4 address only, so that nobody else can take the
# same port on the IPv6 one and catch the connections meant for this screen. Another program
# can still take the port x11vnc found between its look and its bind; x11vnc then ends, and is
# started again.
port=""
for attempt in 1 2 3; do
    : >"$work/x11vnc.out"
    x11vnc -norc -noremote -quiet -localhost -no6 -passwdfile "$work/password" -forever -shared \
        -autoport "$first_port" -display "$DISPLAY" -auth "$XAUTHORITY" \
        >"$work/x11vnc.out" 2>"$work/x11vnc.log" &
    vnc_pid=$!
    deadline=$((SECONDS + 30))
    while :; do
        port=$(sed -n 's/^PORT=\([0-9][0-9]*\)$/\1/p' "$work/x11vnc.out" | head -n 1)
        [ -z "$port" ] || break
        if ! kill -0 "$vnc_pid" 2>/dev/null; then
            wait "$vnc_pid" 2>/dev/null || true
            vnc_pid=""
            break
        fi
        ((SECONDS < deadline)) || { show_log "$work/x11vnc.log"; say "x11vnc did not start listening within 30 s"; exit 1; }
        sleep 0.05
    done
    if [ -n "$port" ] && [ "$port" -gt 0 ]; then
        break
    fi
    port=""
    stop_pids "$vnc_pid"
    vnc_pid=""
    say "x11vnc did not start (attempt $attempt of 3)"
done
if [ -z "$port" ]; then
    show_log "$work/x11vnc.log"
    say "no VNC server could be started on a free port from $first_port on"
    exit 1
fi

note=""
[ "$port" = "$first_port" ] || note=" (port $first_port is in use, so the next free one)"
cat <<MSG
No display is reachable from this shell, so veldtra runs on a virtual screen of $SCREEN_SIZE,
shared over VNC on this machine's loopback address only, port $port$note.
Password:       $password   (a new one for every run)
Password file:  $password_file
                (readable by you only; removed when veldtra ends)
To see the screen on this machine:
    vncviewer 127.0.0.1:$port
From another computer, tunnel the port first:
    ssh -L $port:127.0.0.1:$port <this machine>   then   vncviewer localhost:$port
Close the window, or press Ctrl+C here, to stop.
MSG

# In the background, so that a signal to this script runs its trap at once instead of after
# the viewer has ended.
umask "$caller_umask"
QT_QPA_PLATFORM=xcb "$viewer" &
viewer_pid=$!
status=0
wait "$viewer_pid" || status=$?
viewer_pid=""
exit "$status"
