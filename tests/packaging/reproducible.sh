#!/usr/bin/env bash
# Builds a preset's packages twice, from this checkout into two fresh folders
# of different names, and checks that the files are byte for byte the same.
# Usage: reproducible.sh SOURCE_DIR PRESET "TARGET..." FILE...
# (the FILEs are paths inside a build folder)
set -euo pipefail
# The date comes from the last commit, as in any build of the checkout.
unset SOURCE_DATE_EPOCH
source_dir=$1 preset=$2 targets=$3
shift 3
a=$(mktemp -d /tmp/prekidnik-a.XXXXXX)
b=$(mktemp -d /var/tmp/prekidnik-second-build.XXXXXX)
trap 'rm -rf "$a" "$b"' EXIT
cd "$source_dir"
for dir in "$a" "$b"; do
  cmake --preset "$preset" -B "$dir" -DBUILD_TESTING=OFF >"$dir/build.log" 2>&1 &&
    cmake --build "$dir" -j 2 --target $targets >>"$dir/build.log" 2>&1 || { cat "$dir/build.log"; exit 1; }
  rm -f "$dir/build.log"
done
status=0
for file in "$@"; do
  if cmp -s "$a/$file" "$b/$file"; then
    echo "same:   $file $(stat -c %s "$a/$file") bytes, sha256 $(sha256sum <"$a/$file" | cut -c1-16)"
  else
    echo "DIFFER: $file"
    cmp "$a/$file" "$b/$file" | head -n 3 || true
    status=1
  fi
done
exit $status
