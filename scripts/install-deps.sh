#!/usr/bin/env bash
# Installs, from Debian 12's own packages, whatever the build and the tests
# need and the machine lacks. Nothing is downloaded from anywhere else.
set -euo pipefail

packages=(
  cmake ninja-build g++ pkg-config
  googletest libgtest-dev libgmock-dev
  clang libclang-rt-14-dev
  gettext
  qt6-base-dev libevdev-dev libxtst-dev libx11-dev libxkbcommon-dev libxkbcommon-x11-dev libx11-xcb-dev xkb-data x11-xkb-utils
  qt6-serialport-dev
  xvfb xauth x11-utils xdotool
  g++-mingw-w64-x86-64-posix mingw-w64-tools wine wine64 fonts-wine
  socat imagemagick
  nsis help2man lintian dpkg-dev fakeroot
  clang-format
)

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done

if ((${#missing[@]})); then
  echo "installing: ${missing[*]}"
  SUDO=""
  [ "$(id -u)" -eq 0 ] || SUDO=sudo
  $SUDO apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi
