#!/bin/bash
# Runs a Windows program under Wine, headless: a private prefix created on
# first use (no Mono/Gecko prompts) and an Xvfb display when there is none.
# Used as CMake's cross-compiling emulator and by `make run`.
here=$(cd "$(dirname "$0")/.." && pwd)
export WINEPREFIX="${SRX_WINEPREFIX:-$here/build/wineprefix}"
export WINEARCH=win64
export WINEDEBUG="${WINEDEBUG:--all}"
export WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d"
if command -v wine64 >/dev/null 2>&1; then WINE=wine64
elif [ -x /usr/lib/wine/wine64 ]; then WINE=/usr/lib/wine/wine64; export WINELOADER=$WINE
else WINE=wine; fi

mkdir -p "$(dirname "$WINEPREFIX")"
# One boot, even when CTest starts several tests at once.
(
  flock 9
  if [ ! -f "$WINEPREFIX/system.reg" ]; then
    echo "wine-run: creating Wine prefix $WINEPREFIX" >&2
    $WINE wineboot -i >/dev/null 2>&1
    wineserver -w
  fi
) 9>"$WINEPREFIX.lock"

if [ -z "$DISPLAY" ]; then
  exec xvfb-run -a -s "-screen 0 1280x1024x24" "$0" "$@"
fi
# Tests print CRLF; strip CR so that CTest and gtest discovery read lines.
if [ "${SRX_KEEP_CR:-0}" = 1 ]; then exec $WINE "$@"; fi
set -o pipefail
$WINE "$@" | tr -d '\r'

