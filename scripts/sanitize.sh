#!/usr/bin/env bash
# Builds with AddressSanitizer and UndefinedBehaviorSanitizer and runs the unit tests there.
# Usage: bash scripts/sanitize.sh [build-dir]
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/deps.sh

build="${1:-build-sanitize}"
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Debug -DORBEL_WERROR=ON -DORBEL_SANITIZE=ON \
  -DORBEL_BENCHMARKS=OFF
cmake --build "$build"
export ASAN_OPTIONS="detect_leaks=1:abort_on_error=1:strict_string_checks=1"
export UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1"
ctest --test-dir "$build" --output-on-failure -j "$(nproc)" -L unit --timeout 900
