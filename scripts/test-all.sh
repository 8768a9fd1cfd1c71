#!/usr/bin/env bash
# Sets up a fresh machine and runs every build and every test: the plug-in
# natively (with sanitizers), as i386 Linux under qemu, as the PE32 product,
# and as x86_64 Windows under wine64; then a bounded run of every fuzz target
# and the format and lint checks.
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/setup.sh

export WINEDEBUG=-all
if [ ! -f "${WINEPREFIX:-$HOME/.wine}/system.reg" ]; then
  /usr/lib/wine/wine64 wineboot -i >/dev/null 2>&1 || true
fi

jobs=$(nproc)
for preset in native win32 linux32 win64; do
  echo "=== $preset"
  cmake --preset "$preset" >/dev/null
  cmake --build --preset "$preset" -j"$jobs"
  ctest --preset "$preset" -j"$jobs"
done

echo "=== fuzzing, ${FUZZ_SECONDS:-60} s a target"
bash scripts/fuzz.sh

echo "=== format and lint"
bash scripts/lint.sh
