#!/usr/bin/env bash
# Installs what is missing, builds, and runs every test: the whole suite on the regular build
# (real-display tests included, each on its own virtual X server), then the whole suite again
# on a build with AddressSanitizer, UndefinedBehaviorSanitizer and LeakSanitizer, then the fuzz
# targets for a bounded time on a clang build with libFuzzer.
source "$(dirname "${BASH_SOURCE[0]}")/common.sh"

ensure_packages "${BUILD_PACKAGES[@]}" "${TEST_PACKAGES[@]}"

build_tree "$VELDTRA_ROOT/build" -DBUILD_TESTING=ON
ctest --test-dir "$VELDTRA_ROOT/build" --output-on-failure -j "$(nproc)"

build_tree "$VELDTRA_ROOT/build-sanitize" -DBUILD_TESTING=ON -DVELDTRA_SANITIZE=ON
ASAN_OPTIONS=allocator_may_return_null=1:detect_leaks=1 \
    LSAN_OPTIONS=suppressions=$VELDTRA_ROOT/tests/lsan.supp \
    UBSAN_OPTIONS=halt_on_error=1:print_stacktrace=1 \
    ctest --test-dir "$VELDTRA_ROOT/build-sanitize" --output-on-failure -j "$(nproc)"

build_tree "$VELDTRA_ROOT/build-fuzz" -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ \
    -DBUILD_TESTING=ON -DVELDTRA_FUZZ=ON --no-warn-unused-cli
ctest --test-dir "$VELDTRA_ROOT/build-fuzz" -L fuzz --output-on-failure -j "$(nproc)"
cat "$VELDTRA_ROOT"/build-fuzz/tests/fuzz/summary/*.txt
