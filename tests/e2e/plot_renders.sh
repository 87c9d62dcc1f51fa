#!/usr/bin/env bash
# fulgora-play --board --plot writes an SVG of what the simulated board
# received; headless Chromium renders it and the screenshot must show all
# three channels. usage: plot_renders.sh NATIVE_BIN
set -u
bin=$1
here=$(cd "$(dirname "$0")" && pwd)
. "$here/common.sh"
browser=$(command -v chromium || command -v chromium-browser) || fail "no chromium (scripts/setup.sh installs it)"

"$bin/fulgora-demo-track" --length 4 "$work/demo.wav" || fail "no demo track"
"$bin/fulgora-play" --no-sound --board --settings "$here/../../examples/foo_Fulgora.ini" \
  --plot "$work/plot.svg" "$work/demo.wav" >"$work/stdout" 2>"$work/stderr" ||
  { cat "$work/stderr"; fail "fulgora-play failed"; }
cat "$work/stderr"
grep -q "picture written to $work/plot.svg" "$work/stderr" || fail "the picture's path is not printed"
[ -t 1 ] || ! grep -q $'\x1b' "$work/stdout" || fail "escape codes on a stdout that is no terminal"

"$browser" --headless --no-sandbox --disable-gpu --disable-quic --no-first-run \
  --disable-background-networking --disable-component-update --disable-sync \
  --user-data-dir="$work/profile" --window-size=1000,430 \
  --screenshot="$work/plot.png" "file://$work/plot.svg" >"$work/chromium.log" 2>&1
[ -s "$work/plot.png" ] || { tail -5 "$work/chromium.log"; fail "no screenshot"; }
python3 "$here/png_not_blank.py" "$work/plot.png" || fail "the screenshot is blank"
echo PASS
