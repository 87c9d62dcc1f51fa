#!/usr/bin/env bash
# Failures the user sees in one true line: a port that is not a serial
# device, one in use by another run, a live edit to a missing device (and,
# with --board, a port edit that is not followed); a bad --clicks value; an
# option given twice. An empty file plays as zero frames; a killed stand-in
# leaves no board, and its working folder goes with the next run.
# usage: plain_failures.sh NATIVE_BIN
set -u
bin=$1
. "$(dirname "$0")/common.sh"
bad() { echo "FAIL: $*"; status=1; }
# said NAME FILE TEXT: FILE has a line with TEXT, once
said() {
  local n
  n=$(grep -cF -- "$3" "$2")
  if [ "$n" -eq 1 ]; then echo "ok: $1"; else bad "$1: \"$3\" $n times in:"; cat "$2"; fi
}
# waits up to 20 s for TEXT in FILE
wait_for() { for _ in $(seq 400); do grep -qF -- "$2" "$1" 2>/dev/null && return 0; sleep 0.05; done; return 1; }
"$bin/fulgora-demo-track" --length 3 "$work/d.wav" || fail "no demo track"
"$bin/fulgora-demo-track" --length 30 "$work/long.wav" || fail "no long track"
make_wav "$work/empty.wav" 44100 2 0
echo notes >"$work/notes.txt"

# Ports the component cannot open, each with its reason.
for case in "/dev/null|not a serial device" "$work/notes.txt|not a serial device (a regular file)"; do
  printf '[SETTING]\r\nPORTNAME=%s\r\n' "${case%%|*}" >"$work/p.ini"
  "$bin/fulgora-play" --fast --settings "$work/p.ini" "$work/d.wav" >/dev/null 2>"$work/err"
  said "PORTNAME=${case%%|*}" "$work/err" "PORTNAME=${case%%|*}: ${case#*|}"
done
start_board
printf '[SETTING]\r\nPORTNAME=%s\r\nLIVE=1\r\n' "$port" >"$work/b.ini"
"$bin/fulgora-play" --no-sound --settings "$work/b.ini" "$work/long.wav" >"$work/first.out" 2>"$work/first.err" &
first=$!
wait_for "$work/first.out" "successful com open." || bad "the first run never opened the port"
"$bin/fulgora-play" --fast --settings "$work/b.ini" "$work/d.wav" >/dev/null 2>"$work/err"
said "a port another run holds" "$work/err" "PORTNAME=$port: in use by another program"
# A live edit to a device that is not there.
printf '[SETTING]\r\nPORTNAME=/dev/ttyUSB-fulgora-none\r\nLIVE=1\r\n' >"$work/b.ini"
wait_for "$work/first.err" "no such device" || true
kill "$first"; wait "$first" 2>/dev/null
said "a live edit to a missing device" "$work/first.err" "PORTNAME=/dev/ttyUSB-fulgora-none: no such device"
# With --board the edit is not followed, and a line says so.
printf '[SETTING]\r\nPORTNAME=COM9\r\nLIVE=1\r\n' >"$work/l.ini"
"$bin/fulgora-play" --no-sound --board --settings "$work/l.ini" "$work/long.wav" >"$work/board_run.out" 2>"$work/board_run.err" &
played=$!
wait_for "$work/board_run.out" "successful com open." || bad "the --board run never opened the port"
printf '[SETTING]\r\nPORTNAME=COM7\r\nLIVE=1\r\n' >"$work/l.ini"
wait_for "$work/board_run.err" "PORTNAME=COM7" || true
said "a port edit under --board" "$work/board_run.err" "PORTNAME=COM7 in the edited settings is not followed"

# kill -9 of the stand-in: its board ends, its folder goes with the next run.
child=$(pgrep -P "$played" -x fulgora-board)
folder=$(ls -d /tmp/fulgora-play-"$played"-* 2>/dev/null | head -1)
[ -n "$child" ] && [ -n "$folder" ] || bad "no board ($child) or working folder ($folder) under the run"
kill -9 "$played"; wait "$played" 2>/dev/null
for _ in $(seq 200); do kill -0 "$child" 2>/dev/null || break; sleep 0.05; done
kill -0 "$child" 2>/dev/null && { bad "the board outlived its killed fulgora-play"; kill "$child"; }
"$bin/fulgora-play" --fast "$work/d.wav" >/dev/null 2>&1
[ -n "$folder" ] && [ ! -e "$folder" ] && echo "ok: the killed run's folder went" || bad "$folder stayed"

# An empty file: zero frames, identical.
for files in "empty.wav" "d.wav empty.wav"; do
  (cd "$work" && "$bin/fulgora-play" --fast $files >/dev/null 2>"$work/err") || bad "$files: exit $?"
  said "$files" "$work/err" "audio bit-identical: yes"
done

# An output the audio server does not know, named (on a server of the test's own).
if command -v pulseaudio >/dev/null && command -v pactl >/dev/null; then
  . "$(dirname "$0")/../../scripts/null-sink-server.sh"
  if start_null_sink "$work/sound" 44100 2; then
    PULSE_SINK=nosuch "$bin/fulgora-play" "$work/d.wav" >/dev/null 2>"$work/err"
    stop_null_sink
    said "PULSE_SINK=nosuch" "$work/err" "no sound (the audio server has no output PULSE_SINK=nosuch;"
  else bad "the test's audio server did not start"; fi
else echo "skip: PULSE_SINK=nosuch: no pulseaudio here"; fi

# Values refused with their reason, in one line, before any work.
expect "--clicks 1" "--clicks 1: needs 2 to 3600 seconds" "$bin/fulgora-demo-track" --clicks 1 "$work/x.wav"
expect "--clicks 5s" "--clicks 5s: not a whole number of seconds" "$bin/fulgora-demo-track" --clicks 5s "$work/x.wav"
expect "--seek twice" "--seek given twice" "$bin/fulgora-play" --no-sound --seek 2:1 --seek 1:0 "$work/d.wav"
[ ! -e "$work/x.wav" ] || bad "a refused --clicks wrote its track"
[ $status -eq 0 ] && echo PASS
exit $status
