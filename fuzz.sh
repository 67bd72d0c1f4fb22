#!/usr/bin/env bash
# Builds the fuzz targets (preset fuzz: clang, libFuzzer, AddressSanitizer and
# UndefinedBehaviorSanitizer) and runs each for SECONDS (default 60), starting from the seeds in
# tests/fuzz/corpus and what earlier runs found (build/fuzz/corpus). An input that crashes, trips a
# sanitizer or hangs is kept in build/fuzz/artifacts. The last line counts the targets that failed.
# Usage: ./fuzz.sh [SECONDS]
set -uo pipefail
cd "$(dirname "$0")"
seconds=${1:-60}
if ! [[ $seconds =~ ^[0-9]+$ ]] || [ "$seconds" -lt 1 ]; then
  echo "usage: ./fuzz.sh [SECONDS]" >&2
  exit 2
fi
scripts/install-deps.sh host fuzz || exit 1

targets=(usb_id command_line scan_pass)
root=$PWD
failed=0
build_log=$(mktemp)
if ! cmake --preset fuzz >"$build_log" 2>&1 || ! cmake --build --preset fuzz -j2 >>"$build_log" 2>&1; then
  tail -n 30 "$build_log"
  rm -f "$build_log"
  echo "== fuzz: build failed"
  echo "fuzz: ${#targets[@]} of ${#targets[@]} targets failed"
  exit 1
fi
rm -f "$build_log"
mkdir -p build/fuzz/artifacts
for target in "${targets[@]}"; do
  corpus=$root/build/fuzz/corpus/$target
  log=$root/build/fuzz/$target.log
  mkdir -p "$corpus"
  # Paths are absolute: the command-line target works in a scratch folder of its own.
  if "$root/build/fuzz/bin/fuzz_$target" "$corpus" "$root/tests/fuzz/corpus/$target" \
      -max_total_time="$seconds" -timeout=10 -print_final_stats=1 \
      -artifact_prefix="$root/build/fuzz/artifacts/$target-" >"$log" 2>&1; then
    runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log")
    echo "== fuzz_$target: passed, ${runs:-?} inputs in ${seconds}s"
  else
    failed=$((failed + 1))
    echo "== fuzz_$target: FAILED (log: build/fuzz/$target.log)"
    grep -E 'ERROR|runtime error|SUMMARY|Test unit written' "$log" | head -n 10
  fi
done
echo "fuzz: $failed of ${#targets[@]} targets failed"
[ "$failed" -eq 0 ]
