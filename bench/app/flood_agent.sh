#!/usr/bin/env bash
# Floods the running agent's control interface on a private X server and session bus: COUNT calls
# of each method (Status, Pause, Resume, Override, Settings), then calls with arguments no method
# takes (small ones, and three of 100 MB at once). After each flood it reports the agent's
# resident memory, its CPU time so far, the windows it has open and whether --status still
# answers; at the end how long --quit takes with the prompt and the settings window open.
# Reports figures; passes or fails nothing.
# Usage: bash bench/app/flood_agent.sh [path/to/orbel-lite] [count]
set -euo pipefail
exe="$(realpath "${1:-build/orbel-lite}")"
count="${2:-10000}"
here="$(dirname "$(realpath "$0")")"
tick=$(getconf CLK_TCK)

. "$(dirname "$(realpath "$0")")/scratch.sh"
scratch flood

mkdir -p "$root/run" "$root/config"
chmod 700 "$root/run"
export HOME="$root" XDG_CONFIG_HOME="$root/config" XDG_RUNTIME_DIR="$root/run"
unset WAYLAND_DISPLAY QT_QPA_PLATFORM || true

exec 5<> <(:)
setsid Xvfb -displayfd 5 -screen 0 1440x900x24 -nolisten tcp -noreset >"$root/xvfb.log" 2>&1 &
pids+=($!)
read -r -t 20 display <&5
export DISPLAY=":$display"
setsid dbus-daemon --session --nofork --print-address=6 6>"$root/bus" >/dev/null 2>&1 &
pids+=($!)
for _ in $(seq 100); do [ -s "$root/bus" ] && break; sleep 0.05; done
export DBUS_SESSION_BUS_ADDRESS="$(head -1 "$root/bus")"

setsid "$exe" >"$root/agent.log" 2>&1 &
agent=$!
pids+=("$agent")
for _ in $(seq 200); do "$exe" --status >/dev/null 2>&1 && break; sleep 0.1; done

report() {
  local rss cpu windows status
  rss=$(awk '$1 == "VmRSS:" {print $2}' "/proc/$agent/status")
  cpu=$(awk -v t="$tick" '{printf "%.1f", ($14 + $15) / t}' "/proc/$agent/stat")
  windows=$(xdotool search --onlyvisible --pid "$agent" 2>/dev/null | wc -l || true)
  status=$(timeout 10 "$exe" --status >/dev/null 2>&1 && echo answers || echo "does not answer")
  printf '  after %s: RSS %d MiB, CPU %s s so far, %s visible windows, --status %s\n' \
    "$1" $((rss / 1024)) "$cpu" "$windows" "$status"
}

echo "orbel-lite control flood, $count calls of each method ($exe)"
report "start"
for method in Status Pause Resume Override Settings; do
  echo "  $(gjs "$here/flood_calls.js" "$method" "$count")"
  report "$method x$count"
done
echo "  $(gjs "$here/flood_calls.js" Pause 1000 x)"
echo "  $(gjs "$here/flood_calls.js" Nothing 1000)"
big=()
for i in 1 2 3; do
  gjs "$here/flood_calls.js" Override 1 100MiB >"$root/big.$i" &
  big+=($!)
done
wait "${big[@]}" || true
echo "  $(cat "$root"/big.* | tr '\n' ' ')"
report "three calls with 100 MB arguments"

# gdbus starts in a few milliseconds, unlike a Qt client, so the time is the agent's.
start=$(date +%s%N)
gdbus call --session -d org.orbellite.OrbelLite -o /org/orbellite/OrbelLite -m org.orbellite.OrbelLite.Quit \
  >/dev/null 2>&1 || true
while [ -d "/proc/$agent" ] && [ "$(awk '{print $3}' "/proc/$agent/stat" 2>/dev/null)" != Z ]; do sleep 0.002; done
end=$(date +%s%N)
printf '  Quit with the prompt and the settings window open: gone %d ms after the call\n' $(((end - start) / 1000000))
