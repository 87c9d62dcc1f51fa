#!/usr/bin/env bash
# When the lights would stay dark, the component and the tools say why: a
# value that fails the load, audio that is not stereo, a band edge above half
# the rate, keys the tools find wrong, and which settings file each used.
# usage: says_why.sh NATIVE_BIN
set -u
bin=$1
. "$(dirname "$0")/common.sh"
check() {  # NAME FILE TEXT: FILE holds the line TEXT
  if grep -qxF -- "$3" "$2"; then echo "ok: $1"; else echo "FAIL: $1: no line \"$3\" in:"; cat "$2"; status=1; fi
}
make_wav "$work/slow.wav" 22050 2 1
make_wav "$work/mono.wav" 44100 1 1
make_wav "$work/stereo.wav" 44100 2 1
printf '[SETTING]\r\nLOW_RATIO=2,5\r\nHI_FREQ=20000\r\nSYNC=yes\r\nSYNC_OFFSET_MS=-30ms\r\nRECONNECT=yes\r\nSYNC_RATE=-3\r\nLOW_GAMMA=2\r\n' >"$work/bad.ini"
printf '[SETTING]\r\nHI_FREQ=20000\r\n' >"$work/slow.ini"
printf '[SETTINGS]\r\nPORTNAME=COM3\r\n' >"$work/misspelt.ini"

# fulgora-analyze: every bad key, the file it used, why a row has no levels.
FULGORA_INI="$work/misspelt.ini" "$bin/fulgora-analyze" --settings "$work/bad.ini" \
  "$work/stereo.wav" >"$work/out" 2>"$work/err"
check "analyze: --settings wins over FULGORA_INI" "$work/err" "fulgora-analyze: settings from $work/bad.ini"
defaults=": the component uses its built-in defaults for all seventeen values"
check "analyze: LOW_RATIO" "$work/err" "fulgora-analyze: LOW_RATIO=2,5: malformed (a number with a point, as 2.5)$defaults"
check "analyze: SYNC" "$work/err" "fulgora-analyze: SYNC=yes: malformed (0 or 1): ignored, as if the key were missing"
check "analyze: SYNC_OFFSET_MS" "$work/err" \
  "fulgora-analyze: SYNC_OFFSET_MS=-30ms: malformed (whole milliseconds from -10000 to 10000): ignored, as if the key were missing"
check "analyze: RECONNECT" "$work/err" "fulgora-analyze: RECONNECT=yes: malformed (a whole decimal number): ignored, as if the key were missing"
check "analyze: SYNC_RATE" "$work/err" \
  "fulgora-analyze: SYNC_RATE=-3: malformed (a whole number of 0 or more): ignored, as if the key were missing"
check "analyze: a typo" "$work/err" "fulgora-analyze: LOW_GAMMA: unknown key, ignored (did you mean LOW_GANMA?)"
check "analyze: the component's line" "$work/err" \
  "fulgora-analyze: the component would say: settings: LOW_RATIO malformed, built-in defaults used."
"$bin/fulgora-analyze" --settings "$work/slow.ini" "$work/slow.wav" >"$work/out" 2>"$work/err"
check "analyze: no levels explained" "$work/out" "     0.000  (no levels: HI_FREQ 20000 Hz above half of 22050 Hz)"
"$bin/fulgora-analyze" --csv --settings "$work/slow.ini" "$work/slow.wav" "$work/stereo.wav" >"$work/out" 2>"$work/err"
check "analyze: a file column" "$work/out" "file,time_s,low,mid,high,ch0,ch1,ch2"
check "analyze: named rows" "$work/out" "slow.wav,0.000000,,,,,,"

"$bin/fulgora-analyze" --settings "$work/misspelt.ini" "$work/stereo.wav" >"$work/out" 2>"$work/err"
check "analyze: misspelt section" "$work/err" \
  "fulgora-analyze: no [SETTING] section (the file has: [SETTINGS]): the component reads no key, so it drives no board"

# The component, through fulgora-play and the board: each line once.
play() {  # SETTINGS AUDIO
  "$bin/fulgora-play" --no-sound --fast --board --settings "$1" "$2" >"$work/out" 2>"$work/err"
  tr -d '\r' <"$work/out" >"$work/console"
}
play "$work/bad.ini" "$work/stereo.wav"
check "play: settings from" "$work/err" "fulgora-play: settings from $work/bad.ini"
check "component: malformed value" "$work/console" "settings: LOW_RATIO malformed, built-in defaults used."
play "$work/slow.ini" "$work/slow.wav"
check "component: band edge" "$work/console" "analysis: HI_FREQ 20000 Hz above half of 22050 Hz, nothing sent."
[ "$(grep -c analysis: "$work/console")" -eq 1 ] || { echo "FAIL: the edge line is not said once"; status=1; }
play "$work/slow.ini" "$work/mono.wav"
check "component: not stereo" "$work/console" "audio: mono, only stereo is measured."
[ "$(wc -l <"$work/console")" -eq 3 ] || { echo "FAIL: mono: not three lines"; cat "$work/console"; status=1; }
# A misspelt section stays misspelt: no port, no lights, as in the player.
play "$work/misspelt.ini" "$work/stereo.wav"
check "play: misspelt section" "$work/err" \
  "fulgora-play: no [SETTING] section (the file has: [SETTINGS]): the component reads no key, so it drives no board"
[ ! -s "$work/console" ] || { echo "FAIL: misspelt section: the component ran"; cat "$work/console"; status=1; }
# --fast with the board: the chunks' commands reach it (not the one or two
# the worker caught before); a busy machine may let one pass unmeasured.
play "$work/slow.ini" "$work/stereo.wav"
printf '[SETTING]\r\n' >"$work/plain.ini"
"$bin/fulgora-play" --no-sound --fast --board --settings "$work/plain.ini" "$work/stereo.wav" >"$work/out" 2>"$work/err"
chunks=$(sed -n 's/.*done: \([0-9]*\) chunks.*/\1/p' "$work/err")
levels=$(sed -n 's/.*board got \([0-9]*\) level commands.*/\1/p' "$work/err")
if [ -n "$chunks" ] && [ -n "$levels" ] && [ $((levels * 10)) -ge $((chunks * 8)) ]; then
  echo "ok: --fast --board: $levels of $chunks chunks"
else echo "FAIL: --fast --board: $levels level commands for $chunks chunks"; cat "$work/err"; status=1; fi
[ $status -eq 0 ] && echo PASS
exit $status
