#!/usr/bin/env bash
# Starts the installed zefmon offscreen with a fresh home, sends it lines
# with the installed zeftrace and the demo, and ends it.
set -euo pipefail
bin="$1"
work="$(mktemp -d)"
# The monitor saves its settings as it ends: the folder goes only once it has.
trap 'kill "$pid" 2>/dev/null && wait "$pid" 2>/dev/null; rm -rf "$work"' EXIT
export HOME="$work" XDG_CONFIG_HOME="$work/config" XDG_RUNTIME_DIR="$work/run" QT_QPA_PLATFORM=offscreen
mkdir -m 700 "$XDG_RUNTIME_DIR"

"$bin/zefmon" 2>"$work/zefmon.err" & pid=$!
for _ in $(seq 1 100); do
  if "$bin/zeftrace" "smoke test line" 2>/dev/null; then break; fi
  kill -0 "$pid" || { echo "zefmon ended early:"; cat "$work/zefmon.err"; exit 1; }
  sleep 0.1
done
"$bin/zeftrace" "second line"
printf 'a\nb\n' | "$bin/zeftrace"
"$bin/zeftrace_demo" >/dev/null 2>&1
kill -0 "$pid"
echo "smoke: zefmon took lines from zeftrace and the demo"
