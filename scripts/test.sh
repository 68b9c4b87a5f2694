#!/usr/bin/env bash
# Installs what is missing, builds, and runs every test: the whole suite on the regular build
# (real-display tests included, each on its own virtual X server), then the whole suite again
# on a build with AddressSanitizer, UndefinedBehaviorSanitizer and LeakSanitizer.
source "$(dirname "${BASH_SOURCE[0]}")/common.sh"

ensure_packages "${BUILD_PACKAGES[@]}" "${TEST_PACKAGES[@]}"

build_tree "$VELDTRA_ROOT/build" -DBUILD_TESTING=ON
ctest --test-dir "$VELDTRA_ROOT/build" --output-on-failure -j "$(nproc)"

build_tree "$VELDTRA_ROOT/build-sanitize" -DBUILD_TESTING=ON -DVELDTRA_SANITIZE=ON
ASAN_OPTIONS=allocator_may_return_null=1:detect_leaks=1 \
    LSAN_OPTIONS=suppressions=$VELDTRA_ROOT/tests/lsan.supp \
    UBSAN_OPTIONS=halt_on_error=1:print_stacktrace=1 \
    ctest --test-dir "$VELDTRA_ROOT/build-sanitize" --output-on-failure -j "$(nproc)"
