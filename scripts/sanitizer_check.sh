#!/usr/bin/env bash
# sanitizer_check.sh [--errors] LOG...: the one rule by which the test command judges the
# sanitizers' reports, in ctest's logs and in the output of every program that a display,
# install, package or remote-screen test starts.
#
# A leak is the program's when a frame of the program or its kernel is on its allocation stack:
# a frame in a file of this project's tree (its sources, or a binary built in one of its build
# trees), or in the program or kernel as installed elsewhere (veldtra, libzorvakel.so). Any
# other leak is a block that a library allocated and still holds at exit, on a stack with no
# frame of ours: Qt's D-Bus module and libdbus keep such blocks when no session bus could be
# reached, and Qt's core library sometimes does at exit. Those are counted, by the library that
# made the allocation, but fail nothing.
#
# With --errors, any report of AddressSanitizer other than a leak, and any runtime error of
# UndefinedBehaviorSanitizer, fails as well (ctest's own tests fail on those by themselves).
#
# Fails naming the log and printing the report or the stack that made it fail.
set -euo pipefail

errors=0
if [ "${1:-}" = --errors ]; then
    errors=1
    shift
fi
[ $# -gt 0 ] || { echo "usage: $0 [--errors] LOG..." >&2; exit 2; }
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd -P)

awk -v root="$root/" -v errors="$errors" '
    function finish() {
        if (!inLeak) return
        if (ours) {
            printf "%s: a leak of the program: %s\n%s", leakLog, header, stack
            programLeaks++
        } else {
            libraryLeaks++
            byLibrary[allocator]++
        }
        inLeak = 0
    }
    # The file of a frame: its last field, the module in parentheses or the source file (newer
    # sanitizers add the build id of the module after it).
    function frameFile(line,    n, field) {
        sub(/ \(BuildId: [0-9a-f]+\)$/, "", line)
        n = split(line, field, " ")
        file = field[n]
        if (file ~ /^\(.*\)$/) file = substr(file, 2, length(file) - 2)
        return file
    }
    FNR == 1 { finish() }
    /^(Direct|Indirect) leak of/ {
        finish(); inLeak = 1; ours = 0; header = $0; stack = ""; allocator = ""; leakLog = FILENAME
        next
    }
    inLeak && /^ *#[0-9]+ / {
        stack = stack $0 "\n"
        file = frameFile($0)
        runtime = file ~ /lib(sanitizer|asan|lsan)|asan_|lsan_|sanitizer_common|compiler-rt/ ||
                  $0 ~ / in (malloc|calloc|realloc|operator new|__interceptor_)/
        if (!runtime && (index(file, root) == 1 || file ~ /(^|\/)(veldtra|libzorvakel\.so)(\+0x[0-9a-f]+)?$/))
            ours = 1
        if (allocator == "" && !runtime) {
            allocator = file
            sub(/\+0x[0-9a-f]+$/, "", allocator); sub(/:[0-9:]+$/, "", allocator)
            sub(/.*\//, "", allocator)
        }
        next
    }
    inLeak { finish() }
    errors && (/ERROR: AddressSanitizer/ || /runtime error:/) {
        printf "%s: a sanitizer reported an error in the program:\n", FILENAME
        context = 12
        sanitizerErrors++
    }
    context > 0 { print "    " $0; context-- }
    END {
        finish()
        list = ""
        for (library in byLibrary) list = list (list == "" ? "" : ", ") library " " byLibrary[library]
        printf "LeakSanitizer: %d leak(s) of the program, %d of libraries alone%s\n",
            programLeaks, libraryLeaks, list == "" ? "" : " (" list ")"
        if (errors)
            printf "AddressSanitizer and UndefinedBehaviorSanitizer: %d error(s)\n", sanitizerErrors
        exit (programLeaks + sanitizerErrors) > 0
    }
' "$@"
