#!/bin/sh
# Usage: held-against-wine.sh N DESKTOPCAPTURE_EXE SETPRIMARYKIV_EXE HOST_BIN_DIR
#
# Holds the simulated window system against Wine on a private X display of N screens
# (with-xorg-screens.sh): captures Wine's desktop with DesktopCapture.exe, runs SetPrimaryKiv.exe
# -t 0 -l under Wine and the host's SetPrimaryKiv on a copy of the captured file, and fails unless
# both exit alike and log the same lines (the start line aside), and unless the host's
# DesktopCapture gives the captured file back. Wine runs in the prefix $WINEPREFIX.
set -u
if [ $# -ne 4 ]; then
  echo "usage: $0 N DESKTOPCAPTURE_EXE SETPRIMARYKIV_EXE HOST_BIN_DIR" >&2
  exit 2
fi
screens=$1 capture_exe=$(realpath "$2") tool_exe=$(realpath "$3") host_bin=$(realpath "$4")
here=$(cd "$(dirname "$0")" && pwd)
for program in "$host_bin/SetPrimaryKiv" "$host_bin/DesktopCapture"; do
  if [ ! -x "$program" ]; then
    echo "$program is missing: build the host preset first (cmake --build --preset host)" >&2
    exit 1
  fi
done

dir=$(mktemp -d)
trap 'rm -rf "$dir"' EXIT
# Under Wine, in one X session: the capture, then the tool; each exit code into a file.
"$here/with-xorg-screens.sh" "$screens" sh -c '
  run() { "$0" "$@" </dev/null >/dev/null 2>&1; }
  cd "$1" &&
  run "$2" "$(winepath -w "$1/Юля.json")"; echo $? >capture-status
  run "$3" -t 0 -l "$(winepath -w "$1/wine.log")"; echo $? >wine-status
' "$(cd "$here/../.." && pwd)/cmake/wine-run.sh" "$dir" "$capture_exe" "$tool_exe" || exit 1

failed=0
# A file name beyond the system's code page, as a user's folder can have.
mv "$dir/Юля.json" "$dir/captured.json" 2>/dev/null
if [ "$(cat "$dir/capture-status")" != 0 ] || [ ! -s "$dir/captured.json" ]; then
  echo "DesktopCapture.exe failed under Wine on $screens screens (exit code $(cat "$dir/capture-status"))" >&2
  exit 1
fi
# Wine keeps its list of screens in the prefix: a list left from another X display would hold nothing.
shown=$(grep -c '"attached": true' "$dir/captured.json")
if [ "$shown" != "$screens" ]; then
  echo "Wine showed $shown screens on a display of $screens" >&2
  exit 1
fi
# Wine gives each screen the refresh rate of its X mode: 85 Hz for the modes that the dummy driver
# takes from its built-in list within the monitors' range. The capture must write it, or a replay runs
# the screens at the default 60 Hz.
rates=$(grep -c '"refreshRate": 85' "$dir/captured.json")
if [ "$rates" != "$screens" ]; then
  echo "the capture wrote a refresh rate of 85 Hz for $rates of $screens screens" >&2
  cat "$dir/captured.json" >&2
  exit 1
fi
cp "$dir/captured.json" "$dir/host.json"
SIMULATED_DESKTOP="$dir/host.json" SIMULATED_CLOCK=1 "$host_bin/SetPrimaryKiv" -t 0 -l "$dir/host.log"
host_status=$?
wine_status=$(cat "$dir/wine-status")
if [ "$host_status" != "$wine_status" ]; then
  echo "exit codes differ: Wine $wine_status, host $host_status" >&2
  failed=1
fi
tail -n +2 "$dir/wine.log" | tr -d '\r' >"$dir/wine.lines"
tail -n +2 "$dir/host.log" | tr -d '\r' >"$dir/host.lines"
if ! diff -u "$dir/wine.lines" "$dir/host.lines" >&2; then
  echo "the logs differ (- Wine, + host)" >&2
  failed=1
fi
if ! SIMULATED_DESKTOP="$dir/captured.json" "$host_bin/DesktopCapture" >"$dir/recaptured.json" ||
  ! diff -u "$dir/captured.json" "$dir/recaptured.json" >&2; then
  echo "the host's capture of the captured file differs from it (- captured under Wine, + host)" >&2
  failed=1
fi
if [ $failed -ne 0 ]; then
  echo "captured under Wine on $screens screens:" >&2
  cat "$dir/captured.json" >&2
fi
exit $failed
