#!/usr/bin/env bash
# Screenshots of the agent's tray item in three real hosts: xfce4-panel (on Xvfb), waybar (on a
# headless sway, run as an unprivileged user since sway refuses root) and GNOME Shell with the
# AppIndicator extension (headless). Each at 23 minutes left, at "Break now" and paused, as
# PNG files of the whole screen and of the panel's right end, four times enlarged.
# Usage: bash tools/tray_shots.sh [path/to/orbel-lite] [out-dir]   (as root, on Debian 12)
set -uo pipefail
exe="$(realpath "${1:-build/orbel-lite}")"
out="$(mkdir -p "${2:-tray-shots}" && realpath "${2:-tray-shots}")"
user=orbeltest # the tests' unprivileged user
id "$user" >/dev/null 2>&1 || useradd --system --no-create-home --home-dir /nonexistent --shell /usr/sbin/nologin "$user"

# The settings and kept state for one shot: a 50-minute block with every second counted as
# work, and the block at 23.5 minutes left, or 100 seconds past its end, or paused for an hour.
prepare() { # config-home active-sec over-sec paused-until
  mkdir -p "$1/Orbel Lite"
  printf '{"adaptive":false,"workMin":50,"breakMin":5,"stageEveryMin":2,"holdSec":1e12,"easeAfterSec":1e9,"easeRate":2,"grantMin":15,"maxGrantsPerDay":2,"reasonMinChars":15,"cooldownSec":20,"pausedUntil":%s,"wakeTs":0}' \
    "$4" >"$1/Orbel Lite/config.json"
  printf '{"day":"%s","savedAt":%s,"activeSec":%s,"overSec":%s,"focusTodaySec":0,"grantUntil":0,"grantsToday":0,"workMin":50,"breakMin":5}' \
    "$(date +%F)" "$(date +%s)" "$2" "$3" >"$1/Orbel Lite/state.json"
}

# Runs the agent in each state, takes the screen with the given command, and enlarges the
# panel's right end. Called inside each host's session.
shots() { # host crop-geometry take-command...
  local host="$1" crop="$2"; shift 2
  local state
  for state in 23min break paused; do
    case $state in
      23min) prepare "$XDG_CONFIG_HOME" 1590 0 0 ;;
      break) prepare "$XDG_CONFIG_HOME" 3100 100 0 ;;
      paused) prepare "$XDG_CONFIG_HOME" 1590 0 $(($(date +%s) + 3600)) ;;
    esac
    "$AGENT" >"$XDG_RUNTIME_DIR/agent-$state.log" 2>&1 &
    local agent=$!
    sleep 5
    "$@" "$out/$host-$state.png"
    kill "$agent"; wait "$agent" 2>/dev/null
    convert "$out/$host-$state.png" -crop "$crop" +repage -scale 400% "$out/$host-$state-tray.png"
    sleep 1
  done
}

# xfce4-panel on Xvfb, seeded so that no first-run dialog appears.
xfce() {
  local root; root=$(mktemp -d /tmp/orbel-shots-xfce-XXXXXX)
  export HOME=$root XDG_CONFIG_HOME=$root/config XDG_RUNTIME_DIR=$root/run AGENT=$exe QT_QPA_PLATFORM=xcb
  mkdir -p "$XDG_RUNTIME_DIR" "$XDG_CONFIG_HOME/xfce4/xfconf/xfce-perchannel-xml"; chmod 700 "$XDG_RUNTIME_DIR"
  cp /etc/xdg/xfce4/panel/default.xml "$XDG_CONFIG_HOME/xfce4/xfconf/xfce-perchannel-xml/xfce4-panel.xml"
  dbus-run-session -- bash -c "$(declare -f prepare shots); out=$out; $(cat <<'IN'
    exec 5<> <(:)
    Xvfb -displayfd 5 -screen 0 1280x800x24 -nolisten tcp -noreset >/dev/null 2>&1 & x=$!
    read -r -t 20 d <&5; export DISPLAY=:$d
    xfce4-panel --disable-wm-check >"$XDG_RUNTIME_DIR/panel.log" 2>&1 & p=$!
    sleep 5
    shots xfce 300x40+980+0 import -window root
    kill $p; sleep 1; kill $x
IN
)"
  rm -rf "$root"
}

# waybar with its default configuration on a headless sway, all as the unprivileged user.
waybar_on_sway() {
  local root; root=$(mktemp -d /tmp/orbel-shots-sway-XXXXXX)
  cp "$exe" "$root/orbel-lite"
  mkdir -p "$root/home/config" "$root/run" "$root/shots"; chmod 700 "$root/run"; chmod 755 "$root"
  chown -R "$user:" "$root"
  runuser -u "$user" -- env HOME="$root/home" XDG_CONFIG_HOME="$root/home/config" XDG_RUNTIME_DIR="$root/run" \
    AGENT="$root/orbel-lite" dbus-run-session -- bash -c "$(declare -f prepare shots); out=$root/shots; root=$root; $(cat <<'IN'
    printf '%s\n' 'xwayland enable' 'output HEADLESS-1 resolution 1280x800' "exec waybar >$root/waybar.log 2>&1" \
      "exec sh -c 'echo \$WAYLAND_DISPLAY \$DISPLAY >$root/session'" >"$root/sway.conf"
    WLR_BACKENDS=headless WLR_LIBINPUT_NO_DEVICES=1 WLR_RENDERER=pixman sway -c "$root/sway.conf" >"$root/sway.log" 2>&1 & s=$!
    for _ in $(seq 50); do [ -s "$root/session" ] && break; sleep 0.2; done
    read -r WAYLAND_DISPLAY DISPLAY <"$root/session"; export WAYLAND_DISPLAY DISPLAY
    sleep 3
    shots waybar 300x30+980+0 grim
    kill $s
IN
)"
  cp "$root"/shots/*.png "$out"/
  rm -rf "$root"
}

# GNOME Shell with the AppIndicator extension and a test-only extension that allows its
# screenshot call; a stand-in system bus keeps the shell from looking for a login manager.
gnome() {
  local root; root=$(mktemp -d /tmp/orbel-shots-gnome-XXXXXX)
  export HOME=$root XDG_CONFIG_HOME=$root/config XDG_RUNTIME_DIR=$root/run AGENT=$exe
  mkdir -p "$XDG_RUNTIME_DIR"; chmod 700 "$XDG_RUNTIME_DIR"
  local ext=$HOME/.local/share/gnome-shell/extensions/orbel-unsafe@test
  mkdir -p "$ext"
  echo '{"uuid": "orbel-unsafe@test", "name": "unsafe", "description": "test only", "shell-version": ["43"]}' >"$ext/metadata.json"
  printf '%s\n' 'function init() {}' 'function enable() { global.context.unsafe_mode = true; }' 'function disable() {}' >"$ext/extension.js"
  dbus-run-session -- bash -c "$(declare -f prepare shots); out=$out; $(cat <<'IN'
    dbus-daemon --session --nofork --address="unix:path=$XDG_RUNTIME_DIR/system_bus" >/dev/null 2>&1 & b=$!
    export DBUS_SYSTEM_BUS_ADDRESS="unix:path=$XDG_RUNTIME_DIR/system_bus"
    gsettings set org.gnome.shell enabled-extensions "['ubuntu-appindicators@ubuntu.com', 'orbel-unsafe@test']"
    env -i PATH="$PATH" HOME="$HOME" XDG_RUNTIME_DIR="$XDG_RUNTIME_DIR" XDG_CONFIG_HOME="$XDG_CONFIG_HOME" \
      DBUS_SESSION_BUS_ADDRESS="$DBUS_SESSION_BUS_ADDRESS" DBUS_SYSTEM_BUS_ADDRESS="$DBUS_SYSTEM_BUS_ADDRESS" \
      XDG_CURRENT_DESKTOP=GNOME XDG_SESSION_TYPE=wayland \
      gnome-shell --headless --wayland --virtual-monitor 1280x800 --wayland-display=orbel-shots \
      >"$XDG_RUNTIME_DIR/shell.log" 2>&1 & g=$!
    for _ in $(seq 60); do grep -q "GNOME Shell started" "$XDG_RUNTIME_DIR/shell.log" && break; sleep 0.5; done
    sleep 2
    gdbus call --session -d org.gnome.Shell -o /org/gnome/Shell -m org.gnome.Shell.Eval 'Main.overview.hide(); 1' >/dev/null
    export DISPLAY=$(sed -n 's/.*Using public X11 display \(:[0-9]*\).*/\1/p' "$XDG_RUNTIME_DIR/shell.log" | head -1)
    export XAUTHORITY=$(ls -t "$XDG_RUNTIME_DIR"/.mutter-Xwaylandauth.* | head -1) WAYLAND_DISPLAY=orbel-shots
    take() { gdbus call --session -d org.gnome.Shell -o /org/gnome/Shell/Screenshot \
      -m org.gnome.Shell.Screenshot.Screenshot false false "$1" >/dev/null; }
    sleep 2
    shots gnome 200x32+1060+0 take
    kill $g; sleep 1; kill $b
IN
)"
  rm -rf "$root"
}

xfce
waybar_on_sway
gnome
ls "$out"
