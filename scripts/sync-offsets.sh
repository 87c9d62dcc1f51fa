#!/usr/bin/env bash
# How far the lights are from the sound in sync mode, today's (SYNC_RATE=0,
# one command per chunk) beside the rate (SYNC_RATE=60, the default), in one
# run: tracks of noise bursts that start at random frames, played through the
# player stand-in (modelled 1000 ms output buffer) to the simulated board, at
# several chunk sizes and sample rates, with a smooth playback clock and with
# one that advances in 20 ms steps, and across a DSP chain swap when the
# stand-in has --swap-at. Per burst: the heard position when the first lit
# command arrived minus the burst's first frame; per mode the median, p95 and
# max of the absolute offset and the commands per second of heard audio.
# When the stand-in has --after, at the rate only: a gapless playlist of
# three tracks with no DSP and with each of its own DSPs after ours (offsets
# per track; the crossfader holds 200 ms back, so its onsets are heard that
# much later and its rows are light minus heard onset plus 200 ms), the
# longest gap between level commands across a chain swap, and a second chain
# (a converter's) while playback goes on: who drove the board, the console,
# and the offsets of the bursts after it started, alone and with a swap
# while it waits for the port.
# Then the CPU that a paused instance's worker takes.
#
# usage: scripts/sync-offsets.sh [BIN_DIR]   (default build/release/bin)
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
bin=${1:-$here/../build/release/bin}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
seconds=8 buffer_ms=1000
printf '[SETTING]\r\nSYNC=1\r\nSYNC_RATE=0\r\n' >"$work/today.ini"
printf '[SETTING]\r\nSYNC=1\r\n' >"$work/rate.ini"
swap=$("$bin/fulgora-play" --no-sound --help | grep -q -- --swap-at && echo yes || echo no)
chain=$("$bin/fulgora-play" --no-sound --help | grep -q -- --after && echo yes || echo no)

run() {  # name chunk rate step extra...
  local name=$1 chunk=$2 rate=$3 step=$4
  shift 4
  [ -f "$work/bursts$rate.wav" ] ||
    "$bin/fulgora-demo-track" --bursts "$rate" $seconds "$work/bursts$rate.wav" >"$work/bursts$rate.txt"
  for mode in today rate; do
    "$bin/fulgora-play" --no-sound --board --settings "$work/$mode.ini" --chunk "$chunk" \
      --buffer-ms $buffer_ms --clock-step "$step" "$@" --log "$work/log.csv" \
      "$work/bursts$rate.wav" >"$work/out" 2>"$work/err" || { cat "$work/err"; exit 1; }
    python3 "$here/sync_offsets.py" run "$work/log.csv" "$work/bursts$rate.txt" "$rate" \
      $seconds "$name" "$mode" >>"$work/results"
  done
}

for step in 0 20; do
  for cr in 441:44100 1152:44100 4096:44100 16384:44100 960:48000 4096:96000; do
    run "${cr%%:*} frames at ${cr##*:} Hz, clock step $step ms" "${cr%%:*}" "${cr##*:}" $step
  done
  if [ $swap = yes ]; then
    run "4096 frames at 44100 Hz, clock step $step ms, chain swap at 4 s" 4096 44100 $step --swap-at 4
  fi
done
[ $swap = yes ] || echo "(this fulgora-play has no --swap-at: no chain swap measured)"

play_rate() {  # extra... : one run at the rate into $work/log.csv, the console in $work/out
  "$bin/fulgora-play" --no-sound --board --settings "$work/rate.ini" --buffer-ms $buffer_ms "$@" \
    --log "$work/log.csv" >"$work/out" 2>"$work/err" || { cat "$work/err"; exit 1; }
}
console() { tr -d '\r' <"$work/out" | uniq -c | sed 's/^ *//' | paste -sd ';' | sed 's/;/; /g'; }
if [ $chain = yes ]; then
  playlist=()
  for len in 6 7 8; do
    "$bin/fulgora-demo-track" --bursts 44100 $len "$work/track$len.wav" >"$work/track$len.txt"
    playlist+=("$work/track$len.txt:$len")
  done
  for after in none crossfade resample; do
    extra=()
    [ $after = none ] || extra=(--after $after)
    play_rate "${extra[@]}" "$work/track6.wav" "$work/track7.wav" "$work/track8.wav"
    python3 "$here/sync_offsets.py" tracks "$work/log.csv" 44100 \
      "gapless 6+7+8 s, after ours: $after" rate "${playlist[@]}" >>"$work/results"
  done
  play_rate --swap-at 4 "$work/bursts44100.wav"
  # The old instance's stream ends a buffer after the swap.
  {
    echo "chain swap at 4 s (4096 frames, 44100 Hz): longest gap between level commands"
    echo "  from 4 to 6 s heard: $(python3 "$here/sync_offsets.py" gap "$work/log.csv" 4 6)"
    echo "  in the whole run: $(python3 "$here/sync_offsets.py" gap "$work/log.csv")"
  } >>"$work/notes"
  for case in "1:6" "1:12 --swap-at 3"; do
    at=${case%% *}
    # shellcheck disable=SC2086
    play_rate --second-chain $case "$work/bursts44100.wav"
    since=${at%%:*}
    [ "$case" = "${case#*--swap-at }" ] || since=${case#*--swap-at }
    python3 "$here/sync_offsets.py" run "$work/log.csv" "$work/bursts44100.txt" 44100 $seconds \
      "second chain --second-chain $case, bursts after ${since} s" rate "$since" >>"$work/results"
    {
      echo "second chain --second-chain $case: $(python3 "$here/sync_offsets.py" drove "$work/log.csv")"
      echo "  console: $(console)"
    } >>"$work/notes"
  done
else
  echo "(this fulgora-play has no --after: no playlists, swap gap or second chain measured)"
fi
python3 "$here/sync_offsets.py" report "$work/results"
[ ! -f "$work/notes" ] || cat "$work/notes"

# A paused instance: its worker's CPU over 4 s in the middle of a 6 s pause.
"$bin/fulgora-demo-track" --bursts 44100 4 "$work/idle.wav" >/dev/null
"$bin/fulgora-play" --no-sound --board --settings "$work/rate.ini" --pause 1:6 "$work/idle.wav" \
  >/dev/null 2>&1 &
player=$!
sleep 2.5
ticks() {  # ns on a CPU of every thread of the player but its main one (the stand-in's loop)
  local sum=0 t
  for t in /proc/$player/task/*; do
    [ "${t##*/}" = "$player" ] && continue
    sum=$((sum + $(cut -d' ' -f1 "$t/schedstat")))
  done
  echo $sum
}
before=$(ticks)
sleep 4
after=$(ticks)
wait $player
awk -v t=$((after - before)) 'BEGIN {
  printf "paused instance, SYNC_RATE=60: its worker took %.3f%% of a core (%.2f ms in 4 s)\n",
         100 * t / 1e9 / 4, t / 1e6 }'
