#!/usr/bin/env bash
# leak_check.sh LOG...: reads the LeakSanitizer reports in test logs and fails if any leak has a
# frame of this program on its allocation stack. A block that Qt's core library or the D-Bus
# library allocated with no frame of ours on the stack is theirs: Qt's core library sometimes
# still holds one such block at exit when tests run in parallel.
set -euo pipefail

awk '
    function finish() {
        if (!inLeak) return
        if (ours) { print "  a leak of the program: " header; print stack; programLeaks++ }
        else libraryLeaks++
        inLeak = 0
    }
    /^(Direct|Indirect) leak of/ { finish(); inLeak = 1; ours = 0; header = $0; stack = ""; next }
    inLeak && /^ *#[0-9]+ / {
        stack = stack $0 "\n"
        if ($0 !~ /libsanitizer|libQt6Core\.so|libdbus-1\.so|<unknown module>/) ours = 1
        next
    }
    inLeak { finish() }
    END {
        finish()
        printf "LeakSanitizer: %d leak(s) of the program, %d of Qt or D-Bus alone\n", programLeaks, libraryLeaks
        exit programLeaks > 0
    }
' "$@"
