#!/bin/bash
# SPDX-License-Identifier: MIT
# Installs the build into a temporary prefix and checks the installed layout: the program, its
# kernel in the library directory and a valid desktop entry. Then, on a real X display, the
# installed program renders the default view with the installed kernel (and no other copy), and
# a copy of the installation without the kernel shows the error box instead of a picture.
#
#   install_test.sh --cmake CMAKE --build BUILD_DIR --bindir DIR --libdir DIR --datadir DIR
#                   --helper EXPECTED_PICTURES --kernel LIB --artifacts DIR
set -euo pipefail
# shellcheck source=SCRIPTDIR/../display/display_lib.sh
source "$(dirname "${BASH_SOURCE[0]}")/../display/display_lib.sh"

dt_parse_args "cmake build bindir libdir datadir helper kernel artifacts" "$@"

dt_init install "$artifacts"
dt_load_layout "$helper"
command -v desktop-file-validate >/dev/null || dt_fail "desktop-file-validate is not installed (package desktop-file-utils)"

# ---- The installed layout ------------------------------------------------------------------
prefix=$DT_WORK/prefix
"$cmake" --install "$build" --prefix "$prefix" >"$DT_WORK/install.log" 2>&1 ||
    { cat "$DT_WORK/install.log" >&2; dt_fail "cmake --install failed"; }
prefix=$(cd "$prefix" && pwd -P)

program=$prefix/$bindir/veldtra
library=$prefix/$libdir/libzorvakel.so
desktop=$prefix/$datadir/applications/veldtra.desktop
if [ ! -f "$program" ] || [ ! -x "$program" ]; then dt_fail "no executable program at $program"; fi
[ -f "$library" ] || dt_fail "no kernel library at $library"
[ -f "$desktop" ] || dt_fail "no desktop entry at $desktop"
[ ! -e "$prefix/$bindir/libzorvakel.so" ] || dt_fail "the kernel was installed beside the program too"
dt_log "installed: $program, $library, $desktop"

desktop-file-validate "$desktop" >"$DT_WORK/validate.log" 2>&1 ||
    { cat "$DT_WORK/validate.log" >&2; dt_fail "desktop-file-validate rejects $desktop"; }
# Errors fail the validator; warnings fail here too. Hints are passed on.
! grep -q 'warning:' "$DT_WORK/validate.log" ||
    { cat "$DT_WORK/validate.log" >&2; dt_fail "desktop-file-validate warns about $desktop"; }
grep 'hint:' "$DT_WORK/validate.log" | sed 's/^/[install] /' >&2 || true
exec_line=$(sed -n 's/^Exec=//p' "$desktop")
[ "${exec_line%% *}" = "$(basename "$program")" ] ||
    dt_fail "the desktop entry runs \"$exec_line\", not the installed $(basename "$program")"
dt_log "desktop entry valid, Exec=$exec_line"

# ---- The installed program renders with the installed kernel -------------------------------
"$helper" --kernel "$kernel" --out "$DT_WORK/blank" || dt_fail "the expected pictures could not be worked out"
"$helper" --kernel "$kernel" --out "$DT_WORK/default" render || dt_fail "the expected pictures could not be worked out"

# The kernel libraries that a running program has loaded, one path a line.
loaded_kernels() { grep -o '/.*/libzorvakel\.so[^ ]*' "/proc/$DT_APP_PID/maps" | sort -u || true; }

dt_start_x
dt_start_and_render "$program" "$DT_WORK/blank-display.png" "$DT_WORK/default-display.png" \
    "PicDisp of the installed program after Render"
kernels=$(loaded_kernels)
[ "$kernels" = "$library" ] || dt_fail "the installed program loaded \"$kernels\", not just $library"
dt_log "the installed program loaded $kernels"
dt_stop_app

# ---- Without the installed kernel: an error box, no picture -------------------------------
bare=$DT_WORK/prefix-without-kernel
cp -a "$prefix" "$bare"
rm "$bare/$libdir/libzorvakel.so"
dt_start_app "$bare/$bindir/veldtra"
dt_wait 20 "PicDisp to show its plain background" dt_same_disp "$DT_WORK/blank-display.png"
dt_click "$DT_RENDER_X" "$DT_RENDER_Y"
dt_pointer_away

# The error box: a dialog of the program, titled with the kind of error and the program's name,
# and owned by the main window.
find_error_box()
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
dt_wait 30 "the error box of the render without a kernel" find_error_box
dt_log "error box $error_box: \"$(timeout 20 xdotool getwindowname "$error_box")\""
timeout 30 import -window root "$DT_ARTIFACTS/error-box.png" || dt_fail "no screenshot of the error box"
kernels=$(loaded_kernels)
[ -z "$kernels" ] || dt_fail "the program without an installed kernel loaded $kernels"

# Once the box is closed the program goes on, with no picture on PicDisp.
dt_xdo windowfocus --sync "$error_box"
dt_xdo key Return
error_box_closed() { ! find_error_box; }
dt_wait 20 "the error box to close" error_box_closed
dt_wait 10 "PicDisp to show the plain background again" dt_same_disp "$DT_WORK/blank-display.png"
kill -0 "$DT_APP_PID" 2>/dev/null || dt_fail "the program ended after the error"
rm -f "$DT_ARTIFACTS/error-box.png"
dt_pass
