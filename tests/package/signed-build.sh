#!/usr/bin/env bash
# The signed build: with a throwaway code-signing certificate made here by openssl, a build of the
# tool and its package in a build folder of its own (tests off) signs the executable and then the
# package, and the package carries the signed executables, the licence and the third-party notices;
# the unsigned build's executable has no signature. Every signature is checked by `osslsigncode verify` against the certificate.
# Usage: signed-build.sh SOURCE_DIR BUILD_DIR UNSIGNED_EXE
set -euo pipefail

source_dir=$(realpath "$1")
build_dir=$(realpath -m "$2")
unsigned_exe=$(realpath "$3")

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

openssl req -x509 -newkey rsa:2048 -nodes -sha256 -days 2 -subj "/CN=SetPrimaryKiv test signer" \
  -addext "keyUsage=critical,digitalSignature" -addext "extendedKeyUsage=codeSigning" \
  -keyout "$work/key.pem" -out "$work/cert.pem" 2>/dev/null
openssl pkcs12 -export -inkey "$work/key.pem" -in "$work/cert.pem" -passout pass:throwaway \
  -out "$work/signer.pfx"

export KIV_SIGNING_PFX="$work/signer.pfx" KIV_SIGNING_PASSWORD=throwaway
unset KIV_SIGNING_TIMESTAMP_URL
cmake -S "$source_dir" -B "$build_dir" --toolchain "$source_dir/cmake/mingw-w64-x86_64.cmake" \
  -DCMAKE_BUILD_TYPE=MinSizeRel -DBUILD_TESTING=OFF >"$work/configure.log" || { cat "$work/configure.log"; exit 1; }
cmake --build "$build_dir" -j2 --target msi_package >"$work/build.log" || { cat "$work/build.log"; exit 1; }

verified() {  # FILE: signed, with SHA-256, by the throwaway certificate
  local output
  output=$(osslsigncode verify -CAfile "$work/cert.pem" -in "$1" 2>&1) || { echo "$output"; return 1; }
  grep -q "Message digest algorithm *: SHA256" <<<"$output" || { echo "$output"; return 1; }
  grep -q "Subject: /CN=SetPrimaryKiv test signer" <<<"$output" || { echo "$output"; return 1; }
}

failed=0
package=$(ls "$build_dir"/SetPrimaryKiv-*-x64.msi)
for file in "$build_dir/bin/SetPrimaryKiv.exe" "$build_dir/bin/DesktopCapture.exe" "$package"; do
  verified "$file" || { echo "FAIL: $file is not signed as it should be"; failed=1; }
done
mkdir "$work/extracted"
(cd "$work/extracted" && msiextract "$package" >/dev/null)
for name in SetPrimaryKiv.exe DesktopCapture.exe; do
  packaged=$(find "$work/extracted" -name "$name")
  verified "$packaged" || { echo "FAIL: the package carries an unsigned $name"; failed=1; }
done
for name in LICENSE.txt THIRD-PARTY-NOTICES.txt; do
  [ -n "$(find "$work/extracted" -name "$name")" ] || { echo "FAIL: the package lacks $name"; failed=1; }
done
if osslsigncode verify -in "$unsigned_exe" >/dev/null 2>&1; then
  echo "FAIL: the build without KIV_SIGNING_PFX signed $unsigned_exe"
  failed=1
fi
[ $failed -eq 0 ] && echo "signed: both executables, the package and the executables in it, which it carries with the notices"
exit $failed
