#!/bin/sh
# Runs a cross-built Windows program under Wine; CTest calls it as CMAKE_CROSSCOMPILING_EMULATOR.
# Usage: wine-run.sh PREFIX PROGRAM [ARGUMENT...]
#        wine-run.sh PREFIX --stop   (stops the prefix's Wine server, if one runs)
#
# Wine keeps a server and a few helper processes running after a program ends. Started from a
# test they would inherit CTest's output pipes and hold them open: every test would wait about
# 3 s for them, and CTest can hang. So the first call starts them here, with their output on
# /dev/null, and the server stays up until `wineserver -k` (the wine.stop test, run last).
set -eu
prefix=$1
shift
export WINEPREFIX="$prefix"
export WINEDEBUG=-all
# Without a display server a message box returns at once; with one it would wait for a click.
unset DISPLAY WAYLAND_DISPLAY
if [ "${1-}" = --stop ]; then
  wineserver -k </dev/null >/dev/null 2>&1 || true
  exit 0
fi
# The server needs the prefix's directory; Wine fills an empty one on first start.
mkdir -p "$prefix"
(
  flock 9
  status=0
  # What starts here outlives this script: it must not keep the lock (descriptor 9) either.
  wineserver -p </dev/null >/dev/null 2>&1 9>&- || status=$?
  case $status in
    0) # A new server: fill the prefix if needed (no Mono or Gecko installer) and start the helpers.
       WINEDLLOVERRIDES='mscoree,mshtml=' wine cmd /c exit </dev/null >/dev/null 2>&1 9>&- ;;
    2) ;;  # already running
    *) echo "wine-run.sh: cannot start the Wine server for $prefix" >&2; exit 1 ;;
  esac
) 9>"$prefix.lock"
exec wine "$@"
