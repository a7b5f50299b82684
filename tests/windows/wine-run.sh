#!/usr/bin/env bash
# Runs a Windows test program under Wine: wine-run.sh WINE PREFIX PROGRAM [ARGS...]
# WINE is wine64 or wine (32-bit). The prefix is made once, under a lock; the server outlives the
# last program by seconds, so short tests start it once; without a DISPLAY the programs get a
# virtual screen, which goes with the server. The program's exit status is passed on.
set -euo pipefail
wine=$1
export WINEPREFIX=$2 WINEDEBUG=${WINEDEBUG:--all}
export WINEDLLOVERRIDES=${WINEDLLOVERRIDES:-mscoree,mshtml=}
shift 2
[ "$(basename "$wine")" = wine64 ] && export WINEARCH=win64 || export WINEARCH=win32
server=$(dirname "$wine")/wineserver screen_file=$WINEPREFIX.display
mkdir -p "$WINEPREFIX"
exec 9>"$WINEPREFIX.lock"
flock 9
if [ ! -f "$WINEPREFIX/system.reg" ]; then
  DISPLAY= "$wine" wineboot -i </dev/null >/dev/null 2>&1 9>&-
  # No window manager looks after the virtual screen: Wine places the windows.
  "$wine" reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /d N /f </dev/null >/dev/null 2>&1 9>&-
  "$server" -w
fi
"$server" -p10 </dev/null >/dev/null 2>&1 9>&- || true  # fails harmlessly when one runs already
if [ -z "${DISPLAY:-}" ]; then
  display= xvfb=
  [ -f "$screen_file" ] && read -r display xvfb <"$screen_file"
  if [ -z "$xvfb" ] || ! kill -0 "$xvfb" 2>/dev/null; then
    fd_file=$(mktemp)
    setsid Xvfb -displayfd 3 -screen 0 1024x768x24 -dpi 96 -nolisten tcp 3>"$fd_file" </dev/null >/dev/null 2>&1 9>&- &
    xvfb=$!
    for _ in $(seq 100); do [ -s "$fd_file" ] && break; sleep 0.05; done
    display=:$(cat "$fd_file") && rm -f "$fd_file"
    echo "$display $xvfb" >"$screen_file"
    setsid bash -c '"$1" -w; kill "$2"; rm -f "$3"' _ "$server" "$xvfb" "$screen_file" </dev/null >/dev/null 2>&1 9>&- &
  fi
  export DISPLAY=$display
fi
# Wine's background programs live as long as the server: start them away from the test's output.
"$wine" wineboot </dev/null >/dev/null 2>&1 9>&-
exec 9>&-
exec "$wine" "$@"
