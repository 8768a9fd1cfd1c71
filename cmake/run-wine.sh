#!/usr/bin/env bash
# Runs a Windows test program under wine64, quietly, in the project's prefix.
set -euo pipefail
export WINEDEBUG=-all
export WINEPREFIX="${WINEPREFIX:-$HOME/.wine}"
if [ ! -f "$WINEPREFIX/system.reg" ]; then
  # Several tests may start at once on a fresh machine: one creates the prefix.
  exec 9>"/tmp/scalarka-wineboot.lock"
  flock 9
  [ -f "$WINEPREFIX/system.reg" ] || /usr/lib/wine/wine64 wineboot -i >/dev/null 2>&1
  flock -u 9
fi
exec /usr/lib/wine/wine64 "$@"
