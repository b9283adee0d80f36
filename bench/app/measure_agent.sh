#!/usr/bin/env bash
# Measures the running agent on a private X server with two screens and a compositor:
# CPU seconds (the agent's, and the X server's and compositors' beside it), resident and
# proportional memory over 60 seconds at stage 0 (with no tray, in an XEmbed tray, and as a
# StatusNotifierItem in xfce4-panel on a private session bus, where it also counts the D-Bus
# messages the agent sends), at stage 5 with nothing changing below, and at stage 2 with a
# terminal below that scrolls all the time; then the time quit takes and the wall time of --smoke.
# Reports figures; passes or fails nothing.
# Usage: bash bench/app/measure_agent.sh [path/to/orbel-lite] [seconds]
set -euo pipefail
exe="$(realpath "${1:-build/orbel-lite}")"
seconds="${2:-60}"
tick=$(getconf CLK_TCK)

. "$(dirname "$(realpath "$0")")/scratch.sh"
scratch measure

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
  # Each run starts a fresh block: no state kept by the run before.
  rm -f "$XDG_CONFIG_HOME/Orbel Lite/state.json"
  printf '{"adaptive":false,"workMin":%s,"breakMin":1e6,"stageEveryMin":%s,"holdSec":%s,"easeAfterSec":1e9,"easeRate":2,"grantMin":15,"maxGrantsPerDay":2,"reasonMinChars":15,"cooldownSec":20,"pausedUntil":0,"wakeTs":0}' \
    "$1" "$2" "$3" >"$XDG_CONFIG_HOME/Orbel Lite/config.json"
}

cpus() { local t=0; for p in "$@"; do t=$((t + $(cpu "$p" 2>/dev/null || echo 0))); done; echo "$t"; }

# Runs the agent, waits warm seconds, then reports CPU and memory over the measured seconds.
# With a session bus, also the messages the agent sent meanwhile (signals, and answers to the
# host's questions), per minute.
measure() {
  local label="$1" warm="$2"
  "$exe" >"$root/agent-$label.log" 2>&1 &
  local pid=$!
  sleep "$warm"
  local monitor="" owner=""
  if [ -n "${DBUS_SESSION_BUS_ADDRESS:-}" ]; then
    # The agent's connection: the one that holds its tray item's name.
    local item
    item=$(dbus-send --session --print-reply --dest=org.freedesktop.DBus /org/freedesktop/DBus \
      org.freedesktop.DBus.ListNames | grep -o "org.kde.StatusNotifierItem-$pid-[0-9]*" | head -1 || true)
    owner=$(dbus-send --session --print-reply --dest=org.freedesktop.DBus /org/freedesktop/DBus \
      org.freedesktop.DBus.GetNameOwner "string:$item" 2>/dev/null | sed -n 's/.*string "\(.*\)"/\1/p' || true)
    dbus-monitor --session >"$root/monitor-$label.log" 2>&1 &
    monitor=$!
  fi
  local servers; servers=$(server_pids)
  local c0; c0=$(cpu "$pid")
  local s0; s0=$(cpus $servers)
  sleep "$seconds"
  local c1; c1=$(cpu "$pid")
  local s1; s1=$(cpus $servers)
  local bus=""
  if [ -n "$monitor" ]; then
    kill "$monitor"; wait "$monitor" 2>/dev/null || true
    local sent signals
    sent=$(grep -c "^[a-z ]*time=.* sender=$owner " "$root/monitor-$label.log" || true)
    signals=$(grep -c "^signal time=.* sender=$owner " "$root/monitor-$label.log" || true)
    bus=$(awk -v a="$sent" -v s="$signals" -v t="$seconds" 'BEGIN {printf "   dbus sent %.1f/min (signals %.1f/min)", a * 60 / t, s * 60 / t}')
    grep "^signal time=.* sender=$owner " "$root/monitor-$label.log" | sed 's/.*member=//' | sort | uniq -c |
      sed "s/^/  $label signal /" >"$root/signals-$label.txt" || true
  fi
  # What the screens show at the end: mean grey of each (white when nothing covers them).
  local grey=""
  for s in 0 1; do
    grey+=" $(import -display "$DISPLAY.$s" -window root png:- 2>/dev/null |
      convert png:- -colorspace Gray -format '%[fx:round(mean*255)]' info: 2>/dev/null || echo '?')"
  done
  printf '%-13s cpu %.2f s over %s s (X server and compositors %.2f s)   rss %s KiB   pss %s KiB   screen grey%s%s\n' \
    "$label" "$(awk -v a="$c0" -v b="$c1" -v t="$tick" 'BEGIN {print (b - a) / t}')" "$seconds" \
    "$(awk -v a="$s0" -v b="$s1" -v t="$tick" 'BEGIN {print (b - a) / t}')" "$(kib "$pid" Rss)" "$(kib "$pid" Pss)" \
    "$grey" "$bus"
  [ -f "$root/signals-$label.txt" ] && cat "$root/signals-$label.txt"
  kill "$pid"; wait "$pid" 2>/dev/null || true
}

# A private session bus with xfce4-panel (its tray owns org.kde.StatusNotifierWatcher), seeded
# so that no first-run dialog appears.
start_panel() {
  local channel="$XDG_CONFIG_HOME/xfce4/xfconf/xfce-perchannel-xml"
  mkdir -p "$channel"
  cp /etc/xdg/xfce4/panel/default.xml "$channel/xfce4-panel.xml"
  setsid dbus-daemon --session --nofork --print-address=1 >"$root/bus.addr" 2>"$root/bus.log" &
  pids+=($!)
  for _ in $(seq 100); do [ -s "$root/bus.addr" ] && break; sleep 0.1; done
  export DBUS_SESSION_BUS_ADDRESS; DBUS_SESSION_BUS_ADDRESS=$(head -1 "$root/bus.addr")
  spawn panel xfce4-panel --disable-wm-check
  for _ in $(seq 60); do
    dbus-send --session --print-reply --dest=org.kde.StatusNotifierWatcher /StatusNotifierWatcher \
      org.freedesktop.DBus.Properties.Get string:org.kde.StatusNotifierWatcher \
      string:IsStatusNotifierHostRegistered 2>/dev/null | grep -q "boolean true" && return 0
    sleep 1
  done
  echo "xfce4-panel's tray did not start" >&2
}

screens=$("$exe" --smoke 2>/dev/null | sed -n 's/.*, \([0-9]*\) screens/\1/p')
echo "screens seen by the agent: $screens"

settings 50 2 1e12                 # a 50-minute block, every second counted as work: the title
                                   # and the info line change once a minute, no overlay
measure stage0-notray 5
spawn trayer trayer --edge bottom --align right --widthtype pixel --width 200 --height 32
sleep 2
measure stage0-xembed 5
kill -- -"${pids[-1]}" 2>/dev/null || true
start_panel
measure stage0-sni 5
kill -- -"${pids[-1]}" -"${pids[-2]}" 2>/dev/null || true # the panel and its bus
unset DBUS_SESSION_BUS_ADDRESS
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
for s in 0 1; do kill -- -"${pids[-1 - s]}" 2>/dev/null || true; done # the terminals
grep -h "stage\|idle\|tray" "$root"/agent-*.log | sort -u | head -8 || true

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
