#!/usr/bin/env bash
# The demo. Installs and builds what is missing first.
#
#   ./run.sh [TOOL OPTIONS]                 the host executable on a fresh copy of the built-in
#                                           default desktop (examples/default.json)
#   ./run.sh --desktop FILE [TOOL OPTIONS]  the same on a copy of the desktop file FILE
#   ./run.sh --wine [TOOL OPTIONS]          SetPrimaryKiv.exe under Wine, against Wine's own screen
#
# On the host, the tool options default to -t 0. The desktop is drawn before and after the run, and
# the run works on build/demo/desktop.json: FILE itself is never changed. Waits run on simulated time
# (SIMULATED_CLOCK=1, see README.md, "Simulated time") and take no real time; SIMULATED_CLOCK=0 ./run.sh ...
# waits for real.
set -euo pipefail
root=$(cd "$(dirname "$0")" && pwd)

usage() {
  sed -n '2,12s/^# \{0,1\}//p' "$0"
}

# The log file that the tool options name, if any.
log_file_of() {
  local log=""
  while [ $# -gt 0 ]; do
    case "$1" in
      -l|--log) log="${2:-}"; shift ;;
      --log=*) log="${1#--log=}" ;;
    esac
    shift
  done
  printf '%s' "$log"
}

# Runs a command that writes the log; prints the log's new lines when it goes to a file.
# Sets `status` to the command's exit code.
run_logged() {
  local log="$1"
  shift
  local before=0
  if [ -n "$log" ] && [ -f "$log" ]; then
    before=$(stat -c %s "$log")
  fi
  [ -z "$log" ] && echo "-- log (standard output):"
  status=0
  "$@" || status=$?
  if [ -n "$log" ]; then
    echo "-- log: $log (this run's lines)"
    [ -f "$log" ] && tail -c +"$((before + 1))" "$log"
  fi
  echo "-- exit code: $status"
}

run_wine() {
  "$root/scripts/install-deps.sh" windows
  (cd "$root" && cmake --preset windows >/dev/null && cmake --build --preset windows -j2 --target SetPrimaryKiv >/dev/null)
  export WINEPREFIX="$root/build/windows/wineprefix" WINEDEBUG=-all
  echo "== wine SetPrimaryKiv.exe $*"
  run_logged "$(log_file_of "$@")" wine "$root/build/windows/bin/SetPrimaryKiv.exe" "$@"
}

run_host() {
  local original="$1"
  shift
  [ $# -eq 0 ] && set -- -t 0
  "$root/scripts/install-deps.sh" host
  (cd "$root" && cmake --preset host >/dev/null &&
    cmake --build --preset host -j2 --target SetPrimaryKiv desktop_view >/dev/null)
  local view="$root/build/host/bin/desktop_view"
  local demo="$root/build/demo"
  local desktop="$demo/desktop.json"
  mkdir -p "$demo"
  cp "$original" "$desktop"
  export SIMULATED_DESKTOP="$desktop" SIMULATED_CLOCK="${SIMULATED_CLOCK:-1}"
  export SIMULATED_EVENT_LOG="$demo/events.txt"
  rm -f "$SIMULATED_EVENT_LOG"

  echo "== Desktop before: $original"
  "$view" "$desktop" || true
  echo
  echo "== SetPrimaryKiv $*"
  [ "$SIMULATED_CLOCK" = 1 ] && echo "(simulated time: waits take no real time)"
  run_logged "$(log_file_of "$@")" "$root/build/host/bin/SetPrimaryKiv" "$@"
  echo "-- the run's event in the Application log:"
  cat "$SIMULATED_EVENT_LOG" 2>/dev/null || true
  echo
  echo "== Desktop after: $desktop"
  "$view" "$desktop" || true
  echo
  echo "The desktop after the run is in $desktop; $original is unchanged."
}

case "${1:-}" in
  -h|--help|help)
    usage
    ;;
  --wine)
    shift
    run_wine "$@"
    ;;
  --desktop)
    if [ $# -lt 2 ]; then
      echo "run.sh: --desktop needs a desktop file" >&2
      exit 2
    fi
    if [ ! -r "$2" ] || [ -d "$2" ]; then
      echo "run.sh: cannot read the desktop file $2" >&2
      exit 2
    fi
    file=$(realpath "$2")
    shift 2
    run_host "$file" "$@"
    ;;
  *)
    run_host "$root/examples/default.json" "$@"
    ;;
esac
exit "${status:-0}"
