#!/bin/sh
# Runs a Windows program under Wine in the prefix $WINEPREFIX. Wine starts its server, and with it the
# prefix's services, for every program unless a server is running: a server kept for 30 seconds after
# its last program ends lets the tests, one program start per case, share one.
wineserver -p30 >/dev/null 2>&1 || true
exec wine "$@"
