#!/usr/bin/env bash
# Builds the libFuzzer targets (clang, fuzz preset) and runs each for
# FUZZ_SECONDS (default 60) from its seed corpus in fuzz/corpus/<target>/.
# Fails on the first finding; crash inputs are left in the build folder.
set -euo pipefail
cd "$(dirname "$0")/.."
build=${FUZZ_BUILD_DIR:-build/fuzz}
seconds=${FUZZ_SECONDS:-60}
targets=(options_file merge form startup_report)
cmake --preset fuzz -B "$build" >/dev/null
cmake --build "$build" -j2 --target "${targets[@]/#/fuzz_}"
status=0
for target in "${targets[@]}"; do
  work="$build/fuzz-work/$target"
  mkdir -p "$work/corpus" "$work/artifacts"
  echo "== $target: ${seconds}s"
  # The seeds stay as they are; what the fuzzer finds goes to its own corpus.
  if "$build/fuzz/fuzz_$target" -max_total_time="$seconds" -print_final_stats=1 -rss_limit_mb=2048 \
      -artifact_prefix="$work/artifacts/" "$work/corpus" "fuzz/corpus/$target" >"$work/log" 2>&1; then
    grep -E '^stat::number_of_executed_units|^#[0-9]+.*DONE' "$work/log" | tail -2
  else
    echo "FINDING in $target (inputs in $work/artifacts):"
    tail -40 "$work/log"
    status=1
  fi
done
exit $status
