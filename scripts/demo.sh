#!/usr/bin/env bash
# Sets up a fresh machine, builds the plug-in and the emulated host, and shows
# Scalarka merging the lines of the bundled sample invoice when P is pressed.
# Extra arguments go to korpus (for example --trace).
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh
cmake --preset native >/dev/null
cmake --build --preset native --target korpus Scalarka
exec build/native/bin/korpus emulator/samples/vat-invoice.json P "$@"
