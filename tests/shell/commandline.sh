#!/usr/bin/env bash
# The installed zefmon from the command line: --help and --version answer
# without a display; without a usable display it ends with status 1 and one
# sentence; a second monitor says on standard error where trace clients go;
# an end signal closes it in order; --follow brings a file's lines, through a
# rotation (by hand and by logrotate), and a missing file waits without
# stopping the others; --kernel brings the kernel's log or the line that
# says it may not be read; --journal-dir brings a directory's last matching
# journal entries and follows it beside a directory that is not there, a bad match
# or start is refused before any window opens, and a saved journal source
# goes on where the last start stopped.
set -uo pipefail
bin="$1"
work="$(mktemp -d)"
pids=()
# Monitors save their settings as they end: the folder goes only once they have.
trap 'for p in "${pids[@]}"; do kill "$p" 2>/dev/null && wait "$p" 2>/dev/null; done; rm -rf "$work"' EXIT
failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }
# Runs the command given until it succeeds, for at most 10 s.
wait_until() {
  for _ in $(seq 1 100); do
    "$@" && return 0
    sleep 0.1
  done
  return 1
}
# The lines of the monitor's log file $1 but those starting with $2 (the
# sources' own notices).
taken() { grep -v "^$2" "$1" 2>/dev/null | tr -d '\r'; }
taken_is() { [ "$(taken "$1" "$2")" = "$3" ]; }

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

for p in "${pids[@]}"; do kill "$p" 2>/dev/null; wait "$p" 2>/dev/null; done
pids=()

# Starts a monitor with its own socket folder and the settings file holding
# one value; sets pid and run once a trace client reaches it.
start_monitor() {  # name, env arguments...
  local name="$1"; shift
  run="$work/run-$name"
  mkdir -m 700 "$run"
  mkdir -p "$XDG_CONFIG_HOME/Quorbel"
  printf '[Init.Loop]\nCount=7\n' >"$XDG_CONFIG_HOME/Quorbel/ZEFMON.conf"
  XDG_RUNTIME_DIR="$run" env "$@" "$bin/zefmon" 2>"$work/$name.err" & pid=$!
  pids+=("$pid")
  for _ in $(seq 1 100); do
    XDG_RUNTIME_DIR="$run" "$bin/zeftrace" "up" 2>/dev/null && return 0
    sleep 0.1
  done
  fail "$name: no monitor to reach"
}

# Waits up to 10 s for the monitor to end; sets rc (255 when it did not).
wait_end() {
  rc=255
  for _ in $(seq 1 200); do
    kill -0 "$pid" 2>/dev/null || { wait "$pid"; rc=$?; return; }
    sleep 0.05
  done
}

# An end signal closes the monitor as Exit does, without asking: every
# setting is saved (the stored one kept), the socket file is gone.
for sig in TERM INT HUP; do
  start_monitor "$sig" --default-signal=TERM,INT,HUP
  began=$(date +%s%N)
  kill -"$sig" "$pid"
  wait_end
  echo "commandline: SIG$sig to exit: $(( ($(date +%s%N) - began) / 1000000 )) ms"
  [ "$rc" -eq 0 ] || fail "SIG$sig: status $rc: $(cat "$work/$sig.err")"
  conf="$(cat "$XDG_CONFIG_HOME/Quorbel/ZEFMON.conf")"
  grep -qx 'Count=7' <<<"$conf" || fail "SIG$sig: the stored value was lost: $conf"
  grep -qx 'ShowCancelBtn=1' <<<"$conf" || fail "SIG$sig: the settings were not saved: $conf"
  [ -z "$(find "$run" -type s)" ] || fail "SIG$sig: the socket file was left: $(find "$run" -type s)"
done

# --follow: the monitor's log file shows what reached the monitor.
args=(--follow)
run
[ "$rc" -eq 2 ] || fail "--follow without FILE: status $rc"
grep -q -- '--follow needs a FILE' <<<"$err" || fail "--follow without FILE: $err"
run="$work/run-follow"
mkdir -m 700 "$run"
printf '[Init.Monitor]\nLogToFile=1\nLogFile=%s\n' "$work/monitor.log" >"$XDG_CONFIG_HOME/Quorbel/ZEFMON.conf"
echo "before the start" >"$work/app.log"
XDG_RUNTIME_DIR="$run" "$bin/zefmon" --follow "$work/missing.log" --follow "$work/app.log" 2>"$work/follow.err" & pid=$!
pids+=("$pid")
wait_until grep -qs 'missing.log: No such file' "$work/monitor.log"
echo "one" >>"$work/app.log"
mv "$work/app.log" "$work/app.log.1"
echo "two" >>"$work/app.log.1"
echo "three" >"$work/app.log"
expected=$'one\ntwo\nthree'
wait_until taken_is "$work/monitor.log" file: "$expected"
got="$(taken "$work/monitor.log" file:)"
[ "$got" = "$expected" ] || fail "--follow: the monitor took: $got"
grep -q 'missing.log: No such file' "$work/monitor.log" || fail "--follow: a missing file not said"
kill "$pid"
wait_end
args=(--follow=)
run
[ "$rc" -eq 2 ] && grep -q 'no file named' <<<"$err" || fail "--follow with an empty FILE: status $rc: $err"

# A saved source reopens beside the command line's, which is not saved.
printf '[Init.Monitor]\nLogToFile=1\nLogFile=%s\n[Init.Sources]\nCount=1\nSource1=file,start:%s\n' \
  "$work/sources.log" "$work/saved.log" >"$XDG_CONFIG_HOME/Quorbel/ZEFMON.conf"
echo "saved line" >"$work/saved.log"
XDG_RUNTIME_DIR="$run" "$bin/zefmon" --follow "$work/given.log" 2>"$work/sources.err" & pid=$!
pids+=("$pid")
wait_until grep -qs 'given.log: No such file' "$work/sources.log"
echo "given line" >>"$work/given.log"
wait_until grep -qs 'given line' "$work/sources.log"
grep -q 'saved line' "$work/sources.log" && grep -q 'given line' "$work/sources.log" ||
  fail "saved and command-line sources: the monitor took: $(cat "$work/sources.log")"
kill "$pid"
wait_end
conf="$(cat "$XDG_CONFIG_HOME/Quorbel/ZEFMON.conf")"
grep -qx 'Count=1' <<<"$conf" && ! grep -q 'given.log' <<<"$conf" || fail "the command line's source was saved: $conf"

# logrotate while a writer appends: renamed away (the writer makes the next
# file) under way, then copied and truncated between two bursts; the
# monitor's log holds every line once, in order.
if command -v logrotate >/dev/null; then
  run="$work/run-rotate"
  mkdir -m 700 "$run" "$work/rot"
  printf '[Init.Monitor]\nLogToFile=1\nLogFile=%s\n' "$work/rotate.log" >"$XDG_CONFIG_HOME/Quorbel/ZEFMON.conf"
  app="$work/rot/app.log"
  printf '%s {\n  rotate 9\n  nocreate\n  missingok\n}\n' "$app" >"$work/rot/rename.conf"
  printf '%s {\n  rotate 9\n  copytruncate\n}\n' "$app" >"$work/rot/copy.conf"
  XDG_RUNTIME_DIR="$run" "$bin/zefmon" --follow "$app" 2>"$work/rotate.err" & pid=$!
  pids+=("$pid")
  # The file is made by the writer, so it is read from its first line.
  wait_until grep -qs 'app.log: No such file' "$work/rotate.log"
  (for i in $(seq 1 3000); do
    echo "$i" >>"$app"
    [ $((i % 100)) -eq 0 ] && sleep 0.01
  done) & writer=$!
  for _ in 1 2 3; do
    sleep 0.08
    logrotate -f -s "$work/rot/state" "$work/rot/rename.conf" || fail "logrotate (rename) failed"
  done
  wait "$writer"
  for i in $(seq 3001 3050); do echo "$i" >>"$app"; done
  sleep 0.3
  logrotate -f -s "$work/rot/state" "$work/rot/copy.conf" || fail "logrotate (copytruncate) failed"
  for i in $(seq 3051 3100); do echo "$i" >>"$app"; done
  expected="$(seq 1 3100)"
  wait_until taken_is "$work/rotate.log" file: "$expected"
  got="$(taken "$work/rotate.log" file:)"
  [ "$got" = "$expected" ] || fail "logrotate: $(diff <(echo "$expected") <(echo "$got") | head -5)"
  kill "$pid"
  wait_end
fi

# --kernel: the kernel's records, or where they may not be read the one line
# that says why, reach the monitor and its log either way.
run="$work/run-kernel"
mkdir -m 700 "$run"
printf '[Init.Monitor]\nLogToFile=1\nLogFile=%s\n' "$work/kernel.log" >"$XDG_CONFIG_HOME/Quorbel/ZEFMON.conf"
XDG_RUNTIME_DIR="$run" "$bin/zefmon" --kernel 2>"$work/kernel.err" & pid=$!
pids+=("$pid")
wait_until [ -s "$work/kernel.log" ]
[ -s "$work/kernel.log" ] || fail "--kernel: nothing reached the monitor"
kill -0 "$pid" 2>/dev/null || fail "--kernel: the monitor ended: $(cat "$work/kernel.err")"
kill "$pid"
wait_end

# --journal-dir: journal files made here; the log shows the last entry
# there was, and what is written after the start.
for bad in "--journal lower=x" "--journal PRIORITY=9" "--journal-from soon" "--journal-dir" "--journal-dir /x lower=x"; do
  read -ra args <<<"$bad"
  run
  [ "$rc" -eq 2 ] || fail "$bad: status $rc"
  grep -q 'see zefmon --help' <<<"$err" || fail "$bad: $err"
done
remote=/lib/systemd/systemd-journal-remote
if [ -x "$remote" ]; then
  jdir="$work/journals"
  mkdir "$jdir"
  printf '__REALTIME_TIMESTAMP=1765290000000000\nMESSAGE=before\n_HOSTNAME=alpha\n\n__REALTIME_TIMESTAMP=1765290001000000\nMESSAGE=kept\n\n' >"$work/a.export"
  "$remote" -o "$jdir/alpha.journal" "$work/a.export" 2>/dev/null || fail "--journal-dir: $remote failed"
  run="$work/run-journal"
  mkdir -m 700 "$run"
  printf '[Init.Monitor]\nLogToFile=1\nLogFile=%s\n' "$work/journal.log" >"$XDG_CONFIG_HOME/Quorbel/ZEFMON.conf"
  XDG_RUNTIME_DIR="$run" "$bin/zefmon" --journal-dir "$work/nojournals" --journal-dir "$jdir" MESSAGE=kept MESSAGE=later --journal-from 1 \
    2>"$work/journal.err" & pid=$!
  pids+=("$pid")
  wait_until grep -qs '^kept' "$work/journal.log"
  printf '__REALTIME_TIMESTAMP=1765290001500000\nMESSAGE=unmatched\n\n__REALTIME_TIMESTAMP=1765290002000000\nMESSAGE=later\n\n' \
    >"$work/b.export"
  "$remote" -o "$jdir/beta.journal" "$work/b.export" 2>/dev/null || fail "--journal-dir: $remote failed"
  expected=$'kept\nlater'
  wait_until taken_is "$work/journal.log" journal: "$expected"
  got="$(taken "$work/journal.log" journal:)"
  [ "$got" = "$expected" ] || fail "--journal-dir: the monitor took: $got"
  grep -q 'nojournals: cannot be read' "$work/journal.log" || fail "--journal-dir: a missing directory not said"
  kill "$pid"
  wait_end

  # A saved journal source goes on at the next start after the last entry
  # read, not from its last entry (the one its start names) again.
  conf="$XDG_CONFIG_HOME/Quorbel/ZEFMON.conf"
  printf '[Init.Monitor]\nLogToFile=1\nLogFile=%s\n[Init.Sources]\nCount=1\nSource1=journal-dir,last=1:%s\n' \
    "$work/resume.log" "$jdir" >"$conf"
  resume_run() {
    XDG_RUNTIME_DIR="$run" "$bin/zefmon" 2>>"$work/resume.err" & pid=$!
    pids+=("$pid")
    wait_until grep -qs "^$1" "$work/resume.log"
    kill "$pid"
    wait_end
  }
  resume_run later
  grep -q '^Cursor1=.' "$conf" || fail "saved journal: no position kept: $(cat "$conf")"
  printf '__REALTIME_TIMESTAMP=1765290003000000\nMESSAGE=after\n\n__REALTIME_TIMESTAMP=1765290004000000\nMESSAGE=more\n\n' \
    >"$work/c.export"
  "$remote" -o "$jdir/beta.journal" "$work/c.export" 2>/dev/null || fail "saved journal: $remote failed"
  resume_run more
  got="$(tr -d '\r' <"$work/resume.log")"
  [ "$got" = $'later\nafter\nmore' ] || fail "saved journal: the monitor took: $got"
else
  echo "commandline: --journal-dir not tried: $remote (package systemd-journal-remote) is missing"
fi

[ "$failures" -eq 0 ] && echo "commandline: all cases behave"
exit "$failures"
