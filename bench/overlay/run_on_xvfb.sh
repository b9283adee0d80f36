#!/usr/bin/env bash
# Runs the overlay benchmark against a private Xvfb with two 1440 x 900 screens (two X screens,
# one overlay window on each), with picom as the compositor on both unless NO_COMPOSITOR=1.
# Usage: bash bench/overlay/run_on_xvfb.sh BUILD_DIR [args]
set -euo pipefail
build="${1:-build}"
shift || true
tmp="$(mktemp -d)"
pids=()
cleanup() {
  for p in "${pids[@]}"; do kill "$p" 2>/dev/null || true; done
  rm -rf "$tmp"
}
trap cleanup EXIT
Xvfb -displayfd 1 -screen 0 1440x900x24 -screen 1 1440x900x24 -nolisten tcp -noreset -wr \
  > "$tmp/display" 2> "$tmp/xvfb.log" &
pids+=($!)
for _ in $(seq 200); do [ -s "$tmp/display" ] && break; sleep 0.05; done
display=":$(head -n1 "$tmp/display")"
export DISPLAY="$display" QT_QPA_PLATFORM=xcb XDG_RUNTIME_DIR="$tmp"
if [ "${NO_COMPOSITOR:-0}" != 1 ]; then
  for s in 0 1; do
    # picom takes its screen from DISPLAY only.
    DISPLAY="$display.$s" picom --backend xrender --no-fading-openclose --config /dev/null > "$tmp/picom$s.log" 2>&1 &
    pids+=($!)
  done
  sleep 1
fi
"${BENCH:-$build/bench/overlay/overlay_bench}" "$@"
