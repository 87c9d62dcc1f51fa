#!/usr/bin/env bash
# The player's DSP chain as the stand-in plays it: three files gaplessly with
# a DSP of the stand-in's own after ours (the crossfader asks for track-change
# marks, so ours gets FLUSH at every track end while playback goes on, and
# overlaps the files by 200 ms; the resampler does not), a rebuild that keeps
# ours, and a converter's second chain while playback holds the port.
# usage: chain_play.sh NATIVE_BIN
set -u
bin=$1
. "$(dirname "$0")/common.sh"

# An onset on every 24th chunk of 4096 frames (2.23 s apart), three 5 s files.
"$bin/fulgora-demo-track" --onsets 4096 24 5 "$work/onsets.wav" || fail "no track"
printf '[SETTING]\r\nSYNC=1\r\n' >"$work/sync.ini"
printf '[SETTING]\r\n' >"$work/plain.ini"
open_close=$'successful com open.\nsuccessful com close.'

# The log: time_s,heard_s,"LINE",ch0,ch1,ch2 (a level command's line has
# commas of its own). Lit commands per file (by the heard position, 5 s each),
# and those more than half a second from their onset's place in our stream;
# the crossfader plays each file 200 ms earlier than the one before (400 ms
# for the third), which a light on the onset where it is heard stays within.
# A board held up by the machine's load (no line read for 0.2 s, then a
# backlog read at once, lines microseconds apart) shows when it read, not
# when they were sent: the backlog is left out, and counted.
lit_per_file() {
  awk -F, 'NR > 1 {
      held = prev != "" && ($1 - prev > 0.2 || (held && $1 - prev < 0.0005)); prev = $1 }
    NR > 1 && $NF != "" && $(NF - 2) + $(NF - 1) + $NF > 30 {
      if (held) { late++; next }
      f = int($2 / 5); if (f > 2) f = 2; n[f]++
      k = int(($2 - 5 * f) * 44100 / (24 * 4096) + 0.5)
      d = $2 - 5 * f - (k * 24 * 4096 + 2048) / 44100
      if (d < -0.5 || d > 0.5) far++ }
    END { printf "%d %d %d %d %d\n", n[0], n[1], n[2], far, late }' "$1"
}

gapless() {  # the DSP after ours
  after=$1
  "$bin/fulgora-play" --no-sound --board --after $after --settings "$work/sync.ini" --log "$work/log.csv" \
    "$work/onsets.wav" "$work/onsets.wav" "$work/onsets.wav" >"$work/stdout" 2>"$work/stderr" ||
    { cat "$work/stderr"; fail "--after $after: play"; }
  grep -q 'audio bit-identical: yes' "$work/stderr" || fail "--after $after: audio changed"
  [ "$(tr -d '\r' <"$work/stdout")" = "$open_close" ] ||
    { cat "$work/stdout"; fail "--after $after: console lines differ from a one-file run"; }
  read -r a b c far late <<<"$(lit_per_file "$work/log.csv")"
  echo "--after $after: lit commands per file $a $b $c, $far far from their onset ($late read late)"
  [ "$late" -le $(((a + b + c) / 4)) ] || fail "--after $after: the board read too little in time"
  [ "$a" -gt 0 ] && [ "$b" -gt 0 ] && [ "$c" -gt 0 ] || fail "--after $after: a file stayed dark"
  # FLUSH at a track end is no restart: the stream and its sync go on.
  [ "$far" -eq 0 ] || { cat "$work/log.csv"; fail "--after $after: lights off their onsets"; }
}

gapless resample

# A rebuild where only the DSP after ours changed keeps ours: one open, one
# close (a swap's successor opens the port again: swap_chain.sh).
"$bin/fulgora-play" --no-sound --fast --board --after crossfade --settings "$work/plain.ini" --rebuild-at 2 \
  "$work/onsets.wav" >"$work/stdout" 2>"$work/stderr" || { cat "$work/stderr"; fail "rebuild"; }
grep -q 'DSP chain rebuilt at' "$work/stderr" || fail "the rebuild was not reported"
[ "$(tr -d '\r' <"$work/stdout")" = "$open_close" ] || { cat "$work/stdout"; fail "rebuild: console"; }

# A converter's chain with our DSP while playback holds the port: playback
# keeps it (one open, one close; the converter may say it waits) and its
# sync; the converter's tone (the high band alone) never reaches the board.
"$bin/fulgora-play" --no-sound --board --settings "$work/sync.ini" --second-chain 1:6 --log "$work/log.csv" \
  "$work/onsets.wav" >"$work/stdout" 2>"$work/stderr" || { cat "$work/stderr"; fail "second chain"; }
cat "$work/stderr"
grep -q 'second chain ended at' "$work/stderr" || fail "the second chain did not end"
[ "$(tr -d '\r' <"$work/stdout" | grep -v '^com port in use by another instance\.$')" = \
  "$open_close" ] || { cat "$work/stdout"; fail "second chain: console lines"; }
tone=$(awk -F, 'NR > 1 && $NF != "" && $NF > 30 && $(NF - 2) + $(NF - 1) < 10' "$work/log.csv" |
  wc -l)
[ "$tone" -eq 0 ] || { cat "$work/log.csv"; fail "$tone commands of the second chain's tone reached the board"; }
read -r a _ _ far _ <<<"$(lit_per_file "$work/log.csv")"
[ "$a" -gt 0 ] && [ "$far" -eq 0 ] || { cat "$work/log.csv"; fail "second chain: playback's sync"; }
# With the crossfader ours gets FLUSH at every track end, and what is played
# shortens by the overlap at each.
gapless crossfade
echo "PASS"
