#!/usr/bin/env bash
# The merge benchmark: Release build without sanitizers, then the reference
# scheme, the engine and the copy floor on documents of 100, 1,000 and 10,000
# lines, and the ratios between them. Extra arguments go to the benchmark.
set -euo pipefail
cd "$(dirname "$0")/.."
build=${BENCH_BUILD_DIR:-build/bench}
cmake --preset bench -B "$build" >/dev/null
cmake --build "$build" -j2 --target scalarka_bench
json=$(mktemp)
trap 'rm -f "$json"' EXIT
"$build/bin/scalarka_bench" --benchmark_out="$json" --benchmark_out_format=json "$@"
python3 - "$json" <<'PY'
import json, sys
runs = {b["name"]: b["real_time"] for b in json.load(open(sys.argv[1]))["benchmarks"] if b.get("run_type") == "iteration"}
def t(kind, lines, weighed=None):
    for name, value in runs.items():
        parts = name.split("/")
        if parts[0] == kind and f"lines:{lines}" in parts and (weighed is None or f"weighed:{weighed}" in parts):
            return value
print("\nlines  weighed  reference/engine  engine/floor")
for lines in (100, 1000, 10000):
    for weighed in (0, 1):
        ref, eng, flo = t("reference", lines, weighed), t("engine", lines, weighed), t("floorCopy", lines)
        if None in (ref, eng, flo):
            continue
        print(f"{lines:5}  {weighed:7}  {ref / eng:16.1f}  {eng / flo:12.1f}")
PY
