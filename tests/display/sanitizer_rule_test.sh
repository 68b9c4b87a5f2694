#!/bin/bash
# SPDX-License-Identifier: MIT
# The rule that judges the sanitizers' reports (scripts/sanitizer_check.sh), on reports of
# known origin (sanitizer_reports/; @ROOT@ stands for the project's folder): a leak with a frame
# of the program or of its kernel fails, and names its log and its stack; blocks that only Qt's
# D-Bus module and libdbus hold at exit are counted but fail nothing; with --errors, any
# AddressSanitizer or UndefinedBehaviorSanitizer error fails as well.
#
#   sanitizer_rule_test.sh --check SANITIZER_CHECK --root PROJECT_DIR
set -euo pipefail

check="" root=""
while (($#)); do
    case $1 in
    --check) check=$2 ;;
    --root) root=$2 ;;
    *) echo "unknown argument $1" >&2; exit 2 ;;
    esac
    shift 2
done
root=$(cd "$root" && pwd -P)
reports=$(dirname "${BASH_SOURCE[0]}")/sanitizer_reports
work=$(mktemp -d "${TMPDIR:-/tmp}/veldtra-sanitizer-rule.XXXXXXXX")
trap 'rm -rf "$work"' EXIT
for report in "$reports"/*.log; do
    sed "s|@ROOT@|$root|g" "$report" >"$work/$(basename "$report")"
done

failures=0
# REPORT OPTION STATUS TEXT: the verdict on REPORT, with OPTION ("-" for none), ends with STATUS
# and prints TEXT.
while read -r report option status text; do
    [ -n "$report" ] || continue
    arguments=()
    [ "$option" = - ] || arguments+=("$option")
    actual=0
    "$check" "${arguments[@]}" "$work/$report" >"$work/verdict" 2>&1 || actual=$?
    if [ "$actual" -ne "$status" ] || ! grep -qF -- "$text" "$work/verdict"; then
        echo "FAIL: $report $option: status $actual (expected $status), verdict:" >&2
        sed 's/^/    /' "$work/verdict" >&2
        echo "    (expected to contain: $text)" >&2
        failures=$((failures + 1))
    else
        echo "ok: $report $option: status $actual, \"$text\""
    fi
done <<LIST
dbus_at_exit.log            -        0 0 leak(s) of the program, 3 of libraries alone
dbus_at_exit.log            --errors 0 0 leak(s) of the program, 3 of libraries alone
program_leak.log            -        1 program_leak.log: a leak of the program: Direct leak of 16 byte(s)
program_leak.log            -        1 in form1::cmdRender_Click() $root/viewer/form1.cpp:321
installed_kernel_leak.log   -        1 installed_kernel_leak.log: a leak of the program: Direct leak of 8 byte(s)
address_error.log           -        0 0 leak(s) of the program, 0 of libraries alone
address_error.log           --errors 1 address_error.log: a sanitizer reported an error in the program
address_error.log           --errors 1 in mLoadFractal::DrawFractal() $root/viewer/mloadfractal.cpp:88
undefined_behaviour.log     -        0 0 leak(s) of the program, 0 of libraries alone
undefined_behaviour.log     --errors 1 runtime error: signed integer overflow
LIST

# All of them at once: one program leak among library blocks still fails, and is the one named.
actual=0
"$check" --errors "$work/dbus_at_exit.log" "$work/program_leak.log" >"$work/verdict" 2>&1 || actual=$?
if [ "$actual" -ne 1 ] || ! grep -qF "1 leak(s) of the program, 3 of libraries alone" "$work/verdict" ||
    grep -q "dbus_at_exit.log: a leak" "$work/verdict"; then
    echo "FAIL: a program leak among library blocks: status $actual, verdict:" >&2
    sed 's/^/    /' "$work/verdict" >&2
    failures=$((failures + 1))
fi
[ "$failures" -eq 0 ] || exit 1
echo "sanitizer rule: every verdict as expected"
