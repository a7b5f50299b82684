#!/usr/bin/env bash
# Installs the Debian packages that building and testing Prekidnik needs.
# Quick when everything is there already; safe to run again.
set -euo pipefail

packages=(
  # Build
  cmake ninja-build g++ clang-format
  # Fuzz targets (preset linux-fuzz)
  clang-14 libfuzzer-14-dev libclang-rt-14-dev
  # Linux program
  qt6-base-dev qt6-wayland fonts-dejavu-core fonts-liberation2
  # Windows programs
  g++-mingw-w64-i686 g++-mingw-w64-x86-64 mingw-w64-tools
  # Tests
  libgtest-dev libgmock-dev dbus python3-dbusmock python3-pefile locales-all tzdata
  xvfb xdotool imagemagick openbox x11-xserver-utils x11-utils
  # The end-to-end cases on Wayland: headless compositors, input, screenshots, and
  # what builds the virtual pointer (tests/e2e/wayland/)
  sway swaybg weston wtype grim xwayland libwayland-dev libwayland-bin pkg-config
  wine wine64 fonts-wine
  # Accessibility: the AT-SPI bus and its Python client
  at-spi2-core python3-pyatspi
  # 32-bit Wine, for the tests of the 32-bit Windows build (needs a kernel
  # that runs 32-bit code)
  wine32:i386
  # Python's style check (tests/CMakeLists.txt)
  python3-pycodestyle
  # Packages and their checks
  dpkg-dev nsis lintian desktop-file-utils appstream
  # The benchmark's soak (bench/soak.py counts the X resources)
  xrestop
)

missing=()
for p in "${packages[@]}"; do
  status=$(dpkg-query -W -f='${db:Status-Status}' "$p" 2>/dev/null || true)
  [ "$status" = installed ] || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0

echo "Installing: ${missing[*]}"
sudo=""
[ "$(id -u)" -eq 0 ] || sudo=sudo
export DEBIAN_FRONTEND=noninteractive
if [[ " ${missing[*]}" == *:i386* ]] && ! dpkg --print-foreign-architectures | grep -qx i386; then
  $sudo dpkg --add-architecture i386
fi
$sudo apt-get update -q
$sudo apt-get install -y -q --no-install-recommends "${missing[@]}"
