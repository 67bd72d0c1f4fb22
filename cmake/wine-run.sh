#!/bin/sh
# Runs a Windows program under Wine in the prefix $WINEPREFIX. Wine starts its server, and with it the
# prefix's services, for every program unless a server is running: a server kept for 30 seconds after
# its last program ends lets the tests, one program start per case, share one. The services are
# started apart, with no tie to this program's output, so that whoever reads that output (ctest) sees
# its end when the program ends, not when the server does.
#
# A new prefix is made completely before anything runs in it: a server stopped while Wine still
# makes it (as each test on its own X display does) would leave it unable to make windows.
if [ ! -f "$WINEPREFIX/system.reg" ]; then
  wine wineboot.exe --init >/dev/null 2>&1 </dev/null
  wineserver -w
fi
if wineserver -p30 >/dev/null 2>&1; then
  wine cmd.exe /c exit >/dev/null 2>&1 </dev/null
fi
exec wine "$@"
