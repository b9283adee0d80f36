#!/usr/bin/env bash
# Installs the Debian 12 packages that building, running and testing Orbel Lite need.
# Safe to run again; uses sudo when not run as root.
set -euo pipefail

packages=(
  # toolchain and libraries
  cmake ninja-build g++ pkg-config clang libclang-rt-14-dev
  qt6-base-dev qt6-base-dev-tools libgl-dev nlohmann-json3-dev libicu-dev
  libgtest-dev libgmock-dev libbenchmark-dev
  libxcb1-dev libxcb-screensaver0-dev libpulse-dev libwayland-dev wayland-protocols plasma-wayland-protocols
  libfontconfig-dev
  libxcb-render0-dev libxcb-damage0-dev libxcb-xfixes0-dev libxcb-composite0-dev libxcb-shape0-dev
  # servers and tools the tests start and drive
  xvfb xauth xdotool x11-utils x11-xserver-utils openbox xterm trayer picom
  pulseaudio pulseaudio-utils pipewire pipewire-pulse wireplumber dbus-daemon imagemagick procps locales
  # real Wayland compositors: headless sway with XWayland (and grim, wtype), KWin, Mutter; and
  # KWin's X11 window manager, which bench/app/measure_kwin.sh runs on Xvfb
  sway xwayland grim wtype kwin-wayland mutter kwin-x11
  # the installed files' checks (QtSvg renders the icons in a test) and the Debian package
  qt6-svg-dev desktop-file-utils appstream man-db build-essential debhelper dpkg-dev fakeroot lintian git
  # a real StatusNotifierItem host for the tray test
  xfce4-panel xfconf
  # more hosts for the tray's screenshots (tools/tray_shots.sh), and GNOME Shell, headless, for
  # our extension's tests
  waybar gnome-shell gnome-shell-extension-appindicator
  # the control-interface flood benchmark's D-Bus client; it also checks the extension's module form
  gjs
)

sudo=""
if [ "$(id -u)" -ne 0 ]; then sudo="sudo"; fi

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if [ "${#missing[@]}" -gt 0 ]; then
  export DEBIAN_FRONTEND=noninteractive
  $sudo apt-get update
  $sudo apt-get install -y --no-install-recommends "${packages[@]}"
fi
