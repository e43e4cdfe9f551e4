#!/usr/bin/env bash
# Builds everything and runs every test through CTest, then builds the unit
# tests again with AddressSanitizer + UndefinedBehaviorSanitizer and runs them.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh
jobs=$(nproc)

cmake -S . -B build -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build build -j "$jobs"

cmake -S . -B build-asan -DCMAKE_BUILD_TYPE=Debug -DICP_SANITIZE=ON -DICP_BUILD_BENCH=OFF >/dev/null
cmake --build build-asan -j "$jobs"

export ASAN_OPTIONS=detect_leaks=1:abort_on_error=1
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
(cd build-asan && ctest --output-on-failure -j "$jobs" -LE script)
cd build && ctest --output-on-failure -j "$jobs"
