# SPDX-License-Identifier: MIT
# shellcheck shell=bash
# Shared by the install and package tests: checks on an installed copy of the program, made
# after display_lib.sh's dt_init and dt_load_layout.

# ip_check_desktop_entry DESKTOP PROGRAM: the desktop entry is valid, without warnings (hints
# are passed on), and runs PROGRAM by its name.
ip_check_desktop_entry()
{
    local desktop=$1 program=$2 exec_line
    command -v desktop-file-validate >/dev/null ||
        dt_fail "desktop-file-validate is not installed (package desktop-file-utils)"
    desktop-file-validate "$desktop" >"$DT_WORK/validate.log" 2>&1 ||
        { cat "$DT_WORK/validate.log" >&2; dt_fail "desktop-file-validate rejects $desktop"; }
    ! grep -q 'warning:' "$DT_WORK/validate.log" ||
        { cat "$DT_WORK/validate.log" >&2; dt_fail "desktop-file-validate warns about $desktop"; }
    grep 'hint:' "$DT_WORK/validate.log" | sed "s/^/[$DT_NAME] /" >&2 || true
    exec_line=$(sed -n 's/^Exec=//p' "$desktop")
    [ "${exec_line%% *}" = "$(basename "$program")" ] ||
        dt_fail "the desktop entry runs \"$exec_line\", not the installed $(basename "$program")"
    dt_log "desktop entry valid, Exec=$exec_line"
}

# The kernel libraries that the running program has loaded, one path a line.
ip_loaded_kernels() { grep -o '/.*/libzorvakel\.so[^ ]*' "/proc/$DT_APP_PID/maps" | sort -u || true; }

# ip_check_renders PROGRAM LIBRARY HELPER KERNEL: on the private X server (started here),
# PROGRAM renders the default view as the build's KERNEL computes it, having loaded LIBRARY and
# no other kernel. Leaves the plain background in $DT_WORK/blank-display.png.
ip_check_renders()
{
    local program=$1 library=$2 helper=$3 kernel=$4 kernels
    "$helper" --kernel "$kernel" --out "$DT_WORK/blank" || dt_fail "the expected pictures could not be worked out"
    "$helper" --kernel "$kernel" --out "$DT_WORK/default" render || dt_fail "the expected pictures could not be worked out"
    dt_start_x
    dt_start_and_render "$program" "$DT_WORK/blank-display.png" "$DT_WORK/default-display.png" \
        "PicDisp of $program after Render"
    kernels=$(ip_loaded_kernels)
    [ "$kernels" = "$library" ] || dt_fail "$program loaded \"$kernels\", not just $library"
    dt_log "$program loaded $kernels"
    dt_stop_app
}

# The error box of a render without the kernel: a dialog of the program, titled with the kind
# of error and the program's name, and owned by the main window. Sets error_box.
ip_find_error_box()
{
    local id
    for id in $(dt_other_windows); do
        [ "$(timeout 20 xdotool getwindowname "$id" 2>/dev/null)" = "Kernel library not available — Veldtra" ] || continue
        timeout 20 xprop -id "$id" WM_TRANSIENT_FOR 2>/dev/null | grep -qi "# $(printf '0x%x' "$DT_WID")\$" || continue
        timeout 20 xprop -id "$id" _NET_WM_WINDOW_TYPE 2>/dev/null | grep -q _NET_WM_WINDOW_TYPE_DIALOG || continue
        error_box=$id
        return 0
    done
    return 1
}
ip_error_box_closed() { ! ip_find_error_box; }

# ip_check_missing_kernel PROGRAM KERNEL: after ip_check_renders, PROGRAM, which has no kernel
# where it looks, shows the error box at Render instead of a picture, loads no kernel (not even
# the copy of KERNEL put in its working directory), and goes on once the box is closed.
ip_check_missing_kernel()
{
    local program=$1 kernels blank=$DT_WORK/blank-display.png
    cp "$2" "$DT_WORK/libzorvakel.so"
    dt_start_app "$program"
    dt_wait 20 "PicDisp to show its plain background" dt_same_disp "$blank"
    dt_click "$DT_RENDER_X" "$DT_RENDER_Y"
    dt_pointer_away
    dt_wait 30 "the error box of the render without a kernel" ip_find_error_box
    dt_log "error box $error_box: \"$(timeout 20 xdotool getwindowname "$error_box")\""
    timeout 30 import -window root "$DT_ARTIFACTS/error-box.png" || dt_fail "no screenshot of the error box"
    kernels=$(ip_loaded_kernels)
    [ -z "$kernels" ] || dt_fail "$program without its kernel loaded $kernels"

    dt_xdo windowfocus --sync "$error_box"
    dt_xdo key Return
    dt_wait 20 "the error box to close" ip_error_box_closed
    dt_wait 10 "PicDisp to show the plain background again" dt_same_disp "$blank"
    kill -0 "$DT_APP_PID" 2>/dev/null || dt_fail "the program ended after the error"
    rm -f "$DT_ARTIFACTS/error-box.png" "$DT_WORK/libzorvakel.so"
}
