#!/usr/bin/env bash
# Runs one fuzz target for a bounded time as a test: from a fresh copy of its seed corpus, in
# a working folder of its own, failing on anything libFuzzer reports (a crash or abort, a
# sanitizer report, a leak, an input slower than -timeout, memory beyond -rss_limit_mb).
#
#   run_fuzzer.sh FUZZER SEED_DIR WORK_DIR SUMMARY_FILE [libFuzzer options...]
#
# libFuzzer's output goes to WORK_DIR/fuzz.log. One line with the inputs tried and the speed is
# written to SUMMARY_FILE and printed. On a failure the end of the log is printed and the
# failing input stays in WORK_DIR.
set -euo pipefail
fuzzer=$1 seeds=$2 work=$3 summary=$4
shift 4
name=$(basename "$summary" .txt)

rm -rf "$work" "$summary"
mkdir -p "$work/corpus" "$(dirname "$summary")"
cp "$seeds"/* "$work/corpus/"
cd "$work"

status=0
"$fuzzer" -artifact_prefix="$work/" -print_final_stats=1 "$@" corpus >fuzz.log 2>&1 || status=$?

final_stat() { sed -n "s/^stat::$1: *//p" fuzz.log | tail -n 1; }
echo "$name: $(final_stat number_of_executed_units) inputs tried" \
     "($(final_stat average_exec_per_sec)/s, $(final_stat new_units_added) new in the corpus," \
     "slowest $(final_stat slowest_unit_time_sec) s, peak $(final_stat peak_rss_mb) MB)" | tee "$summary"

if [ "$status" -ne 0 ]; then
    echo "FAILED: $name exited with status $status. End of $work/fuzz.log:"
    tail -n 60 fuzz.log
    for input in "$work"/crash-* "$work"/leak-* "$work"/timeout-* "$work"/oom-*; do
        [ -e "$input" ] && echo "Failing input: $input (repeat it with: $fuzzer $input)"
    done
    exit 1
fi
