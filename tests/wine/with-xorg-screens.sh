#!/bin/sh
# Usage: with-xorg-screens.sh N command...
# Runs a command on a private X display of N screens side by side (1 to 8), with Wine's server for the
# prefix in $WINEPREFIX started afresh, and stops both afterwards; exits with the command's status.
#
# The display is an Xorg server with the dummy video driver (Debian's xserver-xorg-video-dummy, needs
# root): one X screen whose RandR outputs DUMMY0 ... DUMMY<N-1> are enabled, each a monitor of its own,
# in a row from (0, 0) to the right, DUMMY0 first. Wine 8 takes each output with its own CRTC for a
# display device of its one adapter, so Windows programs see N monitors, where a Xvfb display shows
# one. The sizes cycle through 1024x768, 1280x1024 and 800x600, so that the screens differ.
# XORG_PRIMARY_SCREEN=k (default 0) makes DUMMYk RandR's primary output: Wine then lists it first, as
# \\.\DISPLAY1 at (0, 0), and the screens left of it at negative x.
set -u
if [ $# -lt 2 ] || ! [ "$1" -ge 1 ] 2>/dev/null || [ "$1" -gt 8 ]; then
  echo "usage: $0 N command... (N from 1 to 8)" >&2
  exit 2
fi
screens=$1
shift
primary=${XORG_PRIMARY_SCREEN:-0}
stop_wine() { wineserver -k >/dev/null 2>&1; wineserver -w >/dev/null 2>&1; }
stop_wine

dir=$(mktemp -d)
{
  cat <<'CONF'
Section "ServerFlags"
  Option "AutoAddDevices" "false"
  Option "AutoEnableDevices" "false"
  Option "DontVTSwitch" "true"
EndSection
CONF
  echo 'Section "Device"'
  echo '  Identifier "dummy"'
  echo '  Driver "dummy"'
  echo '  VideoRam 256000'
  i=0
  while [ $i -lt "$screens" ]; do echo "  Option \"monitor-DUMMY$i\" \"monitor$i\""; i=$((i + 1)); done
  echo 'EndSection'
  i=0
  while [ $i -lt "$screens" ]; do
    case $((i % 3)) in 0) mode=1024x768 ;; 1) mode=1280x1024 ;; *) mode=800x600 ;; esac
    echo 'Section "Monitor"'
    echo "  Identifier \"monitor$i\""
    echo '  HorizSync 5.0-1000.0'
    echo '  VertRefresh 5.0-200.0'
    echo '  Option "Enable" "true"'
    echo "  Option \"PreferredMode\" \"$mode\""
    [ $i -gt 0 ] && echo "  Option \"RightOf\" \"DUMMY$((i - 1))\""
    [ $i -eq "$primary" ] && echo '  Option "Primary" "true"'
    echo 'EndSection'
    i=$((i + 1))
  done
  cat <<'CONF'
Section "Screen"
  Identifier "screen"
  Device "dummy"
  Monitor "monitor0"
  DefaultDepth 24
  SubSection "Display"
    Depth 24
    Virtual 8192 2048
  EndSubSection
EndSection
CONF
} >"$dir/xorg.conf"

Xorg -config "$dir/xorg.conf" -logfile "$dir/xorg.log" -nolisten tcp -noreset -displayfd 3 \
  3>"$dir/display" 2>/dev/null </dev/null &
xorg=$!
stop_xorg() {
  kill $xorg 2>/dev/null
  wait $xorg 2>/dev/null
  rm -rf "$dir"
}
tries=0
while [ ! -s "$dir/display" ] && [ $tries -lt 100 ] && kill -0 $xorg 2>/dev/null; do
  sleep 0.1
  tries=$((tries + 1))
done
if [ ! -s "$dir/display" ]; then
  echo "Xorg did not start (is xserver-xorg-video-dummy installed, and are we root?)" >&2
  tail -n 20 "$dir/xorg.log" >&2 2>/dev/null
  stop_xorg
  exit 1
fi
DISPLAY=:$(cat "$dir/display")
export DISPLAY
"$@"
status=$?
stop_wine
stop_xorg
exit $status
