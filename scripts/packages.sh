#!/usr/bin/env bash
# Builds every package into build/packages/: the Debian package, the Windows
# zips (32- and 64-bit) and the Windows installer. Installs what is missing
# first. Each preset builds in build/packages/<preset>, without its tests.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh
out=build/packages
mkdir -p "$out"
build() {  # preset, targets...
  local preset=$1
  shift
  cmake --preset "$preset" -B "$out/$preset" -DBUILD_TESTING=OFF >/dev/null
  cmake --build "$out/$preset" -j 2 --target "$@"
}
build linux package_deb
build windows-i686 package_zip package_setup
build windows-x64 package_zip
cp "$out"/linux/prekidnik_*.deb "$out"/windows-i686/prekidnik-*-win32.zip \
  "$out"/windows-i686/prekidnik-*-setup.exe "$out"/windows-x64/prekidnik-*-win64.zip "$out"/
echo "Packages in $out:"
ls -l "$out"/*.deb "$out"/*.zip "$out"/*.exe
