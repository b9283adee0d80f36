#!/usr/bin/env bash
# Builds the Debian package from a copy of this tree, checks it with lintian, installs it with
# apt-get, runs the installed agent and checks that its files are where desktops look, then
# purges it and checks that nothing of it is left. Prints the package's file list, its Depends
# line and its size. The package and every build product stay in a scratch folder.
# Usage: bash scripts/package.sh [folder to keep the .deb in]
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/deps.sh
top="$PWD"
keep="${1:-}"

app_id="$(sed -n 's/^set(ORBEL_APP_ID "\([^"]*\)")$/\1/p' CMakeLists.txt)"
version="$(sed -n 's/^project(OrbelLite VERSION \([0-9.]*\).*/\1/p' CMakeLists.txt)"
[ -n "$app_id" ] && [ -n "$version" ] || { echo "package: application id or version not found"; exit 1; }

scratch="$(mktemp -d)"
installed_here=0
cleanup() {
  if [ "$installed_here" = 1 ] && dpkg-query -W orbel-lite >/dev/null 2>&1; then
    apt_get purge -y orbel-lite >/dev/null || true
  fi
  rm -rf "$scratch"
}
trap cleanup EXIT

# Another apt-get may hold the dpkg lock for a while; wait for it rather than fail.
apt_get() {
  DEBIAN_FRONTEND=noninteractive apt-get -o DPkg::Lock::Timeout=600 "$@"
}

# The installed agent runs from the installed files, and each file is where desktops look for it.
check_installed() {
  local f
  for f in /usr/bin/orbel-lite "/usr/share/applications/$app_id.desktop" "/etc/xdg/autostart/$app_id.desktop" \
    "/usr/share/icons/hicolor/scalable/apps/$app_id.svg" "/usr/share/icons/hicolor/symbolic/apps/$app_id-symbolic.svg" \
    "/usr/share/metainfo/$app_id.metainfo.xml" /usr/share/man/man1/orbel-lite.1.gz; do
    [ -f "$f" ] || { echo "installed: $f is missing"; return 1; }
  done
  desktop-file-validate "/usr/share/applications/$app_id.desktop" "/etc/xdg/autostart/$app_id.desktop"
  appstreamcli validate --no-net "/usr/share/metainfo/$app_id.metainfo.xml"
  [ "$(man -w orbel-lite)" = /usr/share/man/man1/orbel-lite.1.gz ]
  dpkg-query -W -f='${Conffiles}\n' orbel-lite | grep -q "/etc/xdg/autostart/$app_id.desktop"
  # The GNOME Shell extension, in the format of the shell Debian 12 ships (GNOME 43).
  local ext=/usr/share/gnome-shell/extensions/orbel-lite@orbellite.org
  for f in extension.js metadata.json "$app_id.Shell.xml" orbel-lite-symbolic.svg; do
    [ -f "$ext/$f" ] || { echo "installed: $ext/$f is missing"; return 1; }
  done
  grep -q '"shell-version": \["43", "44"\]' "$ext/metadata.json"
  grep -q '^function init(' "$ext/extension.js"

  # A private home, runtime folder and no display: the checks never meet a running agent.
  local home="$scratch/home"
  mkdir -p "$home/run" && chmod 700 "$home/run"
  local -a env=(env -u DISPLAY -u WAYLAND_DISPLAY -u XDG_CONFIG_HOME -u XDG_CONFIG_DIRS
    HOME="$home" XDG_RUNTIME_DIR="$home/run" QT_QPA_PLATFORM=offscreen)
  [ "$("${env[@]}" /usr/bin/orbel-lite --selftest)" = "orbel-lite tests ok" ]
  [ "$("${env[@]}" /usr/bin/orbel-lite --version)" = "orbel-lite $version" ]
  "${env[@]}" /usr/bin/orbel-lite --smoke | grep -x 'smoke ok: .* min block, 1 screens'
  # Start at login follows the installed system-wide entry, and a user turns it off and on.
  local user="$home/.config/autostart/$app_id.desktop"
  "${env[@]}" /usr/bin/orbel-lite --autostart | grep -Fx "autostart: on (/etc/xdg/autostart/$app_id.desktop)"
  "${env[@]}" /usr/bin/orbel-lite --autostart off | grep -F "autostart: off ($user"
  grep -qx 'Hidden=true' "$user"
  "${env[@]}" /usr/bin/orbel-lite --autostart on | grep -Fx "autostart: on (/etc/xdg/autostart/$app_id.desktop)"
  [ ! -e "$user" ]
  echo "installed: files in place and valid; --selftest, --smoke and --autostart work from them"
}

# dpkg-buildpackage writes its products beside the tree, so it builds a copy in the scratch
# folder: the files git tracks and the new ones it does not ignore, or else everything but builds.
mkdir "$scratch/orbel-lite"
if git rev-parse --is-inside-work-tree >/dev/null 2>&1; then
  git ls-files -z --cached --others --exclude-standard |
    tar --null --ignore-failed-read -T - -cf - | tar -xf - -C "$scratch/orbel-lite"
else
  tar --exclude='./build*' --exclude=./.git -cf - . | tar -xf - -C "$scratch/orbel-lite"
fi

# When the caller asks for ccache through CMAKE_CXX_COMPILER_LAUNCHER (CMake reads it), point it
# at the caller's cache, since debhelper gives the build a HOME of its own, and make the scratch
# path relative, so that one package build hits what the last one stored.
if [ -n "${CMAKE_CXX_COMPILER_LAUNCHER:-}" ] && command -v ccache >/dev/null; then
  CCACHE_DIR="${CCACHE_DIR:-$(ccache -k cache_dir)}"
  export CCACHE_DIR CCACHE_BASEDIR="$scratch/orbel-lite"
fi
(cd "$scratch/orbel-lite" && dpkg-buildpackage -us -uc -b -jauto)

debs=("$scratch"/orbel-lite_*.deb)
[ "${#debs[@]}" = 1 ] && [ -f "${debs[0]}" ] || { echo "package: expected one .deb, found: ${debs[*]}"; exit 1; }
deb="${debs[0]}"

echo "== package contents"
dpkg-deb -c "$deb"
echo "== package fields"
dpkg-deb -f "$deb" Package Version Architecture Installed-Size Depends Recommends Suggests
echo "== .deb size: $(stat -c %s "$deb") bytes"
[ "$(dpkg-deb -f "$deb" Version)" = "$version" ] ||
  { echo "package: debian/changelog says $(dpkg-deb -f "$deb" Version), CMakeLists.txt says $version"; exit 1; }

echo "== lintian"
lintian --fail-on error --display-info "$deb"
echo "lintian: no errors"

echo "== install"
installed_here=1
apt_get install -y "$deb"
check_installed

echo "== purge"
apt_get purge -y orbel-lite
left=0
while read -r path; do
  if [ -e "$path" ] || [ -L "$path" ]; then
    echo "package: $path is still there after the purge"
    left=1
  fi
done < <(dpkg-deb -c "$deb" | awk '$1 !~ /^d/ { sub(/^\./, "", $6); print $6 }')
[ ! -e /usr/share/doc/orbel-lite ] || { echo "package: /usr/share/doc/orbel-lite is still there"; left=1; }
[ "$left" = 0 ] || exit 1
echo "purge: no file of the package is left"

if [ -n "$keep" ]; then
  mkdir -p "$keep"
  cp "$deb" "$keep/"
fi
echo "package: built, lintian-clean, installed, checked and purged ($(basename "$deb"))"
