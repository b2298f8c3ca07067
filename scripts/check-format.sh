#!/usr/bin/env bash
# Fails, naming each place, when a C++ file that git tracks under src/, tests/,
# bench/ or fuzz/ is not as .clang-format would write it. Nothing is changed:
# to put the files right, run the same clang-format with -i instead.
set -euo pipefail
cd "$(dirname "$0")/.."

clang_format=${CLANG_FORMAT:-clang-format}
# Each major version of clang-format lays some lines out differently, so a
# check with another one would fail a tree that version 14 formatted.
version=$("$clang_format" --version)
if [[ $version != *" version 14."* ]]; then
  echo "check-format: needs clang-format 14 (Debian 12's), found: $version" >&2
  exit 2
fi

files=()
while IFS= read -r -d '' f; do
  # A file deleted but not yet staged is still listed; there is nothing to check.
  [[ -f $f ]] && files+=("$f")
done < <(git ls-files -z -- 'src/*.cpp' 'src/*.h' 'tests/*.cpp' 'tests/*.h' 'bench/*.cpp' 'bench/*.h' \
  'fuzz/*.cpp' 'fuzz/*.h')

if ((${#files[@]} == 0)); then
  echo "check-format: git lists no C++ files to check" >&2
  exit 2
fi
"$clang_format" --style=file --dry-run --Werror "${files[@]}"
