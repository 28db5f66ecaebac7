#!/usr/bin/env bash
# The installed zefmon from the command line: --help and --version answer
# without a display; without a usable display it ends with status 1 and one
# sentence; a second monitor says on standard error where trace clients go.
set -uo pipefail
bin="$1"
work="$(mktemp -d)"
pids=()
trap 'for p in "${pids[@]}"; do kill "$p" 2>/dev/null; done; rm -rf "$work"' EXIT
failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }

# Runs zefmon with exactly the environment given; sets out, err, rc.
run() {
  env -i "$@" "$bin/zefmon" "${args[@]}" >"$work/out" 2>"$work/err"
  rc=$?
  out="$(cat "$work/out")"
  err="$(cat "$work/err")"
}

args=(--help)
run
[ "$rc" -eq 0 ] || fail "--help: status $rc"
grep -q '^Usage: zefmon' <<<"$out" || fail "--help: no usage line: $out"
[ -z "$err" ] || fail "--help: standard error: $err"

args=(--version)
run DISPLAY=:4242
[ "$rc" -eq 0 ] || fail "--version: status $rc"
[[ "$out" =~ ^zefmon\ [0-9]+\.[0-9]+\.[0-9]+$ ]] || fail "--version: $out"

# Without a display: one sentence on standard error, nothing else.
args=()
for case in "" "DISPLAY=:4242" "WAYLAND_DISPLAY=zef-none" "QT_QPA_PLATFORM=nosuchplugin"; do
  run HOME="$work" XDG_RUNTIME_DIR="$work" $case
  [ "$rc" -eq 1 ] || fail "no display ($case): status $rc"
  [ "$(wc -l <"$work/err")" -eq 1 ] || fail "no display ($case): not one line: $err"
  [[ "$err" =~ ^zefmon:\ .*\.$ ]] || fail "no display ($case): $err"
  [ -z "$out" ] || fail "no display ($case): standard output: $out"
done

# Two monitors on one socket folder: the second says that trace clients
# reach the first, and keeps running.
export HOME="$work" XDG_CONFIG_HOME="$work/config" XDG_RUNTIME_DIR="$work/run" QT_QPA_PLATFORM=offscreen
mkdir -m 700 "$XDG_RUNTIME_DIR"
"$bin/zefmon" 2>"$work/first.err" & pids+=($!)
for _ in $(seq 1 100); do
  "$bin/zeftrace" "first is up" 2>/dev/null && break
  sleep 0.1
done
"$bin/zefmon" 2>"$work/second.err" & pids+=($!)
sentence="zefmon: Another ZEFMON is already running: trace clients reach that one, not this one."
for _ in $(seq 1 100); do
  grep -qF "$sentence" "$work/second.err" && break
  sleep 0.1
done
grep -qF "$sentence" "$work/second.err" || fail "second monitor: $(cat "$work/second.err")"
kill -0 "${pids[1]}" 2>/dev/null || fail "second monitor ended"
grep -q "Another" "$work/first.err" && fail "first monitor: $(cat "$work/first.err")"

[ "$failures" -eq 0 ] && echo "commandline: all cases behave"
exit "$failures"
