#!/bin/bash
# SPDX-License-Identifier: MIT
# The real program on a real X display: a click on Render puts the default view on PicDisp,
# pixel for pixel the picture that the program's window class draws for the same click.
#
#   render_test.sh --program VELDTRA --helper EXPECTED_PICTURES --kernel LIB --artifacts DIR
#                  [--name NAME]   (the test's name in messages and artifacts; default render)
set -euo pipefail
# shellcheck source=SCRIPTDIR/display_lib.sh
source "$(dirname "${BASH_SOURCE[0]}")/display_lib.sh"

name=render
dt_parse_args "program helper kernel artifacts name" "$@"

dt_init "$name" "$artifacts"
dt_load_layout "$helper"

# What the screen must show: PicDisp as the window opens, and after one Render.
"$helper" --kernel "$kernel" --out "$DT_WORK/blank" || dt_fail "the expected pictures could not be worked out"
"$helper" --kernel "$kernel" --out "$DT_WORK/default" render || dt_fail "the expected pictures could not be worked out"
[ "$(dt_image_size "$DT_WORK/default-display.png")" = "${DT_DISP_WIDTH}x${DT_DISP_HEIGHT}" ] ||
    dt_fail "the expected display picture is $(dt_image_size "$DT_WORK/default-display.png")"
! dt_same "$DT_WORK/default-display.png" "$DT_WORK/blank-display.png" ||
    dt_fail "the expected rendered picture is the plain background"

dt_start_x
dt_start_and_render "$program" "$DT_WORK/blank-display.png" "$DT_WORK/default-display.png" "PicDisp after Render"
dt_pass
