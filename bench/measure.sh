#!/usr/bin/env bash
# Measures the Windows executable under Wine:
#   1. wall time of a `-t 0` run against an empty program's run (goal: at most 1.5 times), and
#      against a program that makes a single display call;
#   2. processor time of a 12 s wait against a `-t 0` run (goal: under 0.5 s more: the wait sleeps);
#   3. the DLLs the executable imports (goal: system DLLs only);
#   4. the executable's size (goal: under 1,200,000 bytes);
#   5. on a private Xvfb display (Wine makes windows only on an X display), the time from a
#      WM_DISPLAYCHANGE broadcast to the start of the waiting tool's next pass (median of
#      NOTICE_RUNS runs), and the processor time of a 60 s wait without notices and with one every 5 s;
#   6. there too, the watch (-t 0 --watch) at rest for WATCH_IDLE_SECONDS (default 300) beside a program
#      that only waits for messages in a hidden window: processor time, wake-ups (voluntary context
#      switches of all threads) and resident memory of both, the watch's looks meanwhile (goal: none,
#      and processor time within 1.10 times the other's), and the time from a WM_DISPLAYCHANGE
#      broadcast to the watch's look (median of NOTICE_RUNS runs).
# Usage: bench/measure.sh [RUNS [NOTICE_RUNS]]   (default 20 runs of each program for the start-up
# comparison, 7 notices)
set -euo pipefail
cd "$(dirname "$0")/.."

bin=build/windows/bin
export WINEPREFIX="$PWD/build/windows/wineprefix" WINEDEBUG=-all
# A persistent Wine server, so that no run pays for starting it. One that still runs in the prefix (a
# demo's or the tests', which ends a few seconds after its last program) refuses to be started again
# (exit code 2) and serves these runs as well: the runs follow each other too closely for it to end.
start_wine_server() {
  wineserver -p 2>/dev/null || true
  wine "$bin/empty_program.exe" >/dev/null 2>&1 || true
}

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

# Part 4, run by this script itself on the display that tests/wine/with-xvfb.sh starts.
if [ "${1:-}" = "--notices" ]; then
  notice_runs=$2
  start_wine_server
  wine "$bin/notice_latency.exe" "$notice_runs" | sed 's/^/notice to next pass: /'
  quiet_log=$(mktemp)
  noticed_log=$(mktemp)
  quiet=$(cpu_seconds wine "$bin/SetPrimaryKiv.exe" -t 60 -l "$quiet_log")
  wine "$bin/notice_latency.exe" every 5 11 >/dev/null 2>&1 &
  broadcaster=$!
  noticed=$(cpu_seconds wine "$bin/SetPrimaryKiv.exe" -t 60 -l "$noticed_log")
  wait "$broadcaster"
  passes() { grep -c "Searching for Monitor Screens" "$1"; }
  echo "processor time of a 60 s wait: ${quiet} s without notices ($(passes "$quiet_log") passes)," \
       "${noticed} s with a notice every 5 s ($(passes "$noticed_log") passes)"
  rm -f "$quiet_log" "$noticed_log"

  wine "$bin/notice_latency.exe" watch "$notice_runs" | sed 's/^/notice to the watch'"'"'s look: /'
  idle=${WATCH_IDLE_SECONDS:-300}
  watch_log=$(mktemp)
  wine "$bin/SetPrimaryKiv.exe" -t 0 --watch -l "$watch_log" >/dev/null 2>&1 &
  wine "$bin/waits_for_messages.exe" >/dev/null 2>&1 &
  until grep -q "Watching the screens" "$watch_log"; do sleep 0.2; done
  sleep 5
  watcher=$(pgrep -f 'SetPrimaryKiv.exe -t 0 --watch' | head -n 1)
  waiter=$(pgrep -f 'waits_for_messages.exe' | head -n 1)
  ticks() { awk '{ print $14 + $15 }' "/proc/$1/stat"; }
  wakeups() { cat /proc/"$1"/task/*/status | awk '/^voluntary_ctxt_switches/ { n += $2 } END { print n }'; }
  resident() { awk '/^VmRSS/ { print $2 }' "/proc/$1/status"; }
  watcher_ticks=$(ticks "$watcher"); waiter_ticks=$(ticks "$waiter")
  watcher_wakeups=$(wakeups "$watcher"); waiter_wakeups=$(wakeups "$waiter")
  sleep "$idle"
  hz=$(getconf CLK_TCK)
  watcher_cpu=$(awk -v a="$watcher_ticks" -v b="$(ticks "$watcher")" -v hz="$hz" 'BEGIN { printf "%.2f", (b - a) / hz }')
  waiter_cpu=$(awk -v a="$waiter_ticks" -v b="$(ticks "$waiter")" -v hz="$hz" 'BEGIN { printf "%.2f", (b - a) / hz }')
  echo "the watch at rest for ${idle} s: processor time ${watcher_cpu} s against ${waiter_cpu} s," \
       "wake-ups $(( $(wakeups "$watcher") - watcher_wakeups )) against $(( $(wakeups "$waiter") - waiter_wakeups ))," \
       "resident memory $(resident "$watcher") kB against $(resident "$waiter") kB," \
       "looks $(grep -c "Looked at the screens again" "$watch_log" || true) (goal 0)"
  rm -f "$watch_log"
  exit 0
fi

runs=${1:-20}
notice_runs=${2:-7}
scripts/install-deps.sh windows
cmake --preset windows >/dev/null
cmake --build --preset windows -j2 --target SetPrimaryKiv empty_program one_display_call notice_latency \
  waits_for_messages >/dev/null
start_wine_server
trap 'wineserver -k >/dev/null 2>&1 || true' EXIT

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
    kernel32.dll|user32.dll|gdi32.dll|advapi32.dll|wtsapi32.dll|msvcrt.dll|ntdll.dll) ;;
    *) echo "not a system DLL: $dll"; exit 1 ;;
  esac
done
echo "imports: system DLLs only"

size=$(stat -c %s "$bin/SetPrimaryKiv.exe")
echo "size: SetPrimaryKiv.exe ${size} bytes (goal < 1200000 bytes)"

wineserver -k >/dev/null 2>&1 || true
trap - EXIT
tests/wine/with-xvfb.sh "$0" --notices "$notice_runs"
