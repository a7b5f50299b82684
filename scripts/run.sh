#!/usr/bin/env bash
# Installs what is missing, builds the Linux program and starts it. With no
# display at all, it starts it on a virtual one, saves a screenshot and says
# where.
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/install-deps.sh
cmake --preset linux >/dev/null
cmake --build --preset linux

app=build/linux/prekidnik
if [ -n "${DISPLAY:-}" ] || [ -n "${WAYLAND_DISPLAY:-}" ]; then
  exec "$app"
fi

exec 3>/tmp/prekidnik-display.$$
Xvfb -displayfd 3 -screen 0 1280x800x24 -dpi 96 -nolisten tcp -noreset >/dev/null 2>&1 &
xvfb=$!
trap 'kill "$app_pid" "$xvfb" 2>/dev/null || true; rm -f /tmp/prekidnik-display.$$' EXIT
for _ in $(seq 50); do [ -s /tmp/prekidnik-display.$$ ] && break; sleep 0.1; done
export DISPLAY=":$(cat /tmp/prekidnik-display.$$)"
"$app" &
app_pid=$!
sleep 3
shot="$PWD/build/prekidnik-screenshot.png"
import -window root "$shot"
echo "No display here: Prekidnik ran on the virtual display $DISPLAY."
echo "Screenshot: $shot"
