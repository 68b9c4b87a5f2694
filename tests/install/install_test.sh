#!/bin/bash
# SPDX-License-Identifier: MIT
# Installs the build into a temporary prefix and checks the installed layout: the program, its
# kernel in the library directory and a valid desktop entry. Then, on a real X display, the
# installed program renders the default view with the installed kernel (and no other copy), and
# a copy of the installation without the kernel shows the error box instead of a picture.
#
#   install_test.sh --cmake CMAKE --build BUILD_DIR --bindir DIR --libdir DIR --datadir DIR
#                   --appid APP_ID --helper EXPECTED_PICTURES --kernel LIB --artifacts DIR
set -euo pipefail
# shellcheck source=SCRIPTDIR/../display/display_lib.sh
source "$(dirname "${BASH_SOURCE[0]}")/../display/display_lib.sh"
# shellcheck source=SCRIPTDIR/installed_program_lib.sh
source "$(dirname "${BASH_SOURCE[0]}")/installed_program_lib.sh"

dt_parse_args "cmake build bindir libdir datadir appid helper kernel artifacts" "$@"

dt_init install "$artifacts"
dt_load_layout "$helper"

# ---- The installed layout ------------------------------------------------------------------
prefix=$DT_WORK/prefix
"$cmake" --install "$build" --prefix "$prefix" >"$DT_WORK/install.log" 2>&1 ||
    { cat "$DT_WORK/install.log" >&2; dt_fail "cmake --install failed"; }
prefix=$(cd "$prefix" && pwd -P)

program=$prefix/$bindir/veldtra
library=$prefix/$libdir/libzorvakel.so
desktop=$prefix/$datadir/applications/$appid.desktop
if [ ! -f "$program" ] || [ ! -x "$program" ]; then dt_fail "no executable program at $program"; fi
[ -f "$library" ] || dt_fail "no kernel library at $library"
[ -f "$desktop" ] || dt_fail "no desktop entry at $desktop"
[ ! -e "$prefix/$bindir/libzorvakel.so" ] || dt_fail "the kernel was installed beside the program too"
dt_log "installed: $program, $library, $desktop"
ip_check_desktop_entry "$desktop" "$program"

# ---- The installed program renders with the installed kernel -------------------------------
ip_check_renders "$program" "$library" "$helper" "$kernel"

# ---- Without the installed kernel: an error box, no picture -------------------------------
bare=$DT_WORK/prefix-without-kernel
cp -a "$prefix" "$bare"
rm "$bare/$libdir/libzorvakel.so"
ip_check_missing_kernel "$bare/$bindir/veldtra" "$kernel"
dt_pass
