#!/bin/bash
# SPDX-License-Identifier: MIT
# The leak rule catches a leak of the program where the display tests look for it: a copy of
# the program that leaks one block from its own code is run the way the display tests run the
# viewer (on its own X server, with the session bus of the test), asked to close, and the
# judgement of its output has to fail, naming the log and the stack of that block.
#
#   planted_leak_test.sh --program LEAKING_VELDTRA --helper EXPECTED_PICTURES --artifacts DIR
set -euo pipefail
# shellcheck source=SCRIPTDIR/display_lib.sh
source "$(dirname "${BASH_SOURCE[0]}")/display_lib.sh"

dt_parse_args "program helper artifacts" "$@"

dt_init planted-leak "$artifacts"
dt_load_layout "$helper"
dt_start_x
dt_start_app "$program"
dt_close_app
dt_log "the leaking program ended with status $DT_APP_STATUS"

verdict=$DT_WORK/verdict.txt
if dt_check_program_logs 2>"$verdict"; then
    cat "$verdict" >&2
    dt_fail "the block the program leaked was not counted against it"
fi
cat "$verdict" >&2
grep -q "program-1.log: a leak of the program: Direct leak of 48 byte" "$verdict" ||
    dt_fail "the verdict does not name the log and the leaked block"
grep -q "planted_leak.cpp" "$verdict" || dt_fail "the verdict does not show the stack of the leaked block"
dt_log "the planted leak was caught, with its log and its stack"
dt_log "PASS"
