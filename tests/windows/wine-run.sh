#!/usr/bin/env bash
# Runs a Windows test program under Wine: wine-run.sh WINE PREFIX PROGRAM [ARGS...]
# WINE is wine64 or wine (32-bit). The prefix is made once, under a lock; the server outlives the
# last program by seconds, so short tests start it once. Wine's null graphics driver gives real
# windows a screen without any X display. The program's exit status is passed on.
set -euo pipefail
wine=$1
export WINEPREFIX=$2 WINEDEBUG=${WINEDEBUG:--all}
export WINEDLLOVERRIDES=${WINEDLLOVERRIDES:-mscoree,mshtml=}
shift 2
[ "$(basename "$wine")" = wine64 ] && export WINEARCH=win64 || export WINEARCH=win32
server=$(dirname "$wine")/wineserver
mkdir -p "$WINEPREFIX"
exec 9>"$WINEPREFIX.lock"
flock 9
if [ ! -f "$WINEPREFIX/system.reg" ]; then
  DISPLAY= "$wine" wineboot -i </dev/null >/dev/null 2>&1 9>&-
  "$server" -w
fi
"$server" -p10 </dev/null >/dev/null 2>&1 9>&- || true  # fails harmlessly when one runs already
# Asked again until the server has written the registry out (a prefix made before asks too).
grep -qs '"Graphics"="null"' "$WINEPREFIX/user.reg" ||
  "$wine" reg add 'HKCU\Software\Wine\Drivers' /v Graphics /d null /f \
    </dev/null >/dev/null 2>&1 9>&-
# Wine's background programs live as long as the server: start them away from the test's output.
"$wine" wineboot </dev/null >/dev/null 2>&1 9>&-
exec 9>&-
exec "$wine" "$@"
