#!/bin/sh
# Runs a command on a private Xvfb display (Wine shows message boxes only on an X display), with
# Wine's server for the prefix in $WINEPREFIX started afresh, and stops both afterwards. The display
# never resets: an X server resets when its last client leaves and refuses connections meanwhile, and
# a Wine program that cannot open the display makes no window (a box not shown, exit code 1).
set -u
stop_wine() { wineserver -k >/dev/null 2>&1; wineserver -w >/dev/null 2>&1; }
stop_wine
displayfile=$(mktemp)
Xvfb -displayfd 3 -screen 0 1280x1024x24 -nolisten tcp -noreset 3>"$displayfile" 2>/dev/null &
xvfb=$!
tries=0
while [ ! -s "$displayfile" ] && [ $tries -lt 100 ]; do sleep 0.1; tries=$((tries + 1)); done
if [ ! -s "$displayfile" ]; then
  echo "Xvfb did not start" >&2
  kill $xvfb 2>/dev/null
  exit 1
fi
DISPLAY=:$(cat "$displayfile")
export DISPLAY
rm -f "$displayfile"
"$@"
status=$?
stop_wine
kill $xvfb 2>/dev/null
wait $xvfb 2>/dev/null
exit $status
