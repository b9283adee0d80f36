#!/usr/bin/env bash
# Measures the running agent on a private headless GNOME Shell 43 with two 1440x900 monitors,
# with our extension drawing the overlay and without it: how blurred a window's edge is under
# the overlay at stages 1, 3 and 5 (pixels of a row across the edge that lie clearly between
# its two sides: 0 or 1 is sharp), and over 60 seconds at stage 5 with nothing changing, the
# CPU seconds of the agent and of gnome-shell, the agent's resident and proportional memory
# and gnome-shell's proportional memory, and the calls the agent made to the extension. A
# test-only extension puts the shell in unsafe mode for the screenshots. Reports figures;
# passes or fails nothing.
# Usage: bash bench/app/measure_agent_gnome.sh [build folder] [seconds]
set -euo pipefail
build="$(realpath "${1:-build}")"
seconds="${2:-60}"
exe="$build/orbel-lite"
extension="$build/shell/gnome/imports/orbel-lite@orbellite.org"
window="$build/tests/support/wl_window"
tick=$(getconf CLK_TCK)

. "$(dirname "$(realpath "$0")")/scratch.sh"
scratch measure-gnome

seconds_of() { awk -v a="$1" -v b="$2" -v t="$tick" 'BEGIN {printf "%.2f", (b - a) / t}'; }

# One shell; with_extension is "yes" or "no".
start_shell() {
  local with_extension="$1"
  rm -rf "$root/session"
  mkdir -p "$root/session/run" "$root/session/home/.config/glib-2.0/settings"
  chmod 700 "$root/session/run"
  local extensions="$root/session/home/.local/share/gnome-shell/extensions"
  mkdir -p "$extensions/orbel-measure-unsafe@orbellite.org"
  printf '{"uuid": "orbel-measure-unsafe@orbellite.org", "name": "unsafe", "description": "screenshots", "shell-version": ["43"]}' \
    >"$extensions/orbel-measure-unsafe@orbellite.org/metadata.json"
  printf 'function init() { return {enable() { global.context.unsafe_mode = true; }, disable() {}}; }\n' \
    >"$extensions/orbel-measure-unsafe@orbellite.org/extension.js"
  local enabled="'orbel-measure-unsafe@orbellite.org'"
  if [ "$with_extension" = yes ]; then
    ln -s "$extension" "$extensions/orbel-lite@orbellite.org"
    enabled="$enabled, 'orbel-lite@orbellite.org'"
  fi
  printf '[org/gnome/shell]\nenabled-extensions=[%s]\ndisable-extension-version-validation=true\n' "$enabled" \
    >"$root/session/home/.config/glib-2.0/settings/keyfile"
  export XDG_RUNTIME_DIR="$root/session/run" HOME="$root/session/home" XDG_CONFIG_HOME="$root/session/home/.config"
  export GSETTINGS_BACKEND=keyfile XDG_CURRENT_DESKTOP=GNOME XDG_SESSION_TYPE=wayland
  unset WAYLAND_DISPLAY DISPLAY QT_QPA_PLATFORM || true
  export DBUS_SESSION_BUS_ADDRESS="unix:path=$XDG_RUNTIME_DIR/bus"
  setsid dbus-daemon --session --nofork --address="$DBUS_SESSION_BUS_ADDRESS" >/dev/null 2>&1 &
  pids+=($!)
  setsid dbus-daemon --session --nofork --address="unix:path=$XDG_RUNTIME_DIR/system_bus" >/dev/null 2>&1 &
  pids+=($!)
  sleep 0.5
  setsid env DBUS_SYSTEM_BUS_ADDRESS="unix:path=$XDG_RUNTIME_DIR/system_bus" gnome-shell --headless --wayland \
    --virtual-monitor 1440x900 --virtual-monitor 1440x900 --wayland-display=gnome-measure >"$root/shell.log" 2>&1 &
  shell_pid=$!
  pids+=($shell_pid)
  for _ in $(seq 150); do grep -q "GNOME Shell started" "$root/shell.log" && break; sleep 0.2; done
  for _ in $(seq 50); do evaluate 'Main.overview.hide(); Main.messageTray.bannerBlocked = true; 1' | grep -q true && break; sleep 0.2; done
  export WAYLAND_DISPLAY=gnome-measure
  DISPLAY=$(grep -o 'Using public X11 display :[0-9]*' "$root/shell.log" | grep -o ':[0-9]*' | head -1)
  XAUTHORITY=$(ls -t "$XDG_RUNTIME_DIR"/.mutter-Xwaylandauth.* | head -1)
  export DISPLAY XAUTHORITY
  setsid "$window" org.example.editor 16777215 >/dev/null 2>&1 &
  pids+=($!)
  for _ in $(seq 50); do evaluate "global.display.focus_window?.get_wm_class() ?? ''" | grep -q editor && break; sleep 0.2; done
}

stop_shell() {
  for p in "${pids[@]}"; do kill -- -"$p" 2>/dev/null || kill "$p" 2>/dev/null || true; done
  wait 2>/dev/null || true
  pids=()
}

evaluate() {
  gdbus call --session -d org.gnome.Shell -o /org/gnome/Shell -m org.gnome.Shell.Eval "$1" 2>/dev/null || true
}

number() { evaluate "$1" | sed -n "s/^(true, '\\(-\\?[0-9.]*\\)')$/\\1/p"; }

# Settings where every second counts as work, and a block kept from a moment ago at a level
# (one stage per hour, so the level stays where it is put while the figures are taken).
start_agent() {
  local level="$1"
  mkdir -p "$root/config/Orbel Lite"
  printf '{"adaptive":false,"workMin":1,"breakMin":1e6,"stageEveryMin":60,"holdSec":1e12,"easeAfterSec":1e12,"easeRate":2,"grantMin":15,"maxGrantsPerDay":2,"reasonMinChars":15,"cooldownSec":20,"pausedUntil":0,"wakeTs":0}' \
    >"$root/config/Orbel Lite/config.json"
  local over; over=$(awk -v l="$level" 'BEGIN {print l * 3600}')
  printf '{"day":"%s","savedAt":%s,"activeSec":%s,"overSec":%s,"focusTodaySec":0,"grantUntil":0,"workMin":1,"breakMin":1e6,"grantsToday":0}' \
    "$(date +%Y-%m-%d)" "$(date +%s)" "$(awk -v o="$over" 'BEGIN {print o + 60}')" "$over" \
    >"$root/config/Orbel Lite/state.json"
  setsid env XDG_CONFIG_HOME="$root/config" "$exe" >"$root/agent.log" 2>&1 &
  agent_pid=$!
  sleep 4
}

stop_agent() { kill "$agent_pid" 2>/dev/null || true; wait "$agent_pid" 2>/dev/null || true; }

# Pixels of one row across the window's left edge (above the card) that lie clearly between
# its two sides.
softness() {
  local x y
  x=$(number "global.display.focus_window.get_frame_rect().x")
  y=$(number "global.display.focus_window.get_frame_rect().y + global.display.focus_window.get_frame_rect().height / 4")
  evaluate "1" >/dev/null
  gdbus call --session -d org.gnome.Shell.Screenshot -o /org/gnome/Shell/Screenshot \
    -m org.gnome.Shell.Screenshot.Screenshot false false "$root/shot.png" >/dev/null
  convert "$root/shot.png" -crop "81x1+$((${x%.*} - 40))+${y%.*}" -alpha off -colorspace Gray -depth 8 txt:- |
    awk -F'[(),]' 'NR > 1 {g[NR - 1] = $3 + 0} END {
      lo = (g[1] < g[81] ? g[1] : g[81]) + 8; hi = (g[1] > g[81] ? g[1] : g[81]) - 8; n = 0
      for (i = 1; i <= 81; i++) if (g[i] > lo && g[i] < hi) n++
      print n }'
}

for with_extension in yes no; do
  start_shell "$with_extension"
  for stage_level in "1 0.9" "3 2.9" "5 5"; do
    set -- $stage_level
    start_agent "$2"
    printf 'extension %-3s stage %s (level %s): edge softness %s px\n' "$with_extension" "$1" "$2" "$(softness)"
    stop_agent
  done
  start_agent 5
  sleep 5
  monitor_log="$root/monitor.log"
  setsid dbus-monitor --session "interface='org.orbellite.OrbelLite.Shell'" >"$monitor_log" 2>&1 &
  monitor=$!
  sleep 1
  c0=$(cpu "$agent_pid"); s0=$(cpu "$shell_pid")
  sleep "$seconds"
  c1=$(cpu "$agent_pid"); s1=$(cpu "$shell_pid")
  kill "$monitor" 2>/dev/null || true
  calls=$(grep '^method call' "$monitor_log" | grep -o 'member=[A-Za-z]*' | sort | uniq -c | xargs || true)
  printf 'extension %-3s stage 5 still: agent cpu %s s over %s s, rss %s KiB, pss %s KiB; gnome-shell cpu %s s, pss %s KiB; calls to the extension: %s\n' \
    "$with_extension" "$(seconds_of "$c0" "$c1")" "$seconds" "$(kib "$agent_pid" Rss)" "$(kib "$agent_pid" Pss)" \
    "$(seconds_of "$s0" "$s1")" "$(kib "$shell_pid" Pss)" "$calls"
  grep -h "orbel-lite:" "$root/agent.log" | head -3
  stop_agent
  c0=$(cpu "$shell_pid"); sleep "$seconds"; c1=$(cpu "$shell_pid")
  printf 'extension %-3s no agent: gnome-shell cpu %s s over %s s, pss %s KiB\n' "$with_extension" \
    "$(seconds_of "$c0" "$c1")" "$seconds" "$(kib "$shell_pid" Pss)"
  stop_shell
done
