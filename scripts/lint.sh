#!/usr/bin/env bash
# clang-format over every source, clang-tidy over the native build's sources.
set -euo pipefail
cd "$(dirname "$0")/.."
mapfile -t sources < <(git ls-files '*.cpp' '*.h')
clang-format --dry-run --Werror "${sources[@]}"
if [ ! -f build/native/compile_commands.json ]; then
  cmake --preset native >/dev/null
fi
mapfile -t units < <(git ls-files 'host/*.cpp' 'platform/platform_linux.cpp' 'frame/*.cpp' 'merge/*.cpp' \
  'options/*.cpp' 'emulator/core/*.cpp' 'emulator/linux/*.cpp' | grep -v '_windows')
run-clang-tidy -quiet -extra-arg=-Wno-unknown-warning-option -p build/native "${units[@]}" >/tmp/scalarka-tidy.log 2>&1 || {
  grep -E 'error:|warning:' /tmp/scalarka-tidy.log | sort -u | head -50
  echo "clang-tidy found problems (full log: /tmp/scalarka-tidy.log)"
  exit 1
}
echo "format and lint: clean"
