#!/usr/bin/env bash
# Installs what is missing, builds, and runs every test: the whole suite on the regular build
# (real-display tests included, each on its own virtual X server), then the whole suite again
# on a build with AddressSanitizer, UndefinedBehaviorSanitizer and LeakSanitizer, the render and
# kernel tests on a build with ThreadSanitizer, then the fuzz targets for a bounded time on a
# clang build with libFuzzer.
set -euo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/common.sh"

# The figures that the session and stress tests print, from ctest's full log of a build tree.
# Every session is a test of its own that prints its own figures: they are added up into one
# line of totals, its error kinds in the order of their names; other figures lines pass as
# they are.
print_figures() {
    echo "Figures of the $2:"
    local lines
    lines=$(grep -h "figures:" "$1/Testing/Temporary/LastTest.log") ||
        { echo "  none: the session and stress tests did not run"; return 1; }
    awk '
        /^session figures: / {
            ++tests; sessions += $3; steps += $5; errors += $7
            kinds = $0
            sub(/^[^(]*\(/, "", kinds); sub(/\)$/, "", kinds)
            n = split(kinds, item, ", ")
            for (i = 1; i <= n; ++i) {
                name = item[i]; sub(/ [0-9]+$/, "", name)
                count = item[i]; sub(/.* /, "", count)
                if (!(name in byKind)) names[++kindCount] = name
                byKind[name] += count
            }
            next
        }
        { others[++otherCount] = $0 }
        END {
            if (tests) {
                for (i = 2; i <= kindCount; ++i)
                    for (j = i; j > 1 && names[j - 1] > names[j]; --j) {
                        swap = names[j]; names[j] = names[j - 1]; names[j - 1] = swap
                    }
                list = ""
                for (i = 1; i <= kindCount; ++i)
                    list = list (i > 1 ? ", " : "") names[i] " " byKind[names[i]]
                printf "session figures: %d sessions, %d steps, %d reported errors (%s)\n",
                    sessions, steps, errors, list
            }
            for (i = 1; i <= otherCount; ++i) print others[i]
        }' <<<"$lines" | sed 's/^/  /'
}

ensure_packages "${BUILD_PACKAGES[@]}" "${PACKAGE_PACKAGES[@]}" "${TEST_PACKAGES[@]}"

build_tree "$VELDTRA_ROOT/build" -DBUILD_TESTING=ON
ctest --test-dir "$VELDTRA_ROOT/build" --output-on-failure -j "$(nproc)"
print_figures "$VELDTRA_ROOT/build" "regular build"

# sanitized_ctest DIR [ctest options...]: runs ctest in a build tree with AddressSanitizer,
# UndefinedBehaviorSanitizer and LeakSanitizer. A leak does not fail the test it shows up in:
# sanitizer_check.sh then judges every report in ctest's log by the same rule as the display
# tests judge the program's output.
sanitized_ctest() {
    local dir=$1
    shift
    ASAN_OPTIONS=allocator_may_return_null=1:detect_leaks=1 \
        LSAN_OPTIONS=exitcode=0 \
        UBSAN_OPTIONS=halt_on_error=1:print_stacktrace=1 \
        ctest --test-dir "$dir" --output-on-failure -j "$(nproc)" "$@"
    "$VELDTRA_ROOT/scripts/sanitizer_check.sh" "$dir/Testing/Temporary/LastTest.log"
}

build_tree "$VELDTRA_ROOT/build-sanitize" -DBUILD_TESTING=ON -DVELDTRA_SANITIZE=ON
sanitized_ctest "$VELDTRA_ROOT/build-sanitize"
print_figures "$VELDTRA_ROOT/build-sanitize" "sanitizer build"

# The render and kernel tests once more on a ThreadSanitizer build: the grid is computed on
# worker threads, and any data race fails the test it shows up in.
VELDTRA_TARGETS="zorvakel zorvakel_tests viewer_tests" \
    build_tree "$VELDTRA_ROOT/build-tsan" -DBUILD_TESTING=ON -DVELDTRA_TSAN=ON
TSAN_OPTIONS=halt_on_error=1:allocator_may_return_null=1:suppressions=$VELDTRA_ROOT/tests/tsan.supp \
    ctest --test-dir "$VELDTRA_ROOT/build-tsan" --output-on-failure -j "$(nproc)" \
    -R '^(zorvakel|viewer\.([^.]*Render[^.]*|[^.]*SharedRows[^.]*|Threads/TerminationDuringTheGrid))\.'

# The clang build also runs the kernel's own tests: every result of the kernel is decided by its
# code, the same bytes whichever compiler built it. The check of the library's exports is left
# to the plain builds: coverage instrumentation adds symbols of its own to this one.
VELDTRA_TARGETS="zorvakel_tests fuzz_kernel fuzz_number_to_text fuzz_text_to_number" \
    build_tree "$VELDTRA_ROOT/build-fuzz" -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ \
    -DBUILD_TESTING=ON -DVELDTRA_FUZZ=ON --no-warn-unused-cli
sanitized_ctest "$VELDTRA_ROOT/build-fuzz" -R '^zorvakel\.' -E '^zorvakel\.KernelLibrary\.ExportsOnlyMandelbrot$'
ctest --test-dir "$VELDTRA_ROOT/build-fuzz" -L fuzz --output-on-failure -j "$(nproc)"
echo "Figures of the fuzz targets:"
sed 's/^/  /' "$VELDTRA_ROOT"/build-fuzz/tests/fuzz/summary/*.txt
