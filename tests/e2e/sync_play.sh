#!/usr/bin/env bash
# Sync mode end to end: with the stand-in's modelled 1000 ms output (and
# SYNC_RATE=0, which takes the default rate), level commands reach the board
# as their audio is heard and no lit command arrives long before its onset is
# heard (without the mode they come a whole buffer early); without the
# player's clock (--fast models no output) the mode says so once.
# usage: sync_play.sh NATIVE_BIN
set -u
bin=$1
. "$(dirname "$0")/common.sh"

# An onset on every 24th chunk of 4096 frames (2.23 s apart).
"$bin/fulgora-demo-track" --onsets 4096 24 5 "$work/onsets.wav" || fail "no track"
printf '[SETTING]\r\nSYNC=1\r\nSYNC_RATE=0\r\n' >"$work/sync.ini"
printf '[SETTING]\r\nSYNC=1\r\n' >"$work/rate.ini"

"$bin/fulgora-play" --no-sound --board --settings "$work/sync.ini" --log "$work/log.csv" \
  "$work/onsets.wav" >"$work/stdout" 2>"$work/stderr" || { cat "$work/stderr"; fail "play"; }
cat "$work/stderr"
[ "$(tr -d '\r' <"$work/stdout")" = $'successful com open.\nsuccessful com close.' ] ||
  { cat "$work/stdout"; fail "console lines differ from a normal run"; }
[ "$(head -n 1 "$work/log.csv")" = "time_s,heard_s,line,ch0,ch1,ch2" ] || fail "log header"
levels=$(grep -c '"SD' "$work/log.csv")
# SYNC_RATE=0 is the default rate: 60 a second of heard audio, up to three
# more where the light rises; fewer where a loaded worker falls behind.
[ "$levels" -le $((5 * 60 * 4)) ] && [ "$levels" -ge 150 ] ||
  fail "$levels level commands for 5 s at SYNC_RATE=0"
awk -F, '$3 ~ /SD/ { h = $2 } END { exit !(h >= 4.5) }' "$work/log.csv" ||
  fail "the level commands stop before the track's last half second"
# Each lit command must arrive within half a second of its onset's block being
# heard (the nearest onset's; without the mode they are a second early).
# (The line field holds commas of its own: the channels are the last three.)
early=$(awk -F, 'NR > 1 && $NF != "" && $(NF - 2) + $(NF - 1) + $NF > 30 {
    k = int($2 * 44100 / (24 * 4096) + 0.5); block = (k * 24 * 4096 + 2048) / 44100
    d = $2 - block; if (d < -0.5 || d > 0.5) n++ } END { print n + 0 }' "$work/log.csv")
[ "$early" -eq 0 ] || { cat "$work/log.csv"; fail "$early lit commands far from their onset"; }
[ "$(tail -n 1 "$work/log.csv" | cut -d, -f3)" = '"LD"' ] || fail "closing command not last"

# The default rate: 60 commands a second of heard audio (5 s: 300), fewer
# where the worker falls behind as above; without a rate about 11.
"$bin/fulgora-play" --no-sound --board --settings "$work/rate.ini" --log "$work/log.csv" \
  "$work/onsets.wav" >"$work/stdout" 2>"$work/stderr" || { cat "$work/stderr"; fail "play"; }
levels=$(grep -c '"SD' "$work/log.csv")
[ "$levels" -ge 150 ] || fail "$levels level commands for 5 s at 60 a second"

"$bin/fulgora-play" --no-sound --fast --board --settings "$work/sync.ini" "$work/onsets.wav" \
  >"$work/stdout" 2>"$work/stderr" || { cat "$work/stderr"; fail "fast play"; }
[ "$(tr -d '\r' <"$work/stdout")" = \
  $'successful com open.\nsync off: no playback clock.\nsuccessful com close.' ] ||
  { cat "$work/stdout"; fail "fallback console lines"; }
echo "PASS"
