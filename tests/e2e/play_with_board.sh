#!/usr/bin/env bash
# End to end: the player stand-in loads the component, plays a steady tone
# through it in real time, and the simulated board must receive exactly the
# level command that the analysis predicts, then the closing command; the
# console lines are those of a normal run and the audio leaves bit-identical.
#
# usage: play_with_board.sh NATIVE_BIN [wine WINE_RUN BITS WINDOWS_BIN]
set -u
bin=$1
mode=${2:-native}
. "$(dirname "$0")/common.sh"

# 93 cycles in 4096 frames: every chunk of 4096 frames holds the same samples.
"$bin/fulgora-demo-track" --tone "$(awk 'BEGIN { printf "%.12f", 93 * 44100 / 4096 }')" \
  "$(awk 'BEGIN { printf "%.12f", 24 * 4096 / 44100 }')" "$work/tone.wav" ||
  fail "cannot make the test tone"

if [ "$mode" = wine ]; then
  wine_run=$3 bits=$4 windows=$5
  prefix=$("$wine_run" "$bits" --prefix)
  "$wine_run" "$bits" cmd /c exit >/dev/null 2>&1
  link="$prefix/dosdevices/com8"
  "$bin/fulgora-board" --quiet --csv "$work/board.csv" --link "$link" >"$work/board.out" 2>&1 &
  board_pid=$!
  for _ in $(seq 100); do [ -L "$link" ] && break; sleep 0.05; done
  port=COM8
  [ -L "$link" ] || fail "the board did not start"
else
  start_board --csv "$work/board.csv"
fi
printf '[SETTING]\r\nPORTNAME=%s\r\nLOW_RATIO=3\r\nMID_RATIO=300\r\n' "$port" >"$work/settings.ini"

# What the analysis predicts for one block of the tone.
expected=$("$bin/fulgora-analyze" --csv --settings "$work/settings.ini" "$work/tone.wav" |
  sed -n 2p | awk -F, '{printf "%d,%d,%d", $5, $6, $7}')
[ -n "$expected" ] || fail "no prediction"

if [ "$mode" = wine ]; then
  (cd "$work" && "$wine_run" "$bits" "$windows/fulgora-play.exe" --no-sound --settings settings.ini tone.wav \
     >"$work/stdout" 2>"$work/stderr")
else
  "$bin/fulgora-play" --no-sound --settings "$work/settings.ini" "$work/tone.wav" \
    >"$work/stdout" 2>"$work/stderr"
fi
status=$?
kill "$board_pid"; wait "$board_pid" 2>/dev/null; board_pid=
cat "$work/stderr"
[ $status -eq 125 ] && exit 125  # an emulator fault (wine-run): not this test's verdict
[ $status -eq 0 ] || fail "fulgora-play exited with $status"
printf 'successful com open.\nsuccessful com close.\n' | tr -d '\r' >"$work/expected_stdout"
tr -d '\r' <"$work/stdout" | cmp -s - "$work/expected_stdout" ||
  { cat "$work/stdout"; fail "console lines differ from a normal run"; }
grep -q 'audio bit-identical: yes' "$work/stderr" || fail "audio changed"

levels=$(grep -c '"SD' "$work/board.csv")
wrong=$(grep '"SD' "$work/board.csv" | grep -v -c ",$expected\$")
last=$(tail -n 1 "$work/board.csv")
echo "board: $levels level commands, expected bytes $expected, $wrong differing; last: $last"
[ "$levels" -ge 3 ] || fail "too few level commands"
[ "$wrong" -eq 0 ] || { cat "$work/board.csv"; fail "bytes differ from the prediction"; }
case "$last" in *'"LD"'*) ;; *) fail "the closing command did not come last" ;; esac
echo "PASS"
