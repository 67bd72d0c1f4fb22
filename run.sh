#!/usr/bin/env bash
# Runs SetPrimaryKiv.exe under Wine with the given tool options, after installing and building
# what is missing, and shows where the log went.
set -euo pipefail
cd "$(dirname "$0")"
scripts/install-deps.sh windows
cmake --preset windows >/dev/null
cmake --build --preset windows -j2 --target SetPrimaryKiv >/dev/null

export WINEPREFIX="$PWD/build/windows/wineprefix" WINEDEBUG=-all
status=0
wine build/windows/bin/SetPrimaryKiv.exe "$@" || status=$?
echo "exit code: $status"
log=""
while [ $# -gt 0 ]; do
  case "$1" in
    -l|--log) log="${2:-}"; shift ;;
    --log=*) log="${1#--log=}" ;;
  esac
  shift
done
if [ -n "$log" ]; then
  echo "log: $log"
else
  echo "log: standard output (above)"
fi
exit $status
