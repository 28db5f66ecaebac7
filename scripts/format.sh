#!/usr/bin/env bash
# Lays out every tracked C++ source with .clang-format (clang-format from
# Debian's clang-format package). With --check, changes nothing and lists
# the files whose layout differs; exits 1 when there are any.
set -euo pipefail
cd "$(dirname "$0")/.."
command -v clang-format >/dev/null || { echo "format.sh: clang-format is not installed (apt-get install clang-format)" >&2; exit 2; }
mapfile -t files < <(git ls-files '*.cpp' '*.h' '*.c')
if [ "${1:-}" = "--check" ]; then
  differ=0
  for f in "${files[@]}"; do
    if ! clang-format "$f" | cmp -s - "$f"; then echo "$f"; differ=1; fi
  done
  exit "$differ"
fi
clang-format -i "${files[@]}"
