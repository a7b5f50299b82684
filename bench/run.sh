#!/usr/bin/env bash
# Builds the program as shipped (preset linux), its plain variant (every
# timer at its 1 ms design interval) and a traced twin of each, then measures
# them side by side and prints the table. Arguments go to bench/bench.py
# (--quick for a short trial run, --json FILE to keep the figures).
#
#   bench/run.sh            # the full run: 60 s idle windows, 20 trials
#   bench/run.sh --quick    # about a minute
#   bench/run.sh --wine     # the Windows builds' idle cost under wine64 instead, beside
#                           # Wine's floor (bench/wine_floor.c)
set -euo pipefail
cd "$(dirname "$0")/.."

configure() {  # build dir, cmake options...
  local dir=$1
  shift
  [ -f "$dir/build.ninja" ] || cmake -S . -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DBUILD_TESTING=OFF "$@" >/dev/null
}

if [[ " $* " == *" --wine "* ]]; then
  for variant in bench-win64:OFF bench-plain-win64:ON; do
    dir=build/${variant%%:*}
    configure "$dir" --toolchain cmake/toolchain-x86_64-w64-mingw32.cmake \
      -DCMAKE_BUILD_TYPE=Release -DPREKIDNIK_PLAIN_TIMERS="${variant##*:}"
    cmake --build "$dir" -j 2
  done
  # Wine's floor: a few lines of Win32 of our own, measured beside prekidnik.exe.
  x86_64-w64-mingw32-windres -I platform/win32 -o build/bench-win64/wine_floor.res.o \
    bench/wine_floor.rc
  x86_64-w64-mingw32-gcc -O2 -Wall -Wextra -Werror -mwindows -o build/bench-win64/wine_floor.exe \
    bench/wine_floor.c build/bench-win64/wine_floor.res.o -lcomctl32
  exec /usr/bin/python3 bench/bench.py "$@"
fi

cmake --preset linux >/dev/null
targets=(prekidnik dump_designs)
if grep -q '^build tests/e2e/virtual_pointer:' build/linux/build.ninja; then
  targets+=(virtual_pointer)  # the pointer of the Wayland idle figures' sway session
fi
cmake --build --preset linux -j 2 --target "${targets[@]}"
configure build/bench-plain -DPREKIDNIK_PLAIN_TIMERS=ON
configure build/bench-trace -DPREKIDNIK_TRACE_TICKS=ON
configure build/bench-plain-trace -DPREKIDNIK_PLAIN_TIMERS=ON -DPREKIDNIK_TRACE_TICKS=ON
for dir in build/bench-plain build/bench-trace build/bench-plain-trace; do
  cmake --build "$dir" -j 2
done

exec /usr/bin/python3 bench/bench.py "$@"
