#!/usr/bin/env bash
# Measures the running agent on a private X server with two screens and a compositor:
# CPU seconds (the agent's, and the X server's and compositors' beside it), resident and
# proportional memory over 60 seconds at stage 0, at stage 5 with nothing changing below, and
# at stage 2 with a terminal below that scrolls all the time; then the wall time of --smoke.
# Reports figures; passes or fails nothing.
# Usage: bash bench/app/measure_agent.sh [path/to/orbel-lite] [seconds]
set -euo pipefail
exe="$(realpath "${1:-build/orbel-lite}")"
seconds="${2:-60}"
tick=$(getconf CLK_TCK)

root=$(mktemp -d /tmp/orbel-measure-XXXXXX)
pids=()
cleanup() {
  for p in "${pids[@]}"; do kill -- -"$p" 2>/dev/null || kill "$p" 2>/dev/null || true; done
  wait 2>/dev/null || true
  rm -rf "$root"
}
trap cleanup EXIT

# Starts a command in its own process group, output to a log.
spawn() {
  local log="$1"; shift
  setsid "$@" >"$root/$log.log" 2>&1 &
  pids+=($!)
}

mkdir -p "$root/run" "$root/config"
chmod 700 "$root/run"
export HOME="$root" XDG_CONFIG_HOME="$root/config" XDG_RUNTIME_DIR="$root/run"
unset WAYLAND_DISPLAY DBUS_SESSION_BUS_ADDRESS QT_QPA_PLATFORM || true

exec 5<> <(:)
setsid Xvfb -displayfd 5 -screen 0 1440x900x24 -screen 1 1440x900x24 -wr -nolisten tcp -noreset \
  >"$root/xvfb.log" 2>&1 &
pids+=($!)
read -r -t 20 display <&5
export DISPLAY=":$display"
# picom takes its screen from DISPLAY only (it has no option for it).
for s in 0 1; do spawn "picom$s" env DISPLAY=":$display.$s" picom --backend xrender --no-fading-openclose; done
sleep 2
server_pids() { echo "${pids[@]:0:3}"; } # Xvfb and the two picoms

# Nobody touches this server, so idle time only grows: a break of a million minutes keeps the
# idle time from ever counting as a whole break, which would clear the overtime mid-run.
settings() { # workMin stageEveryMin holdSec
  mkdir -p "$XDG_CONFIG_HOME/Orbel Lite"
  printf '{"adaptive":false,"workMin":%s,"breakMin":1e6,"stageEveryMin":%s,"holdSec":%s,"easeAfterSec":1e9,"easeRate":2,"grantMin":15,"maxGrantsPerDay":2,"reasonMinChars":15,"cooldownSec":20,"pausedUntil":0,"wakeTs":0}' \
    "$1" "$2" "$3" >"$XDG_CONFIG_HOME/Orbel Lite/config.json"
}

cpu() { awk '{print $14 + $15}' "/proc/$1/stat"; }
cpus() { local t=0; for p in "$@"; do t=$((t + $(cpu "$p" 2>/dev/null || echo 0))); done; echo "$t"; }
kib() { awk -v k="$2" '$1 == k":" {print $2}' "/proc/$1/smaps_rollup"; }

# Runs the agent, waits warm seconds, then reports CPU and memory over the measured seconds.
measure() {
  local label="$1" warm="$2"
  "$exe" >"$root/agent-$label.log" 2>&1 &
  local pid=$!
  sleep "$warm"
  local servers; servers=$(server_pids)
  local c0; c0=$(cpu "$pid")
  local s0; s0=$(cpus $servers)
  sleep "$seconds"
  local c1; c1=$(cpu "$pid")
  local s1; s1=$(cpus $servers)
  # What the screens show at the end: mean grey of each (white when nothing covers them).
  local grey=""
  for s in 0 1; do
    grey+=" $(import -display "$DISPLAY.$s" -window root png:- 2>/dev/null |
      convert png:- -colorspace Gray -format '%[fx:round(mean*255)]' info: 2>/dev/null || echo '?')"
  done
  printf '%-13s cpu %.2f s over %s s (X server and compositors %.2f s)   rss %s KiB   pss %s KiB   screen grey%s\n' \
    "$label" "$(awk -v a="$c0" -v b="$c1" -v t="$tick" 'BEGIN {print (b - a) / t}')" "$seconds" \
    "$(awk -v a="$s0" -v b="$s1" -v t="$tick" 'BEGIN {print (b - a) / t}')" "$(kib "$pid" Rss)" "$(kib "$pid" Pss)" "$grey"
  kill "$pid"; wait "$pid" 2>/dev/null || true
}

screens=$("$exe" --smoke 2>/dev/null | sed -n 's/.*, \([0-9]*\) screens/\1/p')
echo "screens seen by the agent: $screens"

settings 50 2 120                  # a 50-minute block: no overlay for the whole run
measure stage0 5
settings 1 0.001 1e12              # every second counts as active; overtime after one minute
measure stage5-still 65
# A block of one minute and stages of 90 seconds: stage 2 from second 150 to 240, the level
# creeping at every tick, over a terminal on each screen that scrolls all the time.
for s in 0 1; do
  spawn "term$s" xterm -display ":$display.$s" -geometry 200x60+0+0 \
    -e sh -c 'while :; do date; ls -l /usr/bin | head -40; sleep 0.05; done'
done
settings 1 1.5 1e12
measure stage2-scroll 165
grep -h "stage\|idle" "$root"/agent-*.log | sort -u | head -5 || true

start=$(date +%s.%N)
runs=10
for _ in $(seq $runs); do "$exe" --smoke >/dev/null 2>&1; done
end=$(date +%s.%N)
printf 'smoke    %.0f ms wall per run (mean of %d)\n' \
  "$(awk -v a="$start" -v b="$end" -v n="$runs" 'BEGIN {print (b - a) * 1000 / n}')" "$runs"
