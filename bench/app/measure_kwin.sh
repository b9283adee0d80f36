#!/usr/bin/env bash
# The whole agent on KDE's compositor as a user past the block meets it: a private KWin 5.27 on
# Wayland (virtual backend, XWayland, its blur effect loaded) and, where kwin_x11 is installed,
# KWin on Xvfb. For each it reports the agent's start-up line; whether a click at stage 2
# reaches a native Wayland window (Wayland only) and an X11 window beneath the overlay; and how
# blurred and darkened the edge of a white window over the desktop is at stages 1, 3 and 5: the
# grey levels of a row across the edge, above the card, and how many pixels of it lie well
# between the darkest and the brightest (1 or 2 across a sharp edge, tens across a blurred one).
# The block lasts a minute and stages 15 seconds; every second counts as work once the agent has
# seen input. KWin on X11 takes about half a minute here before it composites (its session bus
# times out starting KDE services), so the agent starts once it does. About six minutes in all.
# Reports; passes or fails nothing.
# Usage: bash bench/app/measure_kwin.sh [build dir]
set -euo pipefail
build="$(realpath "${1:-build}")"
here="$(realpath "$0")"

. "$(dirname "$(realpath "$0")")/scratch.sh"
scratch measure-kwin

mkdir -p "$root/run" "$root/home/.local/share/applications" "$root/config/Orbel Lite"
chmod 700 "$root/run"
export XDG_RUNTIME_DIR="$root/run" HOME="$root/home" XDG_CONFIG_HOME="$root/config" \
  XDG_DATA_HOME="$root/home/.local/share" XDG_CURRENT_DESKTOP=KDE
unset WAYLAND_DISPLAY DISPLAY QT_QPA_PLATFORM || true
# A block of one minute, 15-second stages, every second work (once input was seen), no easing.
printf '{"adaptive":false,"workMin":1,"breakMin":1e6,"stageEveryMin":0.25,"holdSec":1e12,"easeAfterSec":1e9,"easeRate":2,"grantMin":15,"maxGrantsPerDay":2,"reasonMinChars":15,"cooldownSec":20,"pausedUntil":0,"wakeTs":0}' \
  >"$XDG_CONFIG_HOME/Orbel Lite/config.json"

# Grey levels of a row segment: file width x y.
row() { convert "$1" -crop "$2x1+$3+$4" +repage -colorspace Gray -depth 8 gray:- | od -An -tu1 -v | tr -s ' \n' '\n\n' | grep .; }
# Grey levels of row y from x-8 to x+8, and how many of x-40..x+40 lie well between the row's
# darkest and brightest there.
edge() {
  row "$1" 81 "$(($2 - 40))" "$3" | awk '{ g[n++] = $1 }
    END { lo = 255; hi = 0; for (i = 0; i < n; i++) { if (g[i] < lo) lo = g[i]; if (g[i] > hi) hi = g[i] }
          w = 0; for (i = 0; i < n; i++) if (g[i] > lo + (hi - lo) / 5 && g[i] < hi - (hi - lo) / 5) w++
          printf "between %2d  row", w; for (i = 32; i <= 48; i += 2) printf " %3d", g[i]; printf "\n" }'
}
# The last white x on row y left of x0: the window's right edge.
right_edge() { row "$1" "$3" 0 "$2" | awk '$1 == 255 { x = NR - 1 } END { print x }'; }
count() { grep -c "$2" "$root/$1.log" || true; }

run_agent() { # the agent, its start-up line, and input once so that it counts work
  spawn agent "$build/orbel-lite"
  sleep 3
  "$@"
  started=$(date +%s.%N)
  grep -h "blur:" "$root/agent.log" | sed "s/^/  /"
}
at() { # waits until this many seconds of overtime (the block is 60 seconds)
  local wait; wait=$(awk -v s="$started" -v n="$(($1 + 61))" -v now="$(date +%s.%N)" 'BEGIN {print s + n - now}')
  awk -v w="$wait" 'BEGIN {exit !(w > 0)}' && sleep "$wait" || true
}

wayland() {
  cp /usr/bin/kwin_wayland "$root/kwin_wayland" # the copy drops file capabilities
  printf '[Desktop Entry]\nType=Application\nName=click\nNoDisplay=true\nExec=%s\nX-KDE-Wayland-Interfaces=org_kde_kwin_fake_input\n' \
    "$build/tests/support/kwin_click" >"$XDG_DATA_HOME/applications/click.desktop"
  printf '#!/bin/sh\necho "$DISPLAY" > %s/xdisplay\n' "$root" >"$root/tell" && chmod +x "$root/tell"
  spawn kwin env KWIN_SCREENSHOT_NO_PERMISSION_CHECKS=1 "$root/kwin_wayland" --virtual --socket kwin-measure \
    --width 1280 --height 800 --xwayland "$root/tell"
  for _ in $(seq 100); do [ -s "$root/xdisplay" ] && break; sleep 0.2; done
  export WAYLAND_DISPLAY=kwin-measure DISPLAY; DISPLAY=$(cat "$root/xdisplay")
  gdbus call --session -d org.kde.KWin -o /Effects -m org.kde.kwin.Effects.loadEffect blur >/dev/null
  shot() { cp "$(gdbus call --session -d org.kde.KWin -o /Screenshot -m org.kde.kwin.Screenshot.screenshotFullscreen false |
    sed "s/^('\(.*\)',)$/\1/")" "$1"; }
  spawn native "$build/tests/support/wl_window" org.example.page 16777215
  spawn x11 xev -geometry 300x150+960+630 -event button
  sleep 3
  shot "$root/before.png"
  local y=250 x; x=$(right_edge "$root/before.png" "$y" 1000)
  echo "KWin Wayland: native window's right edge at x=$x"
  echo "  before the overlay: $(edge "$root/before.png" "$((x + 1))" "$y")"
  run_agent "$build/tests/support/kwin_click" 5 5
  at 8; shot "$root/s1.png"; echo "  stage 1 (level ~0.5): $(edge "$root/s1.png" "$((x + 1))" "$y")"
  at 27
  local n0 x0; n0=$(count native '^button'); x0=$(count x11 ButtonPress)
  "$build/tests/support/kwin_click" 500 300; "$build/tests/support/kwin_click" 1110 705
  sleep 1
  echo "  stage 2 clicks: native window $(($(count native '^button') - n0)) of 1, X11 window $(($(count x11 ButtonPress) - x0)) of 1"
  at 38; shot "$root/s3.png"; echo "  stage 3 (level ~2.5): $(edge "$root/s3.png" "$((x + 1))" "$y")"
  at 80; shot "$root/s5.png"; echo "  stage 5: $(edge "$root/s5.png" "$((x + 1))" "$y")"
}

x11() {
  exec 5<> <(:)
  spawn xvfb Xvfb -displayfd 5 -screen 0 1280x800x24 -nolisten tcp -noreset
  local d; read -r -t 20 d <&5
  export DISPLAY=":$d"
  spawn kwin kwin_x11 --replace
  for _ in $(seq 100); do gdbus call --session -d org.kde.KWin -o /Effects \
    -m org.kde.kwin.Effects.loadEffect blur >/dev/null 2>&1 && break; sleep 0.3; done
  for _ in $(seq 120); do
    gdbus call --session -d org.kde.KWin -o /Compositor -m org.freedesktop.DBus.Properties.Get \
      org.kde.kwin.Compositing active 2>/dev/null | grep -q true && break
    sleep 0.5
  done
  spawn x11 xev -geometry 400x300+200+200 -event button
  sleep 3
  shot() { import -window root "$1"; }
  shot "$root/before.png"
  local y=250 x; x=$(right_edge "$root/before.png" "$y" 1000)
  echo "KWin X11: X11 window's right edge at x=$x"
  echo "  before the overlay: $(edge "$root/before.png" "$((x + 1))" "$y")"
  run_agent xdotool mousemove 5 5 click 1
  at 8; shot "$root/s1.png"; echo "  stage 1 (level ~0.5): $(edge "$root/s1.png" "$((x + 1))" "$y")"
  at 27
  local x0; x0=$(count x11 ButtonPress)
  xdotool mousemove 400 350 click 1
  sleep 1
  echo "  stage 2 clicks: X11 window $(($(count x11 ButtonPress) - x0)) of 1"
  at 38; shot "$root/s3.png"; echo "  stage 3 (level ~2.5): $(edge "$root/s3.png" "$((x + 1))" "$y")"
  at 80; shot "$root/s5.png"; echo "  stage 5: $(edge "$root/s5.png" "$((x + 1))" "$y")"
}

case "${2:-}" in
wayland) wayland ;;
x11) x11 ;;
*)
  # KWin's session bus tries to start KDE services that cannot run here, loudly: quietened.
  dbus-run-session -- bash "$here" "$build" wayland 2>/dev/null
  if command -v kwin_x11 >/dev/null; then
    dbus-run-session -- bash "$here" "$build" x11 2>/dev/null
  else
    echo "KWin X11: kwin_x11 is not installed (Debian: kwin-x11)"
  fi
  ;;
esac
