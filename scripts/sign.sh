#!/usr/bin/env bash
# Signs a Windows executable or Windows Installer package in place with Authenticode (SHA-256, by
# osslsigncode): with the certificate and key of the PKCS#12 file KIV_SIGNING_PFX, whose password is
# KIV_SIGNING_PASSWORD, and with a timestamp from the RFC 3161 server KIV_SIGNING_TIMESTAMP_URL when
# that is set (a signature with a timestamp stays valid after the certificate expires).
# Usage: scripts/sign.sh FILE DESCRIPTION    (DESCRIPTION: the name that Windows shows for the file)
# The build calls it (cmake/Signing.cmake); it fails, and leaves FILE as it was, when it cannot sign.
set -euo pipefail

[ $# -eq 2 ] || { echo "usage: $0 FILE DESCRIPTION" >&2; exit 2; }
file=$1
description=$2
if [ -z "${KIV_SIGNING_PFX:-}" ] || [ -z "${KIV_SIGNING_PASSWORD:-}" ]; then
  echo "$0: KIV_SIGNING_PFX and KIV_SIGNING_PASSWORD must be set for the build as for its configuration" >&2
  exit 1
fi

signed="$file.signing"
rm -f "$signed"
trap 'rm -f "$signed"' EXIT
# The password goes through a pipe, never on a command line that other users' ps shows.
arguments=(sign -pkcs12 "$KIV_SIGNING_PFX" -readpass /dev/stdin -h sha256 -n "$description" -in "$file" -out "$signed")
if [ -n "${KIV_SIGNING_TIMESTAMP_URL:-}" ]; then
  arguments+=(-ts "$KIV_SIGNING_TIMESTAMP_URL")
fi
if ! output=$(printf '%s' "$KIV_SIGNING_PASSWORD" | osslsigncode "${arguments[@]}" 2>&1); then
  echo "$0: cannot sign $file:" >&2
  echo "$output" >&2
  exit 1
fi
mv -f "$signed" "$file"
