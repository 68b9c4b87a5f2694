# SPDX-License-Identifier: MIT
# shellcheck shell=bash
# Shared by the real-display tests and scripts/screenshot.sh: a private X server, the real
# program on it, input through the X server (xdotool) and screenshots taken from the X server
# (ImageMagick). Source it from a bash script; every wait polls with a deadline.
#
# The window's layout, in pixels of its client area: not written down here but taken from the
# program's own window by dt_load_layout (veldtra_expected_pictures --layout), so that it cannot
# drift from the program. Empty until then.
DT_LAYOUT_LOADED=0
DT_WINDOW_SIZE=""                  # WIDTHxHEIGHT
DT_RENDER_X="" DT_RENDER_Y=""      # the centre of Render
DT_SAVE_X="" DT_SAVE_Y=""          # the centre of Save
DT_DISP_LEFT="" DT_DISP_TOP="" DT_DISP_WIDTH="" DT_DISP_HEIGHT=""
DT_WINDOW_FIELDS=""                # the window fields' object names, one space between
# Each window field's rectangle, by object name.
declare -gA DT_FIELD_LEFT=() DT_FIELD_TOP=() DT_FIELD_WIDTH=() DT_FIELD_HEIGHT=()
readonly DT_LAYOUT_SCALARS="DT_WINDOW_SIZE DT_RENDER_X DT_RENDER_Y DT_SAVE_X DT_SAVE_Y DT_DISP_LEFT DT_DISP_TOP DT_DISP_WIDTH DT_DISP_HEIGHT"

DT_NAME=${DT_NAME:-display-test}
DT_WORK=""        # scratch directory, removed on exit
DT_ARTIFACTS=""   # kept on failure: screenshots and logs
DT_XVFB_PID=""
DT_APP_PID=""
DT_APP_LOG=""
DT_WID=""         # the main window
DT_WIN_X=0 DT_WIN_Y=0
DT_FAILED=0
DT_HINT=""        # a command that tells more about a failure of the current step

dt_log() { printf '[%s] %s\n' "$DT_NAME" "$*" >&2; }

# Reads a script's "--name value" arguments into the shell variables named after them (dashes
# become underscores); any other argument is refused. Usage: dt_parse_args "NAME ..." "$@".
dt_parse_args()
{
    local known=" $1 " name
    shift
    while (($#)); do
        name=${1#--}
        name=${name//-/_}
        if [[ $1 != --* || $# -lt 2 || $known != *" $name "* ]]; then
            echo "unknown argument $1" >&2
            exit 2
        fi
        printf -v "$name" '%s' "$2"
        shift 2
    done
}

# Ends the test: records what the screen showed and why, then exits non-zero (the EXIT trap
# cleans up).
dt_fail()
{
    DT_FAILED=1
    dt_log "FAIL: $*"
    dt_diagnose
    exit 1
}

dt_diagnose()
{
    [ -n "$DT_ARTIFACTS" ] || return 0
    mkdir -p "$DT_ARTIFACTS"
    [ -z "$DT_HINT" ] || "$DT_HINT" || true
    if [ -n "${DISPLAY:-}" ] && [ -n "$DT_XVFB_PID" ] && kill -0 "$DT_XVFB_PID" 2>/dev/null; then
        if timeout 20 import -window root "$DT_ARTIFACTS/failure-screen.png" 2>/dev/null; then
            dt_log "screenshot of the whole screen at the failure: $DT_ARTIFACTS/failure-screen.png"
        fi
        dt_log "windows of the program: $(timeout 20 xdotool search --all --onlyvisible --pid "${DT_APP_PID:-0}" 2>/dev/null \
            | while read -r w; do printf '%s "%s"; ' "$w" "$(timeout 20 xdotool getwindowname "$w" 2>/dev/null)"; done)"
    fi
    local log
    for log in "$DT_WORK"/program-*.log; do
        [ -e "$log" ] && cp "$log" "$DT_ARTIFACTS/"
    done
    if [ -n "$DT_APP_LOG" ] && [ -s "$DT_APP_LOG" ]; then
        dt_log "the program's output (last lines of $DT_ARTIFACTS/$(basename "$DT_APP_LOG")):"
        tail -n 20 "$DT_APP_LOG" >&2
    fi
    [ -n "$DT_APP_PID" ] && ! kill -0 "$DT_APP_PID" 2>/dev/null && dt_log "the program is no longer running"
    dt_log "pictures kept in $DT_ARTIFACTS"
}

# Stops one process that this script started: TERM, a bounded wait, then KILL.
dt_stop_pid()
{
    local pid=$1 i
    [ -n "$pid" ] || return 0
    kill -TERM "$pid" 2>/dev/null || return 0
    for ((i = 0; i < 50; i++)); do
        kill -0 "$pid" 2>/dev/null || break
        sleep 0.1
    done
    kill -KILL "$pid" 2>/dev/null || true
    wait "$pid" 2>/dev/null || true
}

dt_stop_app()
{
    dt_stop_pid "$DT_APP_PID"
    DT_APP_PID="" DT_WID=""
}

# dt_close_app: asks the program to close (SIGTERM, which it answers as a close of its window)
# and fails the test if it does not end by itself within 30 s; the exit status is left in
# DT_APP_STATUS.
DT_APP_STATUS=""
dt_close_app()
{
    local pid=$DT_APP_PID i
    DT_APP_STATUS=0
    kill -TERM "$pid" 2>/dev/null || true
    for ((i = 0; i < 300; i++)); do
        kill -0 "$pid" 2>/dev/null || break
        sleep 0.1
    done
    kill -0 "$pid" 2>/dev/null && dt_fail "the program did not end within 30 s of being asked to close"
    wait "$pid" || DT_APP_STATUS=$?
    DT_APP_PID="" DT_WID=""
}

# The one rule by which the sanitizers' reports are judged (scripts/sanitizer_check.sh).
DT_SANITIZER_CHECK=$(cd "$(dirname "${BASH_SOURCE[0]}")/../../scripts" && pwd)/sanitizer_check.sh

# dt_check_program_logs: judges the output of every program this test started by that rule,
# with any AddressSanitizer or UndefinedBehaviorSanitizer error failing too. Prints the verdict
# (the log and the stack of whatever fails) and returns non-zero on a failure.
dt_check_program_logs()
{
    local logs=("$DT_WORK"/program-*.log)
    [ -e "${logs[0]}" ] || return 0
    "$DT_SANITIZER_CHECK" --errors "${logs[@]}" | sed "s/^/[$DT_NAME] /" >&2
    return "${PIPESTATUS[0]}"
}

# Ends a test that went well: the program has to close by itself with status 0 when asked to,
# and no sanitizer report in the output of any program this test started may count against it.
dt_pass()
{
    if [ -n "$DT_APP_PID" ]; then
        dt_close_app
        [ "$DT_APP_STATUS" -eq 0 ] || dt_fail "the program ended with status $DT_APP_STATUS when asked to close"
    fi
    dt_check_program_logs || dt_fail "a sanitizer report counts against the program (see above)"
    dt_log "PASS"
}

dt_cleanup()
{
    local status=$?
    trap - EXIT INT TERM HUP
    [ "$status" -ne 0 ] && [ "$DT_FAILED" -eq 0 ] && { DT_FAILED=1; dt_log "FAIL: ended with status $status"; dt_diagnose; }
    dt_stop_app
    dt_stop_pid "$DT_XVFB_PID"
    DT_XVFB_PID=""
    [ -n "$DT_WORK" ] && rm -rf "$DT_WORK"
    exit "$status"
}

# dt_init NAME ARTIFACT_ROOT: scratch space, the artifact directory and the cleanup trap.
dt_init()
{
    DT_NAME=$1
    DT_ARTIFACTS=$2/$1
    rm -rf "$DT_ARTIFACTS"
    mkdir -p "$DT_ARTIFACTS"
    DT_WORK=$(mktemp -d "${TMPDIR:-/tmp}/veldtra-$1.XXXXXXXX")
    mkdir -m 700 "$DT_WORK/runtime"
    export XDG_RUNTIME_DIR=$DT_WORK/runtime
    trap dt_cleanup EXIT
    trap 'exit 130' INT
    trap 'exit 143' TERM HUP
    if [ -n "${DBUS_SESSION_BUS_ADDRESS:-}" ]; then
        dt_log "session bus $DBUS_SESSION_BUS_ADDRESS"
    else
        dt_log "no session bus"
    fi
    local tool
    for tool in Xvfb xdotool xwininfo xprop import compare identify; do
        command -v "$tool" >/dev/null || dt_fail "$tool is not installed (packages xvfb, xdotool, x11-utils, imagemagick)"
    done
}

# dt_wait SECONDS DESCRIPTION COMMAND...: polls COMMAND until it succeeds; fails the test after
# SECONDS, or at once when the program under test has ended.
dt_wait()
{
    local seconds=$1 what=$2
    shift 2
    local deadline=$((SECONDS + seconds))
    while :; do
        "$@" && return 0
        if [ -n "$DT_APP_PID" ] && ! kill -0 "$DT_APP_PID" 2>/dev/null; then
            dt_fail "the program ended while waiting for: $what"
        fi
        ((SECONDS < deadline)) || dt_fail "timed out after ${seconds}s waiting for: $what"
        sleep 0.1
    done
}

# dt_load_layout HELPER: reads the window's layout from "HELPER --layout" (after dt_init). Only
# lines NAME=VALUE with a known NAME and a VALUE of the expected shape are taken, and without
# eval; any other line, a value missing or given twice, a place outside the window or a helper
# that fails fails the test.
dt_load_layout()
{
    local helper=$1 output line name value field left top width height extra
    local -A seen=()
    local number='^(0|[1-9][0-9]*)$'
    [ -n "$DT_WORK" ] || dt_fail "dt_load_layout before dt_init"
    [ "$DT_LAYOUT_LOADED" -eq 0 ] || dt_fail "the window layout is loaded already"
    [ -x "$helper" ] || dt_fail "no layout helper at $helper"
    output=$(dt_qt_run 60 "$helper" --layout 2>"$DT_WORK/layout.log") || {
        cat "$DT_WORK/layout.log" >&2
        dt_fail "$helper --layout failed or did not finish within 60s"
    }
    [ -n "$output" ] || dt_fail "$helper --layout printed nothing"
    while IFS= read -r line; do
        [[ $line =~ ^(DT_[A-Z_]+)=([0-9x\ A-Za-z_]*)$ ]] || dt_fail "the layout helper printed \"$line\""
        name=${BASH_REMATCH[1]} value=${BASH_REMATCH[2]}
        case $name in
        DT_WINDOW_SIZE)
            [[ $value =~ ^[1-9][0-9]*x[1-9][0-9]*$ ]] || dt_fail "bad window size in the layout: $line" ;;
        DT_RENDER_X | DT_RENDER_Y | DT_SAVE_X | DT_SAVE_Y | DT_DISP_LEFT | DT_DISP_TOP | DT_DISP_WIDTH | DT_DISP_HEIGHT)
            [[ $value =~ $number ]] || dt_fail "bad number in the layout: $line" ;;
        DT_FIELD)
            # NAME LEFT TOP WIDTH HEIGHT of one window field.
            read -r field left top width height extra <<<"$value"
            [[ $field =~ ^[A-Za-z_][A-Za-z0-9_]*$ && $left =~ $number && $top =~ $number &&
                $width =~ $number && $height =~ $number && -z $extra ]] ||
                dt_fail "bad window field in the layout: $line"
            [ -z "${DT_FIELD_LEFT[$field]:-}" ] || dt_fail "the layout gives the field $field twice"
            DT_FIELD_LEFT[$field]=$left DT_FIELD_TOP[$field]=$top
            DT_FIELD_WIDTH[$field]=$width DT_FIELD_HEIGHT[$field]=$height
            DT_WINDOW_FIELDS+="${DT_WINDOW_FIELDS:+ }$field"
            continue ;;
        *) dt_fail "unknown value in the layout: $line" ;;
        esac
        [ -z "${seen[$name]:-}" ] || dt_fail "the layout gives $name twice"
        seen[$name]=1
        printf -v "$name" '%s' "$value"
    done <<<"$output"
    for name in $DT_LAYOUT_SCALARS; do
        [ -n "${seen[$name]:-}" ] || dt_fail "the layout from $helper has no $name"
    done
    [ -n "$DT_WINDOW_FIELDS" ] || dt_fail "the layout from $helper has no window field"

    dt_layout_inside "the centre of Render" "$DT_RENDER_X" "$DT_RENDER_Y" 1 1
    dt_layout_inside "the centre of Save" "$DT_SAVE_X" "$DT_SAVE_Y" 1 1
    dt_layout_inside PicDisp "$DT_DISP_LEFT" "$DT_DISP_TOP" "$DT_DISP_WIDTH" "$DT_DISP_HEIGHT"
    for field in $DT_WINDOW_FIELDS; do
        dt_layout_inside "$field" "${DT_FIELD_LEFT[$field]}" "${DT_FIELD_TOP[$field]}" \
            "${DT_FIELD_WIDTH[$field]}" "${DT_FIELD_HEIGHT[$field]}"
    done

    readonly DT_WINDOW_SIZE DT_RENDER_X DT_RENDER_Y DT_SAVE_X DT_SAVE_Y \
        DT_DISP_LEFT DT_DISP_TOP DT_DISP_WIDTH DT_DISP_HEIGHT DT_WINDOW_FIELDS \
        DT_FIELD_LEFT DT_FIELD_TOP DT_FIELD_WIDTH DT_FIELD_HEIGHT
    DT_LAYOUT_LOADED=1
    dt_log "layout of the program's window: $DT_WINDOW_SIZE; Render at $DT_RENDER_X,$DT_RENDER_Y," \
        "Save at $DT_SAVE_X,$DT_SAVE_Y; PicDisp ${DT_DISP_WIDTH}x$DT_DISP_HEIGHT at $DT_DISP_LEFT,$DT_DISP_TOP;" \
        "fields $DT_WINDOW_FIELDS"
}

# dt_layout_inside WHAT LEFT TOP WIDTH HEIGHT: fails the test unless that rectangle, not empty,
# lies within the window.
dt_layout_inside()
{
    (($4 > 0 && $5 > 0 && $2 + $4 <= ${DT_WINDOW_SIZE%x*} && $3 + $5 <= ${DT_WINDOW_SIZE#*x})) ||
        dt_fail "$1 at $2,$3, ${4}x$5, is not within the window of $DT_WINDOW_SIZE"
}

# Starts Xvfb on a display number of its own choosing (-displayfd: no race between tests
# that run in parallel) and exports DISPLAY.
dt_start_x()
{
    local fd_file=$DT_WORK/display-number
    : >"$fd_file"
    Xvfb -displayfd 9 -screen 0 1280x1024x24 -dpi 96 -nolisten tcp -noreset \
        9>"$fd_file" >"$DT_WORK/xvfb.log" 2>&1 &
    DT_XVFB_PID=$!
    local deadline=$((SECONDS + 30))
    while ! grep -q '^[0-9][0-9]*$' "$fd_file"; do
        kill -0 "$DT_XVFB_PID" 2>/dev/null || { cat "$DT_WORK/xvfb.log" >&2; DT_XVFB_PID=""; dt_fail "Xvfb did not start"; }
        ((SECONDS < deadline)) || dt_fail "Xvfb did not report its display within 30s"
        sleep 0.05
    done
    DISPLAY=":$(head -n 1 "$fd_file")"
    export DISPLAY
    unset XAUTHORITY WAYLAND_DISPLAY
    dt_log "X server $DISPLAY (pid $DT_XVFB_PID)"
}

# The environment that the real program gets on the private display: the xcb platform, own
# home and settings, fixed locale, no scaling. dt_qt_command sets DT_QT_COMMAND to the command
# prefix that runs a program in it.
dt_qt_command()
{
    local home=$DT_WORK/home
    mkdir -p "$home/.config" "$home/.cache"
    DT_QT_COMMAND=(env -u LD_LIBRARY_PATH -u QT_SCALE_FACTOR -u QT_SCREEN_SCALE_FACTORS -u QT_STYLE_OVERRIDE
        QT_QPA_PLATFORM=xcb QT_ENABLE_HIGHDPI_SCALING=0 QT_ACCESSIBILITY=0
        HOME="$home" XDG_CONFIG_HOME="$home/.config" XDG_CACHE_HOME="$home/.cache"
        XDG_RUNTIME_DIR="$DT_WORK/runtime")
}
DT_QT_COMMAND=()

# dt_qt_run SECONDS COMMAND...: runs COMMAND on the private display in the program's
# environment, within a time limit: a Qt helper run this way draws text with the same fonts,
# style and rendering as the program.
dt_qt_run()
{
    local seconds=$1
    shift
    dt_qt_command
    (cd "$DT_WORK" && exec timeout "$seconds" "${DT_QT_COMMAND[@]}" "$@")
}

# dt_start_app PROGRAM: runs the real program on the private display in its environment (see
# dt_qt_command) and waits for its main window.
dt_start_app()
{
    local program=$1
    [ "$DT_LAYOUT_LOADED" -eq 1 ] || dt_fail "the window layout is not loaded (dt_load_layout HELPER)"
    [ -x "$program" ] || dt_fail "no program at $program"
    DT_APP_LOG=$DT_WORK/program-$((++DT_APP_COUNT)).log
    dt_qt_command
    (
        cd "$DT_WORK" || exit
        exec "${DT_QT_COMMAND[@]}" "$program"
    ) >"$DT_APP_LOG" 2>&1 &
    DT_APP_PID=$!
    dt_wait 30 "the main window \"Veldtra\" to appear" dt_find_main_window
    local info geometry
    info=$(timeout 20 xwininfo -id "$DT_WID") || dt_fail "xwininfo failed or did not finish within 20s"
    DT_WIN_X=$(sed -n 's/^ *Absolute upper-left X: *\(-\{0,1\}[0-9]*\)$/\1/p' <<<"$info")
    DT_WIN_Y=$(sed -n 's/^ *Absolute upper-left Y: *\(-\{0,1\}[0-9]*\)$/\1/p' <<<"$info")
    geometry=$(sed -n 's/^ *Width: *\([0-9]*\)$/\1/p' <<<"$info")x$(sed -n 's/^ *Height: *\([0-9]*\)$/\1/p' <<<"$info")
    [ "$geometry" = "$DT_WINDOW_SIZE" ] || dt_fail "the window is $geometry, not $DT_WINDOW_SIZE"
    dt_log "main window $DT_WID at $DT_WIN_X,$DT_WIN_Y, $geometry"
}
DT_APP_COUNT=0

dt_find_main_window()
{
    local id
    id=$(timeout 20 xdotool search --all --onlyvisible --pid "$DT_APP_PID" --name '^Veldtra$' 2>/dev/null | head -n 1) || true
    [ -n "$id" ] || return 1
    DT_WID=$id
}

# Visible top-level windows of the program other than the main window, one id a line.
dt_other_windows()
{
    timeout 20 xdotool search --all --onlyvisible --pid "$DT_APP_PID" 2>/dev/null | grep -vx "$DT_WID" || true
}

# dt_xdo ARGS...: one xdotool command that has to succeed, within a time limit.
dt_xdo()
{
    timeout 20 xdotool "$@" || dt_fail "xdotool $* failed or did not finish within 20s"
}

# dt_click X Y: moves the pointer to client coordinates X,Y of the main window and clicks the
# left button there.
dt_click()
{
    dt_xdo mousemove --sync $((DT_WIN_X + $1)) $((DT_WIN_Y + $2)) click 1
}

# dt_pointer_to X Y / dt_button down|up: the pieces of a drag, in client coordinates.
dt_pointer_to() { dt_xdo mousemove --sync $((DT_WIN_X + $1)) $((DT_WIN_Y + $2)); }
dt_button() { dt_xdo "mouse$1" 1; }

# Moves the pointer off the window, so that no hover highlight shows in a screenshot.
dt_pointer_away() { dt_xdo mousemove --sync 1200 1000; }

# dt_capture_area FILE LEFT TOP WIDTH HEIGHT: what the screen shows in that rectangle of the
# main window's client area, taken from the X server.
dt_capture_area()
{
    timeout 30 import -window root -crop "${4}x${5}+$((DT_WIN_X + $2))+$((DT_WIN_Y + $3))" +repage "$1"
}

# dt_capture_disp FILE: what the screen shows in PicDisp's area.
dt_capture_disp() { dt_capture_area "$1" "$DT_DISP_LEFT" "$DT_DISP_TOP" "$DT_DISP_WIDTH" "$DT_DISP_HEIGHT"; }

# dt_capture_field FILE NAME: what the screen shows in the place of the window field NAME.
dt_capture_field()
{
    [ -n "${DT_FIELD_LEFT[$2]:-}" ] || dt_fail "the layout has no window field $2"
    dt_capture_area "$1" "${DT_FIELD_LEFT[$2]}" "${DT_FIELD_TOP[$2]}" "${DT_FIELD_WIDTH[$2]}" "${DT_FIELD_HEIGHT[$2]}"
}

# dt_capture_window FILE: the whole client area of the main window.
dt_capture_window() { dt_capture_area "$1" 0 0 "${DT_WINDOW_SIZE%x*}" "${DT_WINDOW_SIZE#*x}"; }

dt_image_size() { identify -format '%wx%h' "$1"; }

# dt_same A B: true when both pictures have the same size and every pixel equal. What differs
# is left in DT_DIFFERENT.
DT_DIFFERENT=""
dt_same()
{
    local size_a size_b count
    size_a=$(dt_image_size "$1") || return 2
    size_b=$(dt_image_size "$2") || return 2
    if [ "$size_a" != "$size_b" ]; then
        DT_DIFFERENT="it is $size_a, not $size_b"
        return 1
    fi
    count=$(compare -metric AE "$1" "$2" null: 2>&1) && [ "$count" = 0 ] && return 0
    DT_DIFFERENT="$count pixels differ"
    return 1
}

# dt_require_same WHAT ACTUAL EXPECTED: fails the test (keeping both pictures and a difference
# map) unless the two are the same pixel for pixel.
dt_require_same()
{
    local what=$1 actual=$2 expected=$3
    if ! dt_same "$actual" "$expected"; then
        mkdir -p "$DT_ARTIFACTS"
        cp "$actual" "$DT_ARTIFACTS/actual-$(basename "$actual")"
        cp "$expected" "$DT_ARTIFACTS/expected-$(basename "$expected")"
        compare "$actual" "$expected" "$DT_ARTIFACTS/difference-$(basename "$actual" | sed 's/\.[^.]*$//').png" 2>/dev/null || true
        dt_fail "$what: not the expected picture ($DT_DIFFERENT); see $DT_ARTIFACTS"
    fi
    dt_log "$what: the same as expected, pixel for pixel"
}

# dt_disp_differs_from BEFORE: PicDisp no longer shows BEFORE.
dt_disp_differs_from()
{
    dt_capture_disp "$DT_WORK/disp-now.png" || return 1
    local same=0
    dt_same "$DT_WORK/disp-now.png" "$1" || same=$?
    [ "$same" -eq 1 ]
}

# dt_wait_disp_equals SECONDS DESCRIPTION EXPECTED: waits until PicDisp shows EXPECTED (a
# screenshot taken while the program is still putting the picture on screen can be partial).
dt_wait_disp_equals()
{
    local seconds=$1 what=$2 expected=$3
    local deadline=$((SECONDS + seconds))
    while :; do
        dt_capture_disp "$DT_WORK/disp-now.png"
        if dt_same "$DT_WORK/disp-now.png" "$expected"; then
            dt_log "$what: the same as expected, pixel for pixel"
            return 0
        fi
        kill -0 "$DT_APP_PID" 2>/dev/null || dt_fail "the program ended while waiting for: $what"
        ((SECONDS < deadline)) || dt_require_same "$what" "$DT_WORK/disp-now.png" "$expected"
        sleep 0.1
    done
}

# dt_same_disp EXPECTED: PicDisp shows EXPECTED now.
dt_same_disp()
{
    dt_capture_disp "$DT_WORK/disp-now.png" && dt_same "$DT_WORK/disp-now.png" "$1"
}

# Starts PROGRAM on the X server, waits for PicDisp to show the plain background of BLANK,
# clicks Render and waits for PicDisp to show EXPECTED (DESCRIPTION names that picture in
# messages). No other window may open on the way.
dt_start_and_render()
{
    local program=$1 blank=$2 expected=$3 description=$4 others
    dt_start_app "$program"
    dt_wait 20 "PicDisp to show its plain background" dt_same_disp "$blank"
    dt_click "$DT_RENDER_X" "$DT_RENDER_Y"
    dt_pointer_away
    dt_wait 60 "the rendered picture to replace the plain background" dt_disp_differs_from "$blank"
    dt_wait_disp_equals 10 "$description" "$expected"
    others=$(dt_other_windows)
    [ -z "$others" ] || dt_fail "another window opened during the render: $others ($(timeout 20 xdotool getwindowname "${others%%$'\n'*}"))"
}
