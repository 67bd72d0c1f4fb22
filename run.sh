#!/usr/bin/env bash
# The demo. Installs and builds what is missing first.
#
#   ./run.sh [TOOL OPTIONS]                 the host executable on a fresh copy of the built-in
#                                           default desktop (examples/default.json)
#   ./run.sh --desktop FILE [TOOL OPTIONS]  the same on a copy of the desktop file FILE
#   ./run.sh --wine [TOOL OPTIONS]          SetPrimaryKiv.exe under Wine, against Wine's own screen
#
# The tool options default to -t 0 (on the host only without --watch): any -t or --max-wait given
# wins. On the host the desktop is drawn before and after the run, which works on a copy (FILE is
# never changed), one host demo at a time. Waits run on simulated time (SIMULATED_CLOCK=1, see
# docs/simulation.md, "Simulated time") and take no real time; SIMULATED_CLOCK=0 ./run.sh ... waits for real.
set -euo pipefail
root=$(cd "$(dirname "$0")" && pwd)

usage() {
  sed -n '2,13s/^# \{0,1\}//p' "$0"
}

# Whether the tool options give a wait.
gives_wait() {
  while [ $# -gt 0 ]; do
    case "$1" in
      -l|--log) shift ;;
      --) return 1 ;;
      -t*|--max-wait|--max-wait=*) return 0 ;;
    esac
    [ $# -gt 0 ] && shift
  done
  return 1
}

# Whether the tool options ask for the watch, which on simulated time replays a desktop file's whole
# day: the tool's own wait (300 s) then runs before it, as at a sign-in.
watches() {
  while [ $# -gt 0 ]; do
    case "$1" in
      -l|--log) shift ;;
      --) return 1 ;;
      --watch) return 0 ;;
    esac
    [ $# -gt 0 ] && shift
  done
  return 1
}

# The log file that the tool options name, if any.
log_file_of() {
  local log=""
  while [ $# -gt 0 ]; do
    case "$1" in
      -l|--log) log="${2:-}"; [ $# -gt 1 ] && shift ;;
      --log=*) log="${1#--log=}" ;;
      -l?*) log="${1#-l}" ;;
      --) break ;;
    esac
    shift
  done
  printf '%s' "$log"
}

# Runs a command that writes the log named LOG, which is the file FILE here; prints the log's new
# lines when it goes to a file, also when Ctrl-C (or SIGTERM) ended the command. Sets `status` to
# the command's exit code, and `interrupted` when it was interrupted. With `end_run` naming a
# function, the command runs in the background and an interrupt calls that function, which ends it:
# for a program that does not hear the signal.
interrupted=""
end_run=""
run_logged() {
  local log="$1" file="$2"
  shift 2
  local before=0
  if [ -n "$log" ] && [ -f "$file" ]; then
    before=$(stat -c %s "$file")
  fi
  [ -z "$log" ] && echo "-- log (standard output):"
  status=0
  # The signal reaches the command too (Ctrl-C goes to the whole foreground group): the demo waits
  # for it to end and shows what it wrote.
  trap 'interrupted=1' INT TERM
  if [ -z "$end_run" ]; then
    "$@" || status=$?
  else
    local ended
    ended=$(mktemp)
    (
      code=0
      "$@" || code=$?
      echo "$code" >"$ended"
    ) &
    local child=$!
    trap 'interrupted=1; "$end_run"' INT TERM
    # A signal ends the wait early: wait again until the command has ended.
    while kill -0 "$child" 2>/dev/null; do wait "$child" || true; done
    status=$(cat "$ended")
    rm -f "$ended"
  fi
  trap - INT TERM
  [ -n "$interrupted" ] && echo "-- interrupted"
  if [ -n "$log" ]; then
    local where="$log"
    [ "$file" != "$log" ] && where="$log, which is $file"
    if [ -f "$file" ]; then
      echo "-- log: $where (this run's lines)"
      tail -c +"$((before + 1))" "$file"
    else
      echo "-- log: $where: no such file"
    fi
  fi
  echo "-- exit code: $status"
}

# Ends the Wine run as a sign-out would: Wine passes no Ctrl-C to a windowless program, so the tool's
# listening window (which it has while it waits, on an X display) is told that the session ends. A
# tool without that window (no X display, or in the middle of a look that does not end) is ended as
# Windows ends a program without a window at sign-out.
end_wine_run() {
  local tries=0
  if [ -n "${DISPLAY:-}" ]; then
    while [ $tries -lt 3 ]; do
      wine "$root/build/windows/bin/send_session_end.exe" </dev/null && return 0
      tries=$((tries + 1))
      sleep 1
    done
  fi
  echo "-- the tool has no window that hears a sign-out now: the Wine run is ended"
  wineserver -k
}

run_wine() {
  # Without an X display Wine makes no windows: the watch, which hears Windows' notices through a
  # window of the tool's own, cannot run at all.
  if [ -z "${DISPLAY:-}" ] && watches "$@"; then
    echo "run.sh: --watch under Wine needs an X display, and DISPLAY is not set: the tool hears Windows' notices through a window of its own, which Wine makes only on an X display. Run it on your desktop's display, or on a virtual one: Xvfb :5 & DISPLAY=:5 ./run.sh --wine --watch" >&2
    exit 2
  fi
  "$root/scripts/install-deps.sh" windows
  (cd "$root" && cmake --preset windows >/dev/null &&
    cmake --build --preset windows -j2 --target SetPrimaryKiv send_session_end >/dev/null)
  export WINEPREFIX="$root/build/windows/wineprefix" WINEDEBUG=-all
  if [ ! -f "$WINEPREFIX/system.reg" ]; then
    # Wine tells of the prefix it makes on its first start; that is no line of the tool's.
    local setup="$root/build/windows/wineprefix-setup.log"
    echo "== Making the Wine prefix $WINEPREFIX (first run only; Wine's messages: $setup)"
    wine wineboot.exe --init >"$setup" 2>&1 </dev/null || true
    wineserver -w
  fi
  gives_wait "$@" || set -- -t 0 "$@"
  local log file=""
  log=$(log_file_of "$@")
  # A Windows path (C:\kiv.log) is a file inside the prefix, a relative one is in this folder.
  [ -n "$log" ] && file=$(realpath -m "$(winepath -u "$log" 2>/dev/null || printf '%s' "$log")")
  echo "== wine SetPrimaryKiv.exe $*"
  if [ -z "${DISPLAY:-}" ]; then
    echo "(no X display: Wine shows none of the tool's message boxes, the help and the errors without a log file, and the tool's waits hear no notices of Windows, they sleep)"
  fi
  # In a session of its own: Ctrl-C reaches the programs of the terminal's process group, and Wine's
  # desktop process, which the tool starts, ends on it and takes the tool's window along.
  end_run=end_wine_run
  run_logged "$log" "$file" setsid -w wine "$root/build/windows/bin/SetPrimaryKiv.exe" "$@"
  if [ -z "${DISPLAY:-}" ] && [ "$status" -ne 0 ] && [ -z "$interrupted" ]; then
    echo "-- no X display (DISPLAY is not set): an error that the tool could not write to a log file is in a message box, which Wine cannot show; give -l FILE to read it in the log, or run on an X display"
  fi
}

run_host() {
  local original="$1"
  shift
  gives_wait "$@" || watches "$@" || set -- -t 0 "$@"
  local demo="$root/build/demo"
  local desktop="$demo/desktop.json"
  mkdir -p "$demo"
  # Two demos at once would run on one desktop file, and each would draw the other's changes.
  exec 9>"$demo/.lock"
  if ! flock -n 9; then
    echo "run.sh: another ./run.sh demo is running on $desktop; run this one when it has ended" >&2
    exit 2
  fi
  "$root/scripts/install-deps.sh" host
  (cd "$root" && cmake --preset host >/dev/null &&
    cmake --build --preset host -j2 --target SetPrimaryKiv desktop_view >/dev/null)
  local view="$root/build/host/bin/desktop_view"

  # Drawn from the file itself, so that what is wrong in it is reported with its own name.
  echo "== Desktop before: $original"
  if ! "$view" "$original"; then
    echo "run.sh: $original is no desktop file the simulation can read (see docs/desktop-files.md)" >&2
    exit 2
  fi
  cp "$original" "$desktop"
  export SIMULATED_DESKTOP="$desktop" SIMULATED_CLOCK="${SIMULATED_CLOCK:-1}"
  export SIMULATED_EVENT_LOG="$demo/events.txt"
  # The window system tells on standard error what happens of the desktop file's day, and when.
  export SIMULATED_NARRATION=1
  rm -f "$SIMULATED_EVENT_LOG"
  echo
  echo "== SetPrimaryKiv $*"
  [ "$SIMULATED_CLOCK" = 1 ] && echo "(simulated time: waits take no real time)"
  # The watch ends with the session: said before it waits, as a file without an end waits for Ctrl-C.
  if watches "$@"; then
    local end
    end=$("$view" "$desktop" | sed -n 's/^the session ends at second \([0-9]*\)$/\1/p')
    if [ -n "$end" ]; then
      echo "(the watch ends with the session, at second $end as the desktop file says)"
    else
      echo "(the watch runs until Ctrl-C: the desktop file sets no end of the session, \"sessionEndsAtSecond\")"
    fi
  fi
  local log
  log=$(log_file_of "$@")
  run_logged "$log" "$log" "$root/build/host/bin/SetPrimaryKiv" "$@"
  echo "-- the run's events in the Application log:"
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
[ -n "$interrupted" ] && exit 130
exit "${status:-0}"
