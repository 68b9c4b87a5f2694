#!/usr/bin/env bash
# Takes docs/screenshot.png: the real viewer on a virtual X screen, after one click on Render.
# Builds nothing.
#
#   scripts/screenshot.sh [BUILD_DIR]      (default: build/ of this repository)
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
build=$(realpath -m "${1:-$root/build}")
program=$build/bin/veldtra
if [ ! -x "$program" ]; then
    echo "No viewer at $program: build it first (scripts/test.sh, or cmake --build $build)." >&2
    exit 1
fi
# Tells where Render and PicDisp are in the window, from the program's own window class.
helper=$build/bin/veldtra_expected_pictures
if [ ! -x "$helper" ]; then
    echo "No $helper, which tells where the window's controls are: build it first" \
        "(cmake --build $build --target veldtra_expected_pictures, in a build configured with" \
        "testing on: -DBUILD_TESTING=ON, the default)." >&2
    exit 1
fi
output=$root/docs/screenshot.png

# shellcheck source=SCRIPTDIR/../tests/display/display_lib.sh
source "$root/tests/display/display_lib.sh"
dt_init screenshot "$build/screenshot-artifacts"
dt_load_layout "$helper"

# The window, unchanged for a whole poll interval: the last paint has reached the screen.
window_settled()
{
    timeout 30 import -window "$DT_WID" "$DT_WORK/window-now.png" &&
        [ -f "$DT_WORK/window-before.png" ] && dt_same "$DT_WORK/window-now.png" "$DT_WORK/window-before.png"
    local settled=$?
    mv -f "$DT_WORK/window-now.png" "$DT_WORK/window-before.png" 2>/dev/null || true
    return "$settled"
}
# PicDisp shows a picture rather than its plain background.
picture_shown() { dt_capture_disp "$DT_WORK/disp.png" && [ "$(identify -format '%k' "$DT_WORK/disp.png")" -gt 1 ]; }

dt_start_x
dt_start_app "$program"
dt_wait 20 "the window to be drawn" window_settled
dt_click "$DT_RENDER_X" "$DT_RENDER_Y"
dt_pointer_away
dt_wait 60 "the rendered picture" picture_shown
rm -f "$DT_WORK/window-before.png"
dt_wait 20 "the window to settle" window_settled

mkdir -p "$(dirname "$output")"
timeout 30 import -window "$DT_WID" -strip "$DT_WORK/screenshot.png"
mv -f "$DT_WORK/screenshot.png" "$output"
echo "Wrote $output ($(identify -format '%wx%h' "$output"))"
