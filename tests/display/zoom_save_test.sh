#!/bin/bash
# SPDX-License-Identifier: MIT
# The real program on a real X display, driven with the real mouse and keyboard: Render, a zoom
# rectangle dragged on PicDisp, Render again, then Save through the file dialog. PicDisp must
# show, and the saved file must hold, pixel for pixel the pictures that the program's window
# class produces for the same clicks and drag; the file keeps the name typed, with no extension.
#
#   zoom_save_test.sh --program VELDTRA --helper EXPECTED_PICTURES --kernel LIB --artifacts DIR
set -euo pipefail
# shellcheck source=SCRIPTDIR/display_lib.sh
source "$(dirname "${BASH_SOURCE[0]}")/display_lib.sh"

dt_parse_args "program helper kernel artifacts" "$@"

# The drag, in pixels of PicDisp: pressed at the first point, released at the last. It runs up
# and to the left, so the program has to put the corners in order itself.
# shellcheck disable=SC2054
drag_points=(240,110 225,100 205,85 185,70 170,55)

dt_init zoom_render_save "$artifacts"

drag_action=drag
for point in "${drag_points[@]}"; do drag_action+=":$point"; done
"$helper" --kernel "$kernel" --out "$DT_WORK/blank" || dt_fail "the expected pictures could not be worked out"
"$helper" --kernel "$kernel" --out "$DT_WORK/default" render || dt_fail "the expected pictures could not be worked out"
"$helper" --kernel "$kernel" --out "$DT_WORK/zoom" render "$drag_action" render ||
    dt_fail "the expected pictures could not be worked out"
[ "$(dt_image_size "$DT_WORK/zoom-hidden.png")" = 320x240 ] ||
    dt_fail "the expected saved picture is $(dt_image_size "$DT_WORK/zoom-hidden.png"), not 320x240"
! dt_same "$DT_WORK/zoom-hidden.png" "$DT_WORK/default-hidden.png" ||
    dt_fail "the expected zoomed picture is the default view: the drag changed nothing"

dt_start_x
# The default view first, so that the rectangle is dragged over a picture.
dt_start_and_render "$program" "$DT_WORK/blank-display.png" "$DT_WORK/default-display.png" \
    "PicDisp after the first Render"

# The drag with the real pointer, through the X server.
read -r x y <<<"${drag_points[0]//,/ }"
dt_pointer_to $((DT_DISP_LEFT + x)) $((DT_DISP_TOP + y))
dt_button down
for point in "${drag_points[@]:1}"; do
    read -r x y <<<"${point//,/ }"
    dt_pointer_to $((DT_DISP_LEFT + x)) $((DT_DISP_TOP + y))
done
dt_button up

# The rectangle stays on screen until the render replaces it, so there is no plain picture to
# wait for a change from: wait for the expected one.
dt_click "$DT_RENDER_X" "$DT_RENDER_Y"
dt_pointer_away
dt_wait_disp_equals 60 "PicDisp after the zoom and Render" "$DT_WORK/zoom-display.png"

# Save: the program's own (non-native) file dialog, answered from the keyboard.
save_dir=$DT_WORK/saved
mkdir -p "$save_dir"
target=$save_dir/zoomed
dt_click "$DT_SAVE_X" "$DT_SAVE_Y"
find_dialog()
{
    dialog=$(xdotool search --all --onlyvisible --pid "$DT_APP_PID" --name '^Save Fractal As Bitmap' 2>/dev/null | head -n 1) || true
    [ -n "$dialog" ]
}
dt_wait 20 "the file dialog \"Save Fractal As Bitmap\"" find_dialog
dt_log "file dialog $dialog: \"$(xdotool getwindowname "$dialog")\""
dt_xdo windowfocus --sync "$dialog"
dt_xdo type --delay 15 "$target"
dt_xdo key Return

dialog_closed() { ! xdotool search --all --onlyvisible --pid "$DT_APP_PID" --name '^Save Fractal As Bitmap' >/dev/null 2>&1; }
dt_wait 20 "the file dialog to close" dialog_closed
show_save_dir() { dt_log "the save directory holds: $(ls -A "$save_dir" | tr '\n' ' ')"; }
# shellcheck disable=SC2034 # read by dt_fail
DT_HINT=show_save_dir
dt_wait 20 "the saved file $target" test -f "$target"
# The name stays as typed: no extension, no other file beside it.
saved=$(ls -A "$save_dir")
[ "$saved" = zoomed ] || dt_fail "the save directory holds \"$(tr '\n' ' ' <<<"$saved")\", not just \"zoomed\""
if [ "$(head -c 2 "$target")" != BM ] || [[ "$(identify -format '%m' "$target")" != BMP* ]]; then
    dt_fail "$target is not a BMP file"
fi
dt_require_same "the saved file" "$target" "$DT_WORK/zoom-hidden.png"

others=$(dt_other_windows)
[ -z "$others" ] || dt_fail "a window is still open after the save: $others ($(xdotool getwindowname "${others%%$'\n'*}"))"
dt_pass
