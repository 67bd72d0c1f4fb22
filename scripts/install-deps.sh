#!/usr/bin/env bash
# Installs the Debian packages that building and testing need, and nothing when all are there.
# Usage: scripts/install-deps.sh [host|windows|fuzz]...   (default: everything)
set -euo pipefail

# Each part holds all that its build and its tests need, so that any part runs alone on a fresh
# machine. The Windows tests held against Wine also run the host build's programs (part host).
host=(cmake make g++ libgtest-dev libcxxopts-dev nlohmann-json3-dev clang-format git)
windows=(cmake make g++-mingw-w64-x86-64-posix mingw-w64-x86-64-dev googletest libcxxopts-dev nlohmann-json3-dev
         wine wine64 xvfb xserver-xorg-core xserver-xorg-video-dummy wixl osslsigncode openssl msitools)
fuzz=(cmake make clang libclang-rt-14-dev libgtest-dev libcxxopts-dev nlohmann-json3-dev)

wanted=()
[ $# -eq 0 ] && set -- host windows fuzz
for part in "$@"; do
  case "$part" in
    host) wanted+=("${host[@]}") ;;
    windows) wanted+=("${windows[@]}") ;;
    fuzz) wanted+=("${fuzz[@]}") ;;
    *) echo "unknown part: $part" >&2; exit 2 ;;
  esac
done

missing=()
for package in "${wanted[@]}"; do
  dpkg -s "$package" >/dev/null 2>&1 || missing+=("$package")
done
[ ${#missing[@]} -eq 0 ] && exit 0

mapfile -t missing < <(printf '%s\n' "${missing[@]}" | sort -u)
echo "Installing: ${missing[*]}"
export DEBIAN_FRONTEND=noninteractive
apt-get update -qq
apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
