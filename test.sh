#!/usr/bin/env bash
# Checks the formatting and the documentation's links, then builds and runs every test: the host build,
# the host build under sanitizers, the Windows build under Wine, and each fuzz target for a few seconds.
# Installs what is missing first. The last line is the summary over all of them.
set -uo pipefail
cd "$(dirname "$0")"
scripts/install-deps.sh || exit 1

# The host's named mutexes are files in $XDG_RUNTIME_DIR/kiv-mutexes: a folder of this run's own keeps
# test runs of other checkouts on the same machine from meeting the fixed family lock of ours.
XDG_RUNTIME_DIR=$(mktemp -d) || exit 1
export XDG_RUNTIME_DIR
trap 'rm -rf "$XDG_RUNTIME_DIR"' EXIT

total=0
failed=0

# A file that does not follow .clang-format counts as one failed test.
echo "== formatting"
total=$((total + 1))
scripts/format.sh --check || failed=$((failed + 1))

# A relative link or anchor of the Markdown pages that leads nowhere counts as one failed test.
echo "== links"
total=$((total + 1))
scripts/check-links.pl || failed=$((failed + 1))

presets=(host host-asan windows)
for preset in "${presets[@]}"; do
  echo "== $preset"
  if ! cmake --preset "$preset" >/dev/null || ! cmake --build --preset "$preset" -j2; then
    echo "== $preset: build failed"
    failed=$((failed + 1)); total=$((total + 1))
    continue
  fi
  log="build/$preset-ctest.log"
  ctest --preset "$preset" 2>&1 | tee "$log"
  summary=$(grep -E '^[0-9]+% tests passed, [0-9]+ tests? failed out of [0-9]+' "$log" | tail -n 1)
  if [ -z "$summary" ]; then
    failed=$((failed + 1)); total=$((total + 1))
    continue
  fi
  read -r ran_failed ran_total < <(sed -E 's/.* ([0-9]+) tests? failed out of ([0-9]+).*/\1 \2/' <<<"$summary")
  failed=$((failed + ran_failed)); total=$((total + ran_total))
done

# Each fuzz target for a few seconds counts as one test.
echo "== fuzz"
./fuzz.sh 5 | tee build/fuzz-run.log
read -r fuzz_failed fuzz_total < <(sed -nE 's/^fuzz: ([0-9]+) of ([0-9]+) targets failed$/\1 \2/p' build/fuzz-run.log)
failed=$((failed + ${fuzz_failed:-1})); total=$((total + ${fuzz_total:-1}))

passed=$((total - failed))
percent=$(( total > 0 ? passed * 100 / total : 0 ))
echo
echo "$percent% tests passed, $failed tests failed out of $total"
[ "$failed" -eq 0 ] && [ "$total" -gt 0 ]
