#!/usr/bin/env bash
# Measures the running agent on a private X server with two screens and a compositor:
# CPU seconds, resident and proportional memory over 60 seconds at stage 0 and at stage 5, and
# the wall time of --smoke. Reports figures; passes or fails nothing.
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
for s in 0 1; do spawn "picom$s" picom --backend xrender --no-fading-openclose -d ":$display.$s"; done
sleep 2

settings() { # workMin stageEveryMin holdSec
  mkdir -p "$XDG_CONFIG_HOME/Orbel Lite"
  # Each run starts a fresh block: no state kept by the run before.
  rm -f "$XDG_CONFIG_HOME/Orbel Lite/state.json"
  printf '{"adaptive":false,"workMin":%s,"breakMin":5,"stageEveryMin":%s,"holdSec":%s,"easeAfterSec":1e9,"easeRate":2,"grantMin":15,"maxGrantsPerDay":2,"reasonMinChars":15,"cooldownSec":20,"pausedUntil":0,"wakeTs":0}' \
    "$1" "$2" "$3" >"$XDG_CONFIG_HOME/Orbel Lite/config.json"
}

cpu() { awk '{print $14 + $15}' "/proc/$1/stat"; }
kib() { awk -v k="$2" '$1 == k":" {print $2}' "/proc/$1/smaps_rollup"; }

# Runs the agent, waits warm seconds, then reports CPU and memory over the measured seconds.
measure() {
  local label="$1" warm="$2"
  "$exe" >"$root/agent-$label.log" 2>&1 &
  local pid=$!
  sleep "$warm"
  local c0; c0=$(cpu "$pid")
  sleep "$seconds"
  local c1; c1=$(cpu "$pid")
  # What the screens show at the end: mean grey of each (white when nothing covers them).
  local grey=""
  for s in 0 1; do
    grey+=" $(import -display "$DISPLAY.$s" -window root png:- 2>/dev/null |
      convert png:- -colorspace Gray -format '%[fx:round(mean*255)]' info: 2>/dev/null || echo '?')"
  done
  printf '%-8s cpu %.2f s over %s s   rss %s KiB   pss %s KiB   screen grey%s\n' "$label" \
    "$(awk -v a="$c0" -v b="$c1" -v t="$tick" 'BEGIN {print (b - a) / t}')" "$seconds" "$(kib "$pid" Rss)" "$(kib "$pid" Pss)" "$grey"
  kill "$pid"; wait "$pid" 2>/dev/null || true
}

screens=$("$exe" --smoke 2>/dev/null | sed -n 's/.*, \([0-9]*\) screens/\1/p')
echo "screens seen by the agent: $screens"

settings 50 2 120                  # a 50-minute block: no overlay for the whole run
measure stage0 5
settings 1 0.001 1e12              # every second counts as active; overtime after one minute
measure stage5 65
grep -h "stage\|idle" "$root"/agent-*.log | sort -u | head -5 || true

# Quit: from SIGTERM (which takes the quit command's path: save, then leave the event loop)
# to the end of the process, median of 5 runs; once as is, once with font caches that
# fontconfig would have to rebuild, as on a desktop whose caches are stale.
quit_ms() {
  local times=() t0 t1 pid
  for _ in 1 2 3 4 5; do
    if [ -n "${fc_conf:-}" ]; then
      rm -rf "$root/fc-cache"
      FONTCONFIG_FILE="$fc_conf" "$exe" >"$root/agent-quit.log" 2>&1 &
    else
      "$exe" >"$root/agent-quit.log" 2>&1 &
    fi
    pid=$!
    sleep 3
    t0=$(date +%s%N); kill -TERM "$pid"; wait "$pid" 2>/dev/null || true; t1=$(date +%s%N)
    times+=($(( (t1 - t0) / 1000000 )))
  done
  printf '%s\n' "${times[@]}" | sort -n | sed -n 3p
}
settings 50 2 120
printf 'quit     %s ms from SIGTERM to exit (median of 5)\n' "$(quit_ms)"
printf '%s\n' '<?xml version="1.0"?>' '<!DOCTYPE fontconfig SYSTEM "urn:fontconfig:fonts.dtd">' \
  "<fontconfig><dir>/usr/share/fonts</dir><cachedir>$root/fc-cache</cachedir>" \
  '<include ignore_missing="yes">/etc/fonts/conf.d</include></fontconfig>' >"$root/fonts.conf"
fc_conf="$root/fonts.conf"
printf 'quit     %s ms from SIGTERM to exit with stale font caches (median of 5)\n' "$(quit_ms)"
unset fc_conf

start=$(date +%s.%N)
runs=10
for _ in $(seq $runs); do "$exe" --smoke >/dev/null 2>&1; done
end=$(date +%s.%N)
printf 'smoke    %.0f ms wall per run (mean of %d)\n' \
  "$(awk -v a="$start" -v b="$end" -v n="$runs" 'BEGIN {print (b - a) * 1000 / n}')" "$runs"
