#!/bin/bash
# SPDX-License-Identifier: MIT
# The real program on a real X display, driven with the real mouse and keyboard: Render, a zoom
# rectangle dragged on PicDisp, Render again, then Save through the file dialog. PicDisp must
# show, and the saved file must hold, pixel for pixel the pictures that the program's window
# class produces for the same clicks and drag; the file keeps the name typed, with no extension.
# Right after the release, before anything else, the outline is gone from the screen, and the
# four window fields show their new texts from the first character (sign and leading digits),
# pixel for pixel as a plain line edit with its cursor at the start shows them.
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
dt_load_layout "$helper"

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
# The window fields as they must look, before and after the drag: drawn on this X server (the
# font rendering has to be the one of the screen), before the program starts, so that the
# helper's window does not take the keyboard focus from the program's.
dt_qt_run 120 "$helper" --kernel "$kernel" --out "$DT_WORK/default-fields" --fields render ||
    dt_fail "the expected field pictures could not be worked out"
dt_qt_run 120 "$helper" --kernel "$kernel" --out "$DT_WORK/zoom-fields" --fields render "$drag_action" ||
    dt_fail "the expected field pictures could not be worked out"
for name in $DT_WINDOW_FIELDS; do
    [ "$(dt_image_size "$DT_WORK/zoom-fields-$name.png")" = "${DT_FIELD_WIDTH[$name]}x${DT_FIELD_HEIGHT[$name]}" ] ||
        dt_fail "the expected picture of $name is $(dt_image_size "$DT_WORK/zoom-fields-$name.png")"
    # The zoomed texts are too long for their fields: shown from the start they look otherwise
    # than scrolled to the end, and otherwise than the default texts.
    ! dt_same "$DT_WORK/zoom-fields-$name.png" "$DT_WORK/zoom-fields-$name-end.png" ||
        dt_fail "the expected picture of $name looks the same from the start and from the end of its text"
    ! dt_same "$DT_WORK/zoom-fields-$name.png" "$DT_WORK/default-fields-$name.png" ||
        dt_fail "the expected picture of $name is the same before and after the drag"
done

# fields_show PREFIX: the four fields on screen are PREFIX-NAME.png, pixel for pixel.
fields_show()
{
    local name
    for name in $DT_WINDOW_FIELDS; do
        dt_capture_field "$DT_WORK/$name-now.png" "$name" && dt_same "$DT_WORK/$name-now.png" "$1-$name.png" ||
            return 1
    done
}

# wait_fields_show SECONDS DESCRIPTION PREFIX: waits until the four fields show PREFIX-NAME.png;
# otherwise fails on the first field that does not, saying whether it shows the end of its text.
wait_fields_show()
{
    local seconds=$1 what=$2 prefix=$3 name
    local deadline=$((SECONDS + seconds))
    until fields_show "$prefix"; do
        kill -0 "$DT_APP_PID" 2>/dev/null || dt_fail "the program ended while waiting for: $what"
        if ((SECONDS >= deadline)); then
            # What each field shows, then the pictures of the first one that is wrong.
            for name in $DT_WINDOW_FIELDS; do
                dt_capture_field "$DT_WORK/$name-now.png" "$name" || dt_fail "no screenshot of $name"
                if dt_same "$DT_WORK/$name-now.png" "$prefix-$name.png"; then
                    dt_log "$what: $name as expected"
                elif dt_same "$DT_WORK/$name-now.png" "$prefix-$name-end.png"; then
                    dt_log "$what: $name shows the end of its text, not its first character"
                else
                    dt_log "$what: $name shows neither the start nor the end of its text"
                fi
            done
            for name in $DT_WINDOW_FIELDS; do
                dt_require_same "$what: $name" "$DT_WORK/$name-now.png" "$prefix-$name.png"
            done
        fi
        sleep 0.1
    done
    dt_log "$what: all four the same as expected, pixel for pixel"
}

# The default view first, so that the rectangle is dragged over a picture.
dt_start_and_render "$program" "$DT_WORK/blank-display.png" "$DT_WORK/default-display.png" \
    "PicDisp after the first Render"
# The default texts fit their fields: this shows that the screen and the helper draw a field
# alike, pixel for pixel, whatever the program does with long texts.
wait_fields_show 10 "the window fields before the drag" "$DT_WORK/default-fields"
# The helper drew the fields in an active window: the program's window has to be active too.
program_has_focus() { [ "$(timeout 20 xdotool getwindowfocus 2>/dev/null)" = "$DT_WID" ]; }
dt_wait 5 "the program's window to hold the keyboard focus" program_has_focus

# The drag with the real pointer, through the X server.
read -r x y <<<"${drag_points[0]//,/ }"
dt_pointer_to $((DT_DISP_LEFT + x)) $((DT_DISP_TOP + y))
dt_button down
for point in "${drag_points[@]:1}"; do
    read -r x y <<<"${point//,/ }"
    dt_pointer_to $((DT_DISP_LEFT + x)) $((DT_DISP_TOP + y))
done
dt_wait 5 "the selection outline to show on PicDisp" dt_disp_differs_from "$DT_WORK/default-display.png"
dt_button up

# The release takes the outline off the screen at once, before any render: PicDisp shows the
# rendered picture again, with no outline pixel left. The repaint comes through the event
# loop, so it is waited for, briefly.
dt_wait_disp_equals 5 "PicDisp right after the release" "$DT_WORK/default-display.png"
# The fields hold the selected window, shown from the first character of each text.
dt_pointer_away
dt_capture_window "$DT_ARTIFACTS/window-after-zoom.png" || dt_fail "no screenshot of the window"
wait_fields_show 5 "the window fields after the drag" "$DT_WORK/zoom-fields"
dt_capture_window "$DT_ARTIFACTS/window-after-zoom.png" || dt_fail "no screenshot of the window"

# The render replaces the picture: wait for the expected one.
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
    dialog=$(timeout 20 xdotool search --all --onlyvisible --pid "$DT_APP_PID" --name '^Save Fractal As Bitmap' 2>/dev/null | head -n 1) || true
    [ -n "$dialog" ]
}
dt_wait 20 "the file dialog \"Save Fractal As Bitmap\"" find_dialog
dt_log "file dialog $dialog: \"$(timeout 20 xdotool getwindowname "$dialog")\""
dt_xdo windowfocus --sync "$dialog"
dt_xdo type --delay 15 "$target"
dt_xdo key Return

dialog_closed() { ! timeout 20 xdotool search --all --onlyvisible --pid "$DT_APP_PID" --name '^Save Fractal As Bitmap' >/dev/null 2>&1; }
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
[ -z "$others" ] || dt_fail "a window is still open after the save: $others ($(timeout 20 xdotool getwindowname "${others%%$'\n'*}"))"
dt_pass
