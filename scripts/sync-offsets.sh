#!/usr/bin/env bash
# How far the lights are from the sound in sync mode, for one or more builds
# of the component side by side in one run (one column each), all with
# SYNC=1 and SYNC_OFFSET_MS=0, played through the player stand-in (modelled
# 1000 ms output buffer) to the simulated board:
# - gapless playlists of three tracks of noise bursts with nothing, a
#   crossfader (200 ms overlap: what is played shortens at every track
#   change), a silence skipper and a resampler after ours: per track the
#   median, p95 and max of |light - heard onset| and the bursts lit, each
#   onset where it is heard in what was played;
# - each of the stand-in's --vis-* switches (what the player does not promise
#   of the played stream) on one track;
# - a chain swap: the bursts, and the longest gap between level commands;
# - a second chain (a converter's) while playback goes on, alone and with a
#   swap while it waits for the port: the bursts after it started, who drove
#   the board, the console;
# - a seek and a pause in one run with a 20 ms clock step: the bursts heard,
#   and the first one after the seek and after the resume;
# - the pause itself (PAUSE_FADE_MS=300, 20 ms clock step, paused 35 ms before
#   a burst): lit commands while paused, for sound more than one clock step
#   past the last clock value (none expected);
# - the CPU a paused instance's worker takes.
# With --sweep also chunk sizes and sample rates, with a smooth clock and one
# in 20 ms steps.
#
# usage: scripts/sync-offsets.sh [BIN_DIR] [--component [LABEL=]PATH]... [--sweep]
#   BIN_DIR holds the stand-in and the tools (default build/release/bin);
#   each --component is a build of the component to measure (default: the
#   one in BIN_DIR); OLD_COMPONENT and NEW_COMPONENT in the environment add
#   columns "old" and "new".
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
bin=$here/../build/release/bin
components=() labels=()
sweep=no
while [ $# -gt 0 ]; do
  case $1 in
    --component) components+=("$2"); shift 2 ;;
    --sweep) sweep=yes; shift ;;
    -h|--help) sed -n '2,/^set -e/p' "$0" | sed '$d; s/^# \{0,1\}//'; exit 0 ;;
    *) bin=$1; shift ;;
  esac
done
[ -z "${OLD_COMPONENT:-}" ] || components+=("old=$OLD_COMPONENT")
[ -z "${NEW_COMPONENT:-}" ] || components+=("new=$NEW_COMPONENT")
[ ${#components[@]} -gt 0 ] || components=("this=$bin/foo_Fulgora.so")
help=$("$bin/fulgora-play" --no-sound --help)
[[ $help == *skip-silence* ]] ||
  { echo "sync-offsets: $bin/fulgora-play has no --after skip-silence: build it first" >&2; exit 1; }
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
seconds=8 buffer_ms=1000
printf '[SETTING]\r\nSYNC=1\r\nSYNC_OFFSET_MS=0\r\n' >"$work/sync.ini"
printf '[SETTING]\r\nSYNC=1\r\nSYNC_OFFSET_MS=0\r\nPAUSE_FADE_MS=300\r\n' >"$work/fade.ini"
"$bin/fulgora-demo-track" --bursts 44100 $seconds "$work/bursts44100.wav" >"$work/bursts44100.txt"
# The playlists' tracks: each silence between bursts digital silence for its
# first half (the silence skipper cuts it), -80 dBFS of DC for the rest.
python3 "$here/sync_offsets.py" playlist "$work" 44100 6 7 8
playlist=("$work/track1.txt:6" "$work/track2.txt:7" "$work/track3.txt:8")

for item in "${components[@]}"; do
  label=${item%%=*} component=${item#*=}
  [ "$label" != "$item" ] || { label="#$((${#labels[@]} + 1))"; component=$item; }
  labels+=("$label")
  [ -f "$component" ] || { echo "sync-offsets: no component at $component" >&2; exit 1; }
  echo "$label: $component" >>"$work/legend"
  note() { echo "$label: $*" >>"$work/notes"; }

  play() {  # settings extra... : one run into $work/log.csv, the console in $work/out
    local settings=$1
    shift
    "$bin/fulgora-play" --no-sound --board --component "$component" --settings "$work/$settings" \
      --buffer-ms $buffer_ms "$@" --log "$work/log.csv" >"$work/out" 2>"$work/err" ||
      { cat "$work/err"; exit 1; }
  }
  console() { tr -d '\r' <"$work/out" | uniq -c | sed 's/^ *//' | paste -sd ';' | sed 's/;/; /g'; }

  if [ $sweep = yes ]; then
    for step in 0 20; do
      for cr in 441:44100 1152:44100 4096:44100 16384:44100 960:48000 4096:96000; do
        chunk=${cr%%:*} rate=${cr##*:}
        [ -f "$work/bursts$rate.wav" ] ||
          "$bin/fulgora-demo-track" --bursts "$rate" $seconds "$work/bursts$rate.wav" >"$work/bursts$rate.txt"
        play sync.ini --chunk "$chunk" --clock-step $step "$work/bursts$rate.wav"
        python3 "$here/sync_offsets.py" run "$work/log.csv" "$work/bursts$rate.txt" "$rate" \
          $seconds "$chunk frames at $rate Hz, clock step $step ms" "$label" >>"$work/results"
      done
    done
  fi

  for after in none crossfade skip-silence resample; do
    extra=()
    [ $after = none ] || extra=(--after "$after")
    play sync.ini "${extra[@]}" "$work/track1.wav" "$work/track2.wav" "$work/track3.wav"
    python3 "$here/sync_offsets.py" tracks "$work/log.csv" 44100 \
      "gapless 6+7+8 s, after ours: $after" "$label" $after "${playlist[@]}" >>"$work/results"
  done

  # What the player does not promise of the played stream, one at a time.
  for fault in --vis-no-lookahead "--vis-late-start 300" "--vis-backlog 50" \
    "--vis-drop 500:40" --vis-short; do
    # shellcheck disable=SC2086
    play sync.ini $fault "$work/bursts44100.wav"
    python3 "$here/sync_offsets.py" run "$work/log.csv" "$work/bursts44100.txt" 44100 $seconds \
      "played stream: $fault" "$label" >>"$work/results"
  done

  play sync.ini --swap-at 4 "$work/bursts44100.wav"
  python3 "$here/sync_offsets.py" run "$work/log.csv" "$work/bursts44100.txt" 44100 $seconds \
    "chain swap at 4 s" "$label" >>"$work/results"
  # The old instance's stream ends a buffer after the swap.
  note "chain swap at 4 s: longest gap between level commands from 4 to 6 s heard:" \
    "$(python3 "$here/sync_offsets.py" gap "$work/log.csv" 4 6);" \
    "in the whole run: $(python3 "$here/sync_offsets.py" gap "$work/log.csv")"

  for case in "1:6" "1:12 --swap-at 3"; do
    at=${case%% *}
    # shellcheck disable=SC2086
    play sync.ini --second-chain $case "$work/bursts44100.wav"
    since=${at%%:*}
    [ "$case" = "${case#*--swap-at }" ] || since=${case#*--swap-at }
    python3 "$here/sync_offsets.py" run "$work/log.csv" "$work/bursts44100.txt" 44100 $seconds \
      "second chain $case, bursts after ${since} s" "$label" "$since" >>"$work/results"
    note "second chain --second-chain $case: $(python3 "$here/sync_offsets.py" drove "$work/log.csv")"
    note "  console: $(console)"
  done

  # A seek forward past two bursts and a pause of 1 s, the clock in 20 ms steps.
  storm=$(python3 "$here/sync_offsets.py" storm-times "$work/bursts44100.txt" 44100)
  read -r seek pause <<<"$storm"
  play sync.ini --clock-step 20 --seek "$seek" --pause "$pause:1" "$work/bursts44100.wav"
  python3 "$here/sync_offsets.py" storm "$work/log.csv" "$work/bursts44100.txt" 44100 \
    "seek $seek and pause ${pause%%:*}:1, clock step 20 ms" "$label" "$seek" "$pause" \
    "$work/notes" >>"$work/results"

  pause=$(python3 "$here/sync_offsets.py" before-burst "$work/bursts44100.txt" 44100 0.035)
  play fade.ini --clock-step 20 --pause "$pause:1" "$work/bursts44100.wav"
  note "pause at $pause s, 35 ms before a burst, PAUSE_FADE_MS=300, clock step 20 ms:" \
    "$(python3 "$here/sync_offsets.py" paused "$work/log.csv" "$pause")"

  # A paused instance: its worker's CPU over 4 s in the middle of a 6 s pause.
  "$bin/fulgora-demo-track" --bursts 44100 4 "$work/idle.wav" >/dev/null
  "$bin/fulgora-play" --no-sound --board --component "$component" --settings "$work/sync.ini" \
    --pause 1:6 "$work/idle.wav" >/dev/null 2>&1 &
  player=$!
  sleep 2.5
  ticks() {  # ns on a CPU of every thread of the player but its main one (the stand-in's loop)
    local sum=0 t
    for t in "/proc/$player/task/"*; do
      [ "${t##*/}" = "$player" ] && continue
      sum=$((sum + $(cut -d' ' -f1 "$t/schedstat" 2>/dev/null || echo 0)))
    done
    echo $sum
  }
  before=$(ticks)
  sleep 4
  after=$(ticks)
  wait $player
  note "$(awk -v t=$((after - before)) 'BEGIN {
    printf "paused instance: its worker took %.3f%% of a core (%.2f ms in 4 s)",
           100 * t / 1e9 / 4, t / 1e6 }')"
done
cat "$work/legend"
python3 "$here/sync_offsets.py" report "$work/results" "${labels[@]}"
cat "$work/notes"
