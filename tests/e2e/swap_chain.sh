#!/usr/bin/env bash
# The player's DSP chain swap during playback (fulgora-play --swap-at): the new
# instance is made while the old one holds the port. It must take the port
# once the old one has closed it: console open, close, open (then the last
# close); the board gets the old one's closing command before any command of
# the new one, and the new one's first level command within 300 ms of it.
# A low tone then a high tone, swapped so that the old instance's last chunk
# is the last low one: the old one's commands light channel 0 only, and only
# the new one lights channel 2.
#
# usage: swap_chain.sh NATIVE_BIN [wine WINE_RUN BITS WINDOWS_BIN COM_NUMBER]
set -u
native=$1
mode=${2:-native}
. "$(dirname "$0")/common.sh"

chunk_s=$(awk 'BEGIN { printf "%.12f", 4096 / 44100 }')
# 20 and 800 cycles per 4096 frames: bins 20 and 800, 24 chunks each.
for tone in low:20 high:800; do
  "$native/fulgora-demo-track" --tone "$(awk -v k="${tone#*:}" 'BEGIN { printf "%.12f", k * 44100 / 4096 }')" \
    "$(awk -v c="$chunk_s" 'BEGIN { printf "%.12f", 24 * c }')" "$work/${tone%:*}.wav" || fail "no tone"
done
# With the stand-in's 1 s output buffer, the chunk run once the heard position
# passes 22.5 chunks - 1 s starts at 23 chunks: the low tone's last.
swap_at=$(awk -v c="$chunk_s" 'BEGIN { printf "%.4f", 22.5 * c - 1.0 }')
settings='[SETTING]\r\nLOW_RATIO=40\r\nHI_RATIO=1000\r\n'

if [ "$mode" = wine ]; then
  wine_run=$3 bits=$4 windows=$5 com=$6
  prefix=$("$wine_run" "$bits" --prefix)
  "$wine_run" "$bits" cmd /c exit >/dev/null 2>&1
  link="$prefix/dosdevices/com$com"
  rm -f "$link"
  "$native/fulgora-board" --quiet --csv "$work/board.csv" --link "$link" >"$work/board.out" 2>&1 &
  board_pid=$!
  for _ in $(seq 100); do [ -L "$link" ] && break; sleep 0.05; done
  [ -L "$link" ] || fail "the board did not start"
  printf "$settings"'PORTNAME=COM%s\r\n' "$com" >"$work/settings.ini"
  (cd "$work" && "$wine_run" "$bits" "$windows/fulgora-play.exe" --no-sound --settings settings.ini \
     --swap-at "$swap_at" low.wav high.wav >"$work/stdout" 2>"$work/stderr")
  status=$?
  kill "$board_pid"; wait "$board_pid" 2>/dev/null; board_pid=
  log=$work/board.csv  # time_s,line,ch0,ch1,ch2
else
  printf "$settings" >"$work/settings.ini"
  "$native/fulgora-play" --no-sound --board --log "$work/log.csv" --settings "$work/settings.ini" \
    --swap-at "$swap_at" "$work/low.wav" "$work/high.wav" >"$work/stdout" 2>"$work/stderr"
  status=$?
  log=$work/log.csv  # time_s,heard_s,line,ch0,ch1,ch2
fi
cat "$work/stderr"
[ $status -eq 125 ] && exit 125  # an emulator fault (wine-run): not this test's verdict
[ $status -eq 0 ] || fail "fulgora-play exited with $status"
grep -q 'DSP chain swapped' "$work/stderr" || fail "no swap reported"
[ "$(tr -d '\r' <"$work/stdout")" = \
  $'successful com open.\nsuccessful com close.\nsuccessful com open.\nsuccessful com close.' ] ||
  { cat "$work/stdout"; fail "console lines: not open, close, open, close"; }

# One verdict line: the checks in order, the first that fails named.
verdict=$(awk -F, 'NR > 1 {
    lit0 = $(NF - 2) > 0; lit2 = $NF > 0
    if ($0 ~ /,"LD",/) { if (!closed) { closed = 1; closed_at = $1 } else last_ld = NR; next }
    if ($0 !~ /,"SD/) next
    if (!closed) { before++; if (!lit0 || lit2) early++ }
    else { after++; if (lit2) lit_new++; if (after == 1) gap = $1 - closed_at }
    final = NR }
  END {
    if (!closed) print "no closing command"
    else if (before == 0) print "the old instance sent no level command"
    else if (early > 0) print early " command(s) not of the old instance before it closed"
    else if (lit_new == 0) print "the new instance sent no level command of its own"
    else if (last_ld <= final) print "no closing command after the new instance"
    else if (gap > 0.3) printf "the new instance lit %.3f s after the old one closed\n", gap
    else printf "ok: %d commands before the closing command, %d after; first %.3f s after it\n",
                before, after, gap }' "$log")
echo "board: $verdict"
case "$verdict" in ok:*) ;; *) cat "$log"; fail "$verdict" ;; esac
echo "PASS"
