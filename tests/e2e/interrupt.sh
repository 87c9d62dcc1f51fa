#!/usr/bin/env bash
# Ctrl-C, SIGTERM and a closed terminal (SIGHUP) during playback stop
# cleanly: the DSP is released, so the board still gets its closing command;
# the board child ends, the temporary folder goes, and the exit status is the
# shell's 128 + signal (130 after Ctrl-C).
# usage: interrupt.sh NATIVE_BIN
set -u
bin=$1
. "$(dirname "$0")/common.sh"
play=
trap '[ -n "$play" ] && kill -9 $play 2>/dev/null; cleanup' EXIT

"$bin/fulgora-demo-track" --tone 1000 30 "$work/long.wav"
for signal in INT HUP TERM; do
  mkdir -p "$work/tmp"
  TMPDIR="$work/tmp" "$bin/fulgora-play" --no-sound --board --log "$work/$signal.csv" "$work/long.wav" \
    >"$work/stdout" 2>"$work/stderr" &
  play=$!
  for _ in $(seq 200); do
    [ "$(cat "$work"/tmp/*/board.csv 2>/dev/null | grep -c '"SD')" -ge 3 ] && break
    sleep 0.05
  done
  kill -"$signal" $play
  for _ in $(seq 100); do kill -0 $play 2>/dev/null || break; sleep 0.05; done
  kill -0 $play 2>/dev/null && fail "fulgora-play did not stop on SIG$signal"
  wait $play
  status=$?
  play=
  expected=$((128 + $(kill -l "$signal")))
  [ $status -eq $expected ] || { cat "$work/stderr"; fail "SIG$signal: exit status $status, not $expected"; }
  grep -q interrupted "$work/stderr" || fail "SIG$signal: no interruption reported"
  [ "$(tr -d '\r' <"$work/stdout")" = $'successful com open.\nsuccessful com close.' ] ||
    { cat "$work/stdout"; fail "SIG$signal: console lines"; }
  tail -n 1 "$work/$signal.csv" | grep -q '"LD"' || fail "SIG$signal: no closing command"
  [ -z "$(ls -A "$work/tmp")" ] || fail "SIG$signal: temporary folder left: $(ls -A "$work/tmp")"
  pgrep -f "$work/tmp" >/dev/null && fail "SIG$signal: board child left running"
  echo "ok: SIG$signal: exit $status, closing command sent, board ended, folder removed"
done
echo PASS
