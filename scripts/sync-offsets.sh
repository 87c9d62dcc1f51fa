#!/usr/bin/env bash
# How far the lights are from the sound: plays a track of sharp onsets on
# chunk boundaries through the player stand-in (1000 ms output buffer) to the
# simulated board, with a pause and a seek, once without and once with SYNC=1,
# and prints for each run the distribution of (heard position when the first
# lit command arrived) - (the onset's block time), and the commands per second.
#
# usage: scripts/sync-offsets.sh [BIN_DIR]   (default build/release/bin)
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
bin=${1:-$here/../build/release/bin}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

chunk=4096 rate=44100 every=24 length=45 buffer_ms=1000
pause_at=14 pause_for=3 seek_at=30
# The seek lands on the onset of chunk 72, so onsets stay on chunk boundaries.
seek_to=$(awk -v c=$chunk -v r=$rate 'BEGIN { printf "%.12f", 72 * c / r }')

"$bin/fulgora-demo-track" --onsets $chunk $every $length "$work/onsets.wav"
printf '[SETTING]\r\n' >"$work/plain.ini"
printf '[SETTING]\r\nSYNC=1\r\n' >"$work/sync.ini"

for mode in plain sync; do
  "$bin/fulgora-play" --board --settings "$work/$mode.ini" --chunk $chunk \
    --buffer-ms $buffer_ms --pause $pause_at:$pause_for --seek $seek_at:$seek_to \
    --log "$work/$mode.csv" "$work/onsets.wav" >"$work/$mode.out" 2>"$work/$mode.err" ||
    { cat "$work/$mode.err"; exit 1; }
  chunks=$(sed -n 's/.*done after \([0-9]*\) chunks.*/\1/p' "$work/$mode.err")
  label=$([ $mode = sync ] && echo "SYNC=1" || echo "SYNC absent")
  echo "== $label (buffer $buffer_ms ms; pause at $pause_at s for $pause_for s; seek at $seek_at s to $seek_to s)"
  python3 "$here/sync_offsets.py" "$work/$mode.csv" $chunk $rate $every $length \
    $pause_at $pause_for $seek_at "$seek_to" "$chunks"
done
