#!/usr/bin/env bash
# Formats every C++ file of the tree with .clang-format, or with --check lists the files that do not
# follow it and fails.
set -euo pipefail
cd "$(dirname "$0")/.."
mapfile -t files < <(git ls-files --cached --others --exclude-standard -- '*.cpp' '*.h')
if [ "${1:-}" = "--check" ]; then
  unformatted=()
  for file in "${files[@]}"; do
    [ -f "$file" ] || continue
    clang-format --style=file "$file" | cmp -s - "$file" || unformatted+=("$file")
  done
  if [ ${#unformatted[@]} -gt 0 ]; then
    printf 'not formatted (scripts/format.sh formats them): %s\n' "${unformatted[@]}"
    exit 1
  fi
  echo "formatting: ${#files[@]} files follow .clang-format"
else
  clang-format -i --style=file "${files[@]}"
fi
