#!/usr/bin/env bash
# Measures the running agent on a private headless sway (wlroots) with two 1440x900 outputs,
# where the overlay is a layer-shell surface per output: CPU seconds of the agent (and of sway
# beside it), resident and proportional memory over 60 seconds at stage 5 with nothing
# changing, and at stage 2 with the level creeping at every tick (so a picture is drawn at
# every tick). sway refuses to run as root: as root, it runs as the unprivileged user
# orbeltest, created when missing, as the tests do. Reports figures; passes or fails nothing.
# Usage: bash bench/app/measure_agent_sway.sh [path/to/orbel-lite] [seconds]
set -euo pipefail
exe="$(realpath "${1:-build/orbel-lite}")"
seconds="${2:-60}"
tick=$(getconf CLK_TCK)

user=$(id -un)
if [ "$(id -u)" = 0 ]; then
  user=orbeltest
  id "$user" >/dev/null 2>&1 ||
    useradd --system --no-create-home --home-dir /nonexistent --shell /usr/sbin/nologin "$user"
fi
as_user() { if [ "$(id -u)" = 0 ]; then runuser -u "$user" -- "$@"; else "$@"; fi; }

. "$(dirname "$(realpath "$0")")/scratch.sh"
scratch measure-sway
chmod 755 "$root"

mkdir -p "$root/run" "$root/home" "$root/config/Orbel Lite"
cp "$exe" "$root/orbel-lite" # the user may not reach the build tree
chmod 755 "$root/orbel-lite"
printf '%s\n' 'xwayland enable' 'output HEADLESS-1 resolution 1440x900' 'default_border none' \
  "exec sh -c 'echo \"\$WAYLAND_DISPLAY \$DISPLAY\" > $root/home/session'" >"$root/sway.conf"
chown -R "$user" "$root/run" "$root/home" "$root/config"
chmod 700 "$root/run"
export XDG_RUNTIME_DIR="$root/run" HOME="$root/home" XDG_CONFIG_HOME="$root/config" XDG_CURRENT_DESKTOP=sway
unset WAYLAND_DISPLAY DISPLAY DBUS_SESSION_BUS_ADDRESS QT_QPA_PLATFORM || true

setsid env WLR_BACKENDS=headless WLR_LIBINPUT_NO_DEVICES=1 WLR_RENDERER=pixman \
  runuser -u "$user" -- sway -c "$root/sway.conf" >"$root/sway.log" 2>&1 &
pids+=($!)
for _ in $(seq 100); do [ -s "$root/home/session" ] && break; sleep 0.2; done
read -r WAYLAND_DISPLAY DISPLAY <"$root/home/session"
export WAYLAND_DISPLAY DISPLAY
SWAYSOCK=$(ls "$root"/run/sway-ipc.* | head -1)
export SWAYSOCK
as_user swaymsg create_output >/dev/null
as_user swaymsg output HEADLESS-2 resolution 1440x900 >/dev/null
sway_pid=$(pgrep -u "$user" -x sway | head -1)

settings() { # workMin stageEveryMin holdSec: with a hold beyond reach every second counts as work
  rm -f "$XDG_CONFIG_HOME/Orbel Lite/state.json"
  printf '{"adaptive":false,"workMin":%s,"breakMin":1e6,"stageEveryMin":%s,"holdSec":%s,"easeAfterSec":1e9,"easeRate":2,"grantMin":15,"maxGrantsPerDay":2,"reasonMinChars":15,"cooldownSec":20,"pausedUntil":0,"wakeTs":0}' \
    "$1" "$2" "$3" >"$XDG_CONFIG_HOME/Orbel Lite/config.json"
  chown -R "$user" "$XDG_CONFIG_HOME"
}

measure() {
  local label="$1" warm="$2"
  setsid runuser -u "$user" -- env XDG_CONFIG_HOME="$XDG_CONFIG_HOME" "$root/orbel-lite" \
    >"$root/agent-$label.log" 2>&1 &
  local launcher=$!
  sleep 2
  # Idle notifications tell nothing of the time before the agent asked: it counts no work until
  # it has seen input once.
  as_user wtype x
  local pid; pid=$(pgrep -u "$user" -f "^$root/orbel-lite" | head -1)
  sleep "$warm"
  local c0 s0 c1 s1
  c0=$(cpu "$pid"); s0=$(cpu "$sway_pid")
  sleep "$seconds"
  c1=$(cpu "$pid"); s1=$(cpu "$sway_pid")
  local grey
  as_user grim "$root/home/shot.png"
  grey=$(convert "$root/home/shot.png" -colorspace Gray -format '%[fx:round(mean*255)]' info:)
  printf '%-13s cpu %.2f s over %s s (sway %.2f s)   rss %s KiB   pss %s KiB   mean grey of both outputs %s\n' \
    "$label" "$(awk -v a="$c0" -v b="$c1" -v t="$tick" 'BEGIN {print (b - a) / t}')" "$seconds" \
    "$(awk -v a="$s0" -v b="$s1" -v t="$tick" 'BEGIN {print (b - a) / t}')" "$(kib "$pid" Rss)" "$(kib "$pid" Pss)" "$grey"
  kill "$pid"; wait "$launcher" 2>/dev/null || true
}

settings 1 0.001 1e12 # overtime after one minute, stage 5 a moment later
measure stage5-still 65
settings 1 1.5 1e12   # stages of 90 seconds: stage 2 from second 150 to 240
measure stage2-creep 155
grep -h "overlay" "$root"/agent-*.log | sort -u | head -2 || true
