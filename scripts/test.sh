#!/bin/sh
# Builds everything and runs every test: once optimised, once under
# AddressSanitizer and UndefinedBehaviorSanitizer; then runs each fuzz target
# for a short while (VELK_FUZZ_SECONDS each, default 20).
set -e
cd "$(dirname "$0")/.."
./scripts/setup.sh
jobs=$(nproc 2>/dev/null || echo 4)
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build build -j "$jobs"
ctest --test-dir build -j "$jobs" --output-on-failure --timeout 600
if [ "${VELK_SKIP_SANITIZE:-0}" != 1 ]; then
    cmake -S . -B build-asan -G Ninja -DCMAKE_BUILD_TYPE=Debug -DVELK_SANITIZE=ON \
          -DCMAKE_CXX_FLAGS_DEBUG="-O1 -g" >/dev/null
    cmake --build build-asan -j "$jobs"
    # The GL driver stack's own leaks are suppressed by library name; ours are not.
    ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1 \
    LSAN_OPTIONS="suppressions=$(pwd)/tests/lsan.supp:print_suppressions=0" \
        ctest --test-dir build-asan -j "$jobs" --output-on-failure --timeout 900
fi
if [ "${VELK_SKIP_FUZZ:-0}" != 1 ]; then
    ./scripts/fuzz.sh "${VELK_FUZZ_SECONDS:-20}"
fi
