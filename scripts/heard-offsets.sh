#!/usr/bin/env bash
# How far the lights are from the sound as an audio server really played it:
# an audio server of its own (PulseAudio in user space, a float32 null sink at
# the track's rate, no hardware), a track of noise bursts at random frames
# played through fulgora-play to the sink, a fulgora-board --monotonic of its
# own, and the sink's monitor recorded with each fragment stamped on the same
# monotonic clock (fulgora-record). Per burst: the board's first lit command
# minus the burst's onset as the server played it (found in the recording by
# cross-correlation); per mode the median, p95 and max of the absolute offset,
# the signed median, and level commands per second; SYNC off beside SYNC on,
# at the default output buffer (1000 ms) and a short one (200 ms).
#
# usage: scripts/heard-offsets.sh [BIN_DIR [SECONDS]]   (default
#        build/release/bin, 20 s of bursts)
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
bin=${1:-$here/../build/release/bin}
seconds=${2:-20}
. "$here/null-sink-server.sh"
. "$here/heard-run.sh"
work=$(mktemp -d)
trap 'heard_stop || true; stop_null_sink || true; rm -rf "$work"' EXIT
command -v pulseaudio >/dev/null || { echo "needs the pulseaudio package (scripts/setup.sh native)"; exit 1; }
[ -x "$bin/fulgora-record" ] || { echo "$bin has no fulgora-record (built without libpulse)"; exit 1; }
start_null_sink "$work/server" 44100 2
"$bin/fulgora-demo-track" --bursts 44100 "$seconds" "$work/bursts.wav" >"$work/bursts.txt"

for buffer in 1000 200; do
  for mode in off on; do
    heard_run "$work" "$bin" "output buffer $buffer ms" $mode "$seconds" --buffer-ms $buffer
  done
done
"$heard_python" "$here/heard_offsets.py" report "$work/results"
