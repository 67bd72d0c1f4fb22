#!/usr/bin/env bash
# Measures the Windows executable under Wine:
#   1. wall time of a `-t 0` run against an empty program's run (goal: at most 1.5 times);
#   2. processor time of a 12 s wait against a `-t 0` run (goal: under 0.5 s more: the wait sleeps);
#   3. the DLLs the executable imports (goal: system DLLs only).
# Usage: bench/measure.sh [RUNS]   (default 10 runs for the start-up comparison)
set -euo pipefail
cd "$(dirname "$0")/.."
runs=${1:-10}
scripts/install-deps.sh windows
cmake --preset windows >/dev/null
cmake --build --preset windows -j2 --target SetPrimaryKiv empty_program >/dev/null

bin=build/windows/bin
export WINEPREFIX="$PWD/build/windows/wineprefix" WINEDEBUG=-all
# A persistent Wine server, so that no run pays for starting it.
wineserver -p
trap 'wineserver -k >/dev/null 2>&1 || true' EXIT
wine "$bin/empty_program.exe" >/dev/null 2>&1 || true

now() { date +%s%N; }
mean_ms() {  # command...: mean wall time over $runs runs, in ms
  local start end
  start=$(now)
  for _ in $(seq "$runs"); do "$@" >/dev/null 2>&1 || true; done
  end=$(now)
  echo $(( (end - start) / runs / 1000000 ))
}
cpu_seconds() {  # command...: user + system time of the command and its children
  local TIMEFORMAT='%3U %3S'
  { time "$@" >/dev/null 2>&1 || true; } 2>&1 | awk '{ printf "%.3f", $1 + $2 }'
}

log=$(mktemp)
empty=$(mean_ms wine "$bin/empty_program.exe")
tool=$(mean_ms wine "$bin/SetPrimaryKiv.exe" -t 0 -l "$log")
ratio=$(awk -v t="$tool" -v e="$empty" 'BEGIN { printf "%.2f", t / e }')
echo "start-up: empty program ${empty} ms, SetPrimaryKiv -t 0 ${tool} ms, ratio ${ratio} (goal <= 1.5)"

once=$(cpu_seconds wine "$bin/SetPrimaryKiv.exe" -t 0 -l "$log")
waited=$(cpu_seconds wine "$bin/SetPrimaryKiv.exe" -t 12 -l "$log")
extra=$(awk -v w="$waited" -v o="$once" 'BEGIN { printf "%.3f", w - o }')
echo "processor time: -t 0 ${once} s, -t 12 ${waited} s, difference ${extra} s (goal < 0.5)"
rm -f "$log"

imports=$(x86_64-w64-mingw32-objdump -p "$bin/SetPrimaryKiv.exe" | awk '/DLL Name:/ { print $3 }' | sort -u | tr '\n' ' ')
echo "imports: ${imports}"
for dll in $imports; do
  case "${dll,,}" in
    kernel32.dll|user32.dll|gdi32.dll|advapi32.dll|msvcrt.dll|ntdll.dll) ;;
    *) echo "not a system DLL: $dll"; exit 1 ;;
  esac
done
echo "imports: system DLLs only"
