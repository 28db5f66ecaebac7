#!/usr/bin/env bash
# Sets up, builds and installs ZEFMON into ./install, starts it and lets the
# demo program feed it trace lines. Without a display it says so and runs on
# a virtual one (Xvfb), saving a screenshot to build/zefmon-screenshot.png.
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/setup.sh
cmake -S . -B build/release -DCMAKE_BUILD_TYPE=Release -DCMAKE_INSTALL_PREFIX="$PWD/install" >/dev/null
cmake --build build/release -j"$(nproc)"
cmake --install build/release >/dev/null
bin="$PWD/install/bin"

feed() {
  # Wait until the monitor answers, then run the demo into it.
  for _ in $(seq 1 100); do
    "$bin/zeftrace" "ZEFMON is up: lines from the demo follow" 2>/dev/null && break
    sleep 0.1
  done
  "$bin/zeftrace_demo" >/dev/null 2>&1 || true
}

if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ]; then
  echo "run: no display found; starting ZEFMON on a virtual X display (Xvfb)."
  echo "run: a screenshot will be saved to build/zefmon-screenshot.png; stop with Ctrl+C."
  exec xvfb-run -a -s "-screen 0 1024x768x24" bash -c '
    "'"$bin"'/zefmon" & pid=$!
    '"$(declare -f feed)"'
    bin="'"$bin"'"; feed
    sleep 1; import -window root build/zefmon-screenshot.png && echo "run: screenshot saved to build/zefmon-screenshot.png"
    wait $pid'
fi

"$bin/zefmon" & pid=$!
feed
wait $pid
