#!/usr/bin/env bash
# Measures the Windows executable under Wine:
#   1. wall time of a `-t 0` run against an empty program's run (goal: at most 1.5 times), and
#      against a program that makes a single display call;
#   2. processor time of a 12 s wait against a `-t 0` run (goal: under 0.5 s more: the wait sleeps);
#   3. the DLLs the executable imports (goal: system DLLs only);
#   4. the executable's size (goal: under 800 KB).
# Usage: bench/measure.sh [RUNS]   (default 20 runs of each program for the start-up comparison)
set -euo pipefail
cd "$(dirname "$0")/.."
runs=${1:-20}
scripts/install-deps.sh windows
cmake --preset windows >/dev/null
cmake --build --preset windows -j2 --target SetPrimaryKiv empty_program one_display_call >/dev/null

bin=build/windows/bin
export WINEPREFIX="$PWD/build/windows/wineprefix" WINEDEBUG=-all
# A persistent Wine server, so that no run pays for starting it.
wineserver -p
trap 'wineserver -k >/dev/null 2>&1 || true' EXIT
wine "$bin/empty_program.exe" >/dev/null 2>&1 || true

now() { date +%s%N; }
elapsed_ns() {  # command...: wall time of one run, in ns
  local start end
  start=$(now)
  "$@" >/dev/null 2>&1 || true
  end=$(now)
  echo $((end - start))
}
cpu_seconds() {  # command...: user + system time of the command and its children
  local TIMEFORMAT='%3U %3S'
  { time "$@" >/dev/null 2>&1 || true; } 2>&1 | awk '{ printf "%.3f", $1 + $2 }'
}

log=$(mktemp)
# Runs alternate between the two programs, so that a slower phase of the machine hits both alike.
empty_total=0
display_total=0
tool_total=0
wine "$bin/SetPrimaryKiv.exe" -t 0 -l "$log" >/dev/null 2>&1 || true
for _ in $(seq "$runs"); do
  empty_total=$((empty_total + $(elapsed_ns wine "$bin/empty_program.exe")))
  display_total=$((display_total + $(elapsed_ns wine "$bin/one_display_call.exe")))
  tool_total=$((tool_total + $(elapsed_ns wine "$bin/SetPrimaryKiv.exe" -t 0 -l "$log")))
done
empty=$((empty_total / runs / 1000000))
tool=$((tool_total / runs / 1000000))
display=$((display_total / runs / 1000000))
ratio=$(awk -v t="$tool_total" -v e="$empty_total" 'BEGIN { printf "%.2f", t / e }')
display_ratio=$(awk -v t="$tool_total" -v e="$display_total" 'BEGIN { printf "%.2f", t / e }')
echo "start-up: empty program ${empty} ms, SetPrimaryKiv -t 0 ${tool} ms, ratio ${ratio} (goal <= 1.5)"
echo "start-up: one display call ${display} ms (Wine's display driver starts), SetPrimaryKiv -t 0 ${tool} ms, ratio ${display_ratio}"

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

size=$(stat -c %s "$bin/SetPrimaryKiv.exe")
echo "size: SetPrimaryKiv.exe ${size} bytes (goal < 800 KB: $((800 * 1024)) bytes)"
