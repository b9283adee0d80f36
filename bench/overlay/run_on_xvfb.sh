#!/usr/bin/env bash
# Runs the overlay benchmark against a private Xvfb with one 1440 x 900 screen, with picom as
# the compositor unless NO_COMPOSITOR=1. Usage: bash bench/overlay/run_on_xvfb.sh BUILD_DIR [args]
set -euo pipefail
build="${1:-build}"
shift || true
tmp="$(mktemp -d)"
cleanup() {
  [ -n "${compositor:-}" ] && kill "$compositor" 2>/dev/null || true
  [ -n "${server:-}" ] && kill "$server" 2>/dev/null || true
  rm -rf "$tmp"
}
trap cleanup EXIT
Xvfb -displayfd 1 -screen 0 1440x900x24 -nolisten tcp -noreset -wr > "$tmp/display" 2> "$tmp/xvfb.log" &
server=$!
for _ in $(seq 200); do [ -s "$tmp/display" ] && break; sleep 0.05; done
export DISPLAY=":$(head -n1 "$tmp/display")" QT_QPA_PLATFORM=xcb XDG_RUNTIME_DIR="$tmp"
if [ "${NO_COMPOSITOR:-0}" != 1 ]; then
  picom --backend xrender --no-fading-openclose --config /dev/null > "$tmp/picom.log" 2>&1 &
  compositor=$!
fi
"$build/bench/overlay/overlay_bench" "$@"
