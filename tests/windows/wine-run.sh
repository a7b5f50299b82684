#!/usr/bin/env bash
# Runs a Windows test program under Wine: wine-run.sh WINE64 PREFIX PROGRAM [ARGS...]
# The prefix is created on first use (under a lock, so parallel tests wait
# for one boot); the program's exit status is passed on. The Wine server
# stays up a few seconds after the last program, so that a run of many short
# tests starts it once, not once a test.
set -euo pipefail
wine=$1
export WINEPREFIX=$2
shift 2
export WINEDEBUG=${WINEDEBUG:--all}
export WINEDLLOVERRIDES=${WINEDLLOVERRIDES:-mscoree,mshtml=}
mkdir -p "$WINEPREFIX"
server=$(dirname "$wine")/wineserver
(
  flock 9
  if [ ! -f "$WINEPREFIX/system.reg" ]; then
    DISPLAY= "$wine" wineboot -i >/dev/null 2>&1
    "$server" -w
  fi
  "$server" -p10 >/dev/null 2>&1 9>&- || true  # fails harmlessly when one runs already
) 9>"$WINEPREFIX.lock"
# Wine's own background programs start with the first program and live as
# long as the server: start them here, away from the test's output, which
# the test runner reads until every holder has closed it.
"$wine" wineboot </dev/null >/dev/null 2>&1
exec "$wine" "$@"
