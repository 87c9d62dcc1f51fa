# Sourced by heard-offsets.sh and its test: one measurement of the light
# against the sound as the audio server played it.
#   heard_run WORK BIN NAME MODE SECONDS [fulgora-play options...]
# WORK holds the track (bursts.wav, bursts.txt: its bursts' first frames);
# MODE is on or off (SYNC). Needs the null sink of null-sink-server.sh
# running. Plays the track through fulgora-play to a fulgora-board of its own
# while fulgora-record records the sink's monitor, then appends one line to
# WORK/results (heard_offsets.py run). Every process it starts is gone when
# it returns; their ids are in $heard_pids meanwhile, for the caller's trap,
# and stay in $heard_started, for a check that they are gone.
heard_pids=() heard_started=()
# A Python with numpy: the first on the path, else Debian's (python3-numpy).
heard_python=python3
python3 -c 'import numpy' 2>/dev/null || heard_python=/usr/bin/python3

heard_stop() {  # ends the processes heard_run started, by their ids
  local p
  heard_started+=("${heard_pids[@]}")
  for p in "${heard_pids[@]}"; do kill "$p" 2>/dev/null || true; done
  for p in "${heard_pids[@]}"; do wait "$p" 2>/dev/null || true; done
  heard_pids=()
}

heard_run() {
  local work=$1 bin=$2 name=$3 mode=$4 seconds=$5 here
  shift 5
  here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
  rm -f "$work/board.csv" "$work/board.out" "$work/rec.out" "$work/rec.raw" "$work/stamps.txt"
  "$bin/fulgora-board" --quiet --monotonic --csv "$work/board.csv" >"$work/board.out" 2>&1 &
  heard_pids+=($!)
  local port=
  for _ in $(seq 100); do
    port=$(sed -n 's/^PORTNAME=//p' "$work/board.out" 2>/dev/null)
    [ -n "$port" ] && break
    sleep 0.05
  done
  [ -n "$port" ] || { echo "the board did not start" >&2; heard_stop; return 1; }
  printf '[SETTING]\r\nPORTNAME=%s\r\nSYNC=%d\r\n' "$port" "$([ "$mode" = on ] && echo 1 || echo 0)" \
    >"$work/settings.ini"
  "$bin/fulgora-record" "$sound_monitor" 44100 2 $((seconds + 12)) "$work/rec.raw" \
    "$work/stamps.txt" >"$work/rec.out" 2>&1 &
  heard_pids+=($!)
  for _ in $(seq 100); do grep -q recording "$work/rec.out" 2>/dev/null && break; sleep 0.05; done
  grep -q recording "$work/rec.out" || { cat "$work/rec.out" >&2; heard_stop; return 1; }
  sleep 1  # the recording's latency report settles
  "$bin/fulgora-play" --settings "$work/settings.ini" "$@" "$work/bursts.wav" \
    >"$work/play.out" 2>"$work/play.err" &
  heard_pids+=($!)
  local status=0
  wait "${heard_pids[-1]}" || status=$?
  grep -q "sound to $sound_sink" "$work/play.err" || status=1
  sleep 0.3  # the last fragments reach the recorder
  heard_stop
  [ $status -eq 0 ] || { cat "$work/play.err" >&2; return 1; }
  "$heard_python" "$here/heard_offsets.py" run "$work/bursts.wav" "$work/bursts.txt" "$work/rec.raw" \
    "$work/stamps.txt" "$work/board.csv" "$name" "$mode" >>"$work/results"
}
