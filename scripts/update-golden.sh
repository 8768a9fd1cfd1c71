#!/usr/bin/env bash
# Rewrites korpus's golden files from the native build; read the diff before
# committing it.
set -euo pipefail
cd "$(dirname "$0")/.."
cmake --build --preset native --target korpus Scalarka
KORPUS_UPDATE_GOLDEN=1 ctest --preset native -R '^korpus_' >/dev/null
git diff --stat -- tests/cli/expected
