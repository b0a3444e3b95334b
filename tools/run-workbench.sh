#!/bin/bash
# Starts the workbench (build/win64/bin/sonrix.exe) under Wine, in a Wine
# desktop window. Without a display it runs on a private Xvfb screen.
#   SRX_SCREENSHOT=shot.png  take a screenshot after SRX_WAIT seconds (8) and stop
#   extra arguments          passed to sonrix.exe (files to open)
here=$(cd "$(dirname "$0")/.." && pwd)
exe="$here/build/win64/bin/sonrix.exe"
[ -f "$exe" ] || { echo "run-workbench: $exe not built (make win64)" >&2; exit 1; }
run="$here/tools/wine-run.sh"
# The workbench keeps its registry apart from the test runs' prefix.
export SRX_WINEPREFIX="${SRX_WINEPREFIX:-$here/build/wineprefix-workbench}"

if [ -z "$DISPLAY" ]; then
  export DISPLAY=:77
  Xvfb $DISPLAY -screen 0 1280x1024x24 >/dev/null 2>&1 &
  xvfb_pid=$!
  trap 'kill $xvfb_pid 2>/dev/null' EXIT
  sleep 1
  [ -n "$SRX_SCREENSHOT" ] || echo "run-workbench: no display; running on Xvfb $DISPLAY (Ctrl-C to stop)"
fi

cd "$(dirname "$exe")"
if [ -n "$SRX_SCREENSHOT" ]; then
  SRX_KEEP_CR=1 "$run" explorer /desktop=srx,1280x1024 sonrix.exe "$@" &
  wine_pid=$!
  sleep "${SRX_WAIT:-8}"
  import -window root "$SRX_SCREENSHOT"
  WINEPREFIX="$SRX_WINEPREFIX" wineserver -k
  wait $wine_pid
  echo "run-workbench: screenshot in $SRX_SCREENSHOT"
else
  SRX_KEEP_CR=1 exec "$run" explorer /desktop=srx,1280x1024 sonrix.exe "$@"
fi
