#!/usr/bin/env bash
# Sets up, builds and runs every test: once with warnings as errors, once
# with the address and undefined-behaviour sanitizers.
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/setup.sh
jobs="$(nproc)"

run_suite() {  # name, extra cmake arguments...
  local dir="build/$1"; shift
  cmake -S . -B "$dir" -DZEF_WERROR=ON -DCMAKE_INSTALL_PREFIX="$PWD/$dir/install" "$@" >/dev/null
  cmake --build "$dir" -j"$jobs"
  cmake --install "$dir" >/dev/null
  # Tests that need a real X server run on a virtual one when there is none.
  if [ -z "${DISPLAY:-}" ]; then
    xvfb-run -a -s "-screen 0 1024x768x24" ctest --test-dir "$dir" --output-on-failure -j"$jobs"
  else
    ctest --test-dir "$dir" --output-on-failure -j"$jobs"
  fi
}

run_suite test -DCMAKE_BUILD_TYPE=RelWithDebInfo
run_suite test-asan -DCMAKE_BUILD_TYPE=Debug -DZEF_SANITIZE=address,undefined
