#!/usr/bin/env bash
# Builds the settings-decoder fuzz target with clang (libFuzzer, AddressSanitizer and
# UndefinedBehaviorSanitizer) and runs it for a bounded time over the committed seeds.
# Usage: bash scripts/fuzz.sh [seconds] [build-dir]      (default 60 seconds, build-fuzz)
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/deps.sh

seconds="${1:-${FUZZ_SECONDS:-60}}"
build="${2:-build-fuzz}"

if ! command -v clang++ >/dev/null 2>&1; then
  echo "fuzz: clang++ is not installed; the settings decoder was not fuzzed"
  exit 0
fi
probe="$(mktemp -d)"
trap 'rm -rf "$probe"' EXIT
printf 'extern "C" int LLVMFuzzerTestOneInput(const unsigned char*, unsigned long) { return 0; }\n' \
  >"$probe/probe.cpp"
if ! clang++ -fsanitize=fuzzer "$probe/probe.cpp" -o "$probe/probe" >/dev/null 2>&1; then
  echo "fuzz: clang++ has no libFuzzer runtime; the settings decoder was not fuzzed"
  exit 0
fi

# Coverage instrumentation for every library the target links, not only for the target itself.
flags="-fsanitize=fuzzer-no-link,address,undefined -fno-sanitize-recover=undefined -fno-omit-frame-pointer"
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_CXX_COMPILER=clang++ \
  -DCMAKE_CXX_FLAGS="$flags" -DCMAKE_EXE_LINKER_FLAGS="-fsanitize=address,undefined" \
  -DORBEL_DESKTOP=OFF -DORBEL_BENCHMARKS=OFF -DORBEL_TESTS=ON -DORBEL_FUZZ=ON -DORBEL_WERROR=ON >/dev/null
cmake --build "$build" --target settings_fuzz

# The fuzzer adds what it finds to a scratch corpus in the build directory; the committed seeds
# stay as they are.
corpus="$build/settings_corpus"
mkdir -p "$corpus"
log="$build/settings_fuzz.log"
status=0
"$build/tests/storage/settings_fuzz" -max_total_time="$seconds" -print_final_stats=1 \
  -dict=tests/storage/fuzz_settings.dict "$corpus" tests/storage/fuzz_seeds >"$log" 2>&1 || status=$?

runs="$(grep -oE 'stat::number_of_executed_units: *[0-9]+' "$log" | grep -oE '[0-9]+$' || true)"
took="$(grep -oE 'Done [0-9]+ runs in [0-9]+ second' "$log" | grep -oE 'in [0-9]+' | grep -oE '[0-9]+' || true)"
if [ "$status" -ne 0 ]; then
  tail -n 60 "$log"
  echo "fuzz: settings decoder FAILED after ${runs:-?} executions (exit status $status); see $log"
  exit "$status"
fi
echo "fuzz: settings decoder ran ${runs:-?} executions in ${took:-?} seconds without a fault" \
  "(corpus: $(ls "$corpus" | wc -l) files)"
