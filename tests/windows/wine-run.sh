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
# Readies the prefix's server: a null graphics driver, and Wine's background programs, which live
# as long as the server, started away from the test's output.
prepare() {
  "$server" -p10 || true  # fails harmlessly when one runs already
  # Asked again until the server has written the registry out (a prefix made before asks too).
  if ! grep -qs '"Graphics"="null"' "$WINEPREFIX/user.reg"; then
    "$wine" reg add 'HKCU\Software\Wine\Drivers' /v Graphics /d null /f || return
  fi
  # Bounded: a wineboot whose server was ended as it started was seen waiting for good.
  timeout 120 "$wine" wineboot
}
# A server that ends meanwhile (by itself, some 12 s after the last program, or ended by another
# program) fails a step with no word, and the test failed with no output at all: wait until that
# server is gone and ready the next one, and say so when it cannot be readied.
for attempt in 1 2 3; do
  status=0
  prepare </dev/null >/dev/null 2>&1 9>&- || status=$?
  [ "$status" -eq 0 ] && break
  echo "wine-run.sh: readying the Wine server failed (status $status), attempt $attempt" >&2
  [ "$attempt" -lt 3 ] || exit "$status"
  "$server" -w 9>&-
done
exec 9>&-
exec "$wine" "$@"
