#!/usr/bin/env bash
# LIVE=1 through the stand-in, over the calibration track: an edit of the
# user's settings file during the run reaches the component's copy, the
# board and the console, and the picture marks each click with the light's
# offset, which follows the new SYNC_OFFSET_MS. The user's file is only read.
# usage: live_edit.sh NATIVE_BIN
set -u
bin=$1
here=$(cd "$(dirname "$0")" && pwd)
source "$here/common.sh"

"$bin/fulgora-demo-track" --clicks 10 "$work/clicks.wav" || fail "no calibration track"
printf '[SETTING]\r\nSYNC=1\r\nLIVE=1\r\n' >"$work/live.ini"
printf '[SETTING]\r\nSYNC=1\r\nLIVE=1\r\nSYNC_OFFSET_MS=-200\r\n' >"$work/edited.ini"
# Saved between the fourth and the fifth click (the run starts within a second).
(sleep 5; cat "$work/edited.ini" >"$work/live.ini") &
"$bin/fulgora-play" --no-sound --board --settings "$work/live.ini" --clock-step 20 --plot "$work/plot.svg" \
  "$work/clicks.wav" >"$work/stdout" 2>"$work/stderr" || { cat "$work/stderr"; fail "play"; }
wait
cat "$work/stderr"
[ "$(tr -d '\r' <"$work/stdout")" = \
  $'successful com open.\nsettings: reloaded.\nsuccessful com close.' ] ||
  { cat "$work/stdout"; fail "console lines"; }
cmp -s "$work/live.ini" "$work/edited.ini" || fail "the user's file changed"
# The marks' offsets in ms, click by click: near 0 at first, near -200 at the end.
offsets=$(grep -o '>[+-][0-9]* ms<' "$work/plot.svg" | tr -d '>< ms' | tr '\n' ' ')
echo "offsets: $offsets"
set -- $offsets
[ $# -ge 7 ] || fail "$# clicks marked of 9"
first=$1 last=${!#}
[ "$first" -gt -60 ] && [ "$first" -lt 60 ] || fail "first offset $first ms"
[ "$last" -gt -260 ] && [ "$last" -lt -140 ] || fail "last offset $last ms, after SYNC_OFFSET_MS=-200"
# The picture marks the reload and its title says the start's settings changed.
grep -q '>reloaded: offset -200 ms, 60/s<' "$work/plot.svg" || fail "no mark where the edit was taken"
grep -q 'offset 0 ms, 60/s), .* at the start; changed live' "$work/plot.svg" || fail "the title hides the change"
echo PASS
