#!/usr/bin/env bash
# The tools refuse, with one line and a non-zero exit, what would harm a
# user's file, drive a port the user did not ask for, or silently do nothing.
# usage: refuses.sh NATIVE_BIN link|outputs|board_port|past_end
set -u
bin=$1
case_name=$2
. "$(dirname "$0")/common.sh"
"$bin/fulgora-demo-track" --tone 440 2 "$work/c.wav" || fail "cannot make the test tone"


case $case_name in
link)
  # Only a free path or the link of a board that is gone (into /dev/pts/,
  # dangling): not even a link to a live board's device (a user's file or
  # link: tools_outputs_refused).
  start_board
  ln -s "$port" "$work/theirs"
  expect "--link on a link to a live board" "not a gone board's" timeout 10 "$bin/fulgora-board" --quiet --link "$work/theirs"
  [ "$(readlink "$work/theirs")" = "$port" ] || { echo "FAIL: the live board's link changed"; status=1; }
  ln -s /dev/pts/999 "$work/old"
  timeout 1 "$bin/fulgora-board" --quiet --link "$work/old" >"$work/out" 2>&1
  [ $? -eq 124 ] || { echo "FAIL: a dangling board link refused"; cat "$work/out"; status=1; }
  [ ! -e "$work/old" ] && [ ! -L "$work/old" ] || { echo "FAIL: the board's link stayed"; status=1; }
  ;;
outputs)
  # Checked before the run: an input, a folder, a missing folder, a file of
  # another program; the tool's own earlier output may be replaced.
  echo notes >"$work/notes.svg"
  printf '[SETTING]\r\n' >"$work/s.ini"
  play() { "$bin/fulgora-play" --no-sound --board --fast --settings "$work/s.ini" "$@"; }
  expect "--plot on the audio" "one of this run's inputs" play --plot "$work/c.wav" "$work/c.wav"
  expect "--log on the settings" "one of this run's inputs" play --log "$work/s.ini" "$work/c.wav"
  expect "--plot in a missing folder" "no such folder" play --plot "$work/none/x.svg" "$work/c.wav"
  expect "--plot on a folder" "a folder" play --plot "$work" "$work/c.wav"
  expect "--plot on another file" "not written by this tool" play --plot "$work/notes.svg" "$work/c.wav"
  ln -s "$work/nothing" "$work/dangling.svg"
  expect "--plot on a dangling link" "a link to nothing" play --plot "$work/dangling.svg" "$work/c.wav"
  [ -L "$work/dangling.svg" ] || { echo "FAIL: the user's link went"; status=1; }
  [ -f "$work/notes.svg" ] && [ ! -L "$work/notes.svg" ] && [ "$(cat "$work/notes.svg")" = notes ] ||
    { echo "FAIL: the other program's file changed"; status=1; }
  [ "$(od -An -c -N4 "$work/c.wav" | tr -d ' ')" = RIFF ] || { echo "FAIL: the audio was replaced"; status=1; }
  for run in 1 2; do
    play --plot "$work/p.svg" --log "$work/p.csv" "$work/c.wav" >/dev/null 2>"$work/err" ||
      { echo "FAIL: run $run: own outputs refused"; cat "$work/err"; status=1; }
  done
  ;;
board_port)
  # A settings file in UTF-8 with a byte-order mark or in UTF-16 names a
  # port: --board drives the simulated board, never that one.
  start_board --csv "$work/real.csv"
  printf '\357\273\277[SETTING]\r\nPORTNAME=%s\r\n' "$port" >"$work/bom.ini"
  printf '[SETTING]\r\nPORTNAME=%s\r\n' "$port" | iconv -f UTF-8 -t UTF-16 >"$work/utf16.ini"
  for f in bom utf16; do
    "$bin/fulgora-play" --no-sound --board --fast --settings "$work/$f.ini" "$work/c.wav" >"$work/out" 2>"$work/err"
    levels=$(sed -n 's/.*board got \([0-9]*\) level commands.*/\1/p' "$work/err")
    [ "${levels:-0}" -gt 0 ] || { echo "FAIL: $f: the simulated board got nothing"; cat "$work/err"; status=1; }
  done
  [ "$(wc -l <"$work/real.csv")" -le 1 ] || { echo "FAIL: the file's own port was driven"; status=1; }
  ;;
past_end)
  # Times past the end and a command line without audio say so.
  expect "--seek past the end" "past the end" "$bin/fulgora-play" --no-sound --seek 30:1 "$work/c.wav"
  expect "--seek to past the end" "past the end" "$bin/fulgora-play" --no-sound --seek 1:30 "$work/c.wav"
  expect "--pause past the end" "past the end" "$bin/fulgora-play" --no-sound --pause 30:1 "$work/c.wav"
  expect "--swap-at past the end" "past the end" "$bin/fulgora-play" --no-sound --swap-at 99 "$work/c.wav"
  expect "no audio" "no audio file" "$bin/fulgora-play" --no-sound --board --plot "$work/p.svg"
  ;;
*) fail "no case $case_name" ;;
esac
[ $status -eq 0 ] && echo PASS
exit $status
