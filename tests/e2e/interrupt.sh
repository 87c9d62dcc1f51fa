#!/usr/bin/env bash
# Ctrl-C during playback stops cleanly: the DSP is released, so the board
# still gets its closing command and the port is closed.
# usage: interrupt.sh NATIVE_BIN
set -u
bin=$1
work=$(mktemp -d)
board_pid=
trap '[ -n "$board_pid" ] && kill $board_pid 2>/dev/null; rm -rf "$work"' EXIT
fail() { echo "FAIL: $*"; exit 1; }

"$bin/fulgora-demo-track" --tone 1000 30 "$work/long.wav"
"$bin/fulgora-board" --quiet --csv "$work/board.csv" >"$work/board.out" 2>&1 &
board_pid=$!
for _ in $(seq 100); do grep -q PORTNAME "$work/board.out" 2>/dev/null && break; sleep 0.05; done
port=$(sed -n 's/^PORTNAME=//p' "$work/board.out")
printf '[SETTING]\nPORTNAME=%s\n' "$port" >"$work/s.ini"

"$bin/fulgora-play" --settings "$work/s.ini" "$work/long.wav" >"$work/stdout" 2>"$work/stderr" &
play=$!
for _ in $(seq 200); do [ "$(grep -c '"SD' "$work/board.csv")" -ge 3 ] && break; sleep 0.05; done
kill -INT $play
for _ in $(seq 100); do kill -0 $play 2>/dev/null || break; sleep 0.05; done
kill -0 $play 2>/dev/null && { kill -9 $play; fail "fulgora-play did not stop on Ctrl-C"; }
wait $play
status=$?
cat "$work/stderr"
[ $status -eq 0 ] || fail "exit status $status"
grep -q interrupted "$work/stderr" || fail "no interruption reported"
[ "$(cat "$work/stdout")" = $'successful com open.\nsuccessful com close.' ] || fail "console lines"
sleep 0.2
tail -n 1 "$work/board.csv" | grep -q '"LD"' || fail "no closing command after the interruption"
echo PASS
