#!/usr/bin/env bash
# The stand-in on a real audio server: a PulseAudio of the test's own, with a
# float32 null sink at the track's rate, plays a short track of noise bursts
# through fulgora-play in sync mode while the sink's monitor is recorded on
# the monotonic clock. The recording must hold every burst where the track
# has it (cross-correlation), each burst's first lit command must reach the
# board -10..+50 ms from the burst as the sink played it, and the server and
# every process the test started must be gone afterwards. A burst around
# which no command at all reached the board for 50 ms (the machine gave the
# processes no core) is not judged; more than half of them so fails.
#
# usage: heard_sync.sh BIN_DIR   (exits 77, skipped, without an audio server)
set -u
bin=$1
here=$(cd "$(dirname "$0")" && pwd)
scripts=$here/../../scripts
if ! command -v pulseaudio >/dev/null; then
  echo "no audio server to test against: install pulseaudio (scripts/setup.sh native)"
  exit 77
fi
if [ ! -x "$bin/fulgora-record" ]; then
  echo "fulgora-play was built without sound: install libpulse-dev (scripts/setup.sh native)"
  exit 77
fi
. "$here/common.sh"
. "$scripts/null-sink-server.sh"
. "$scripts/heard-run.sh"
if ! "$heard_python" -c 'import numpy' 2>/dev/null; then
  echo "no numpy to find the bursts with: install python3-numpy (scripts/setup.sh native)"
  exit 77
fi
trap 'heard_stop; stop_null_sink; cleanup' EXIT

start_null_sink "$work/server" 44100 2 || fail "the audio server did not start"
server=$sound_pid
# Every burst is judged, the first one (about 1 s in) included.
"$bin/fulgora-demo-track" --bursts 44100 7 "$work/bursts.wav" >"$work/bursts.txt" ||
  fail "cannot make the track"
heard_run "$work" "$bin" "7 s of bursts" on 7 || fail "the measured run failed"
stop_null_sink

status=0
"$heard_python" "$scripts/heard_offsets.py" check "$work/results" -10 50 || status=1
for p in "$server" "${heard_started[@]}"; do
  kill -0 "$p" 2>/dev/null && { echo "FAIL: process $p still runs"; status=1; }
done
ps -o pid=,comm= --ppid $$ >"$work/children"  # ps itself among them
grep -v -w ps "$work/children" >"$work/left" && { echo "FAIL: children left:"; cat "$work/left"; status=1; }
[ $status -eq 0 ] || exit 1
echo "ok"
