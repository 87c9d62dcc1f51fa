#!/usr/bin/env bash
# On the click track the picture's offsets (first lit command after each
# click) agree with the same run's --log within 1 ms, at SYNC_OFFSET_MS 0,
# -100 and +50. usage: calibration_agrees.sh NATIVE_BIN
set -u
bin=$1
. "$(dirname "$0")/common.sh"
"$bin/fulgora-demo-track" --clicks 6 "$work/clicks.wav" || fail "no click track"
status=0
for offset in 0 -100 50; do
  printf '[SETTING]\r\nPORTNAME=COM9\r\nSYNC=1\r\nSYNC_OFFSET_MS=%s\r\n' "$offset" >"$work/s.ini"
  rm -f "$work/cal.svg" "$work/cal.csv"
  "$bin/fulgora-play" --settings "$work/s.ini" --board --no-sound --plot "$work/cal.svg" \
    --log "$work/cal.csv" "$work/clicks.wav" >/dev/null 2>"$work/err" ||
    { cat "$work/err"; fail "offset $offset: fulgora-play failed"; }
  python3 - "$work/cal.svg" "$work/cal.csv" "$offset" <<'PY' || status=1
import csv, re, sys
svg, log, offset = open(sys.argv[1]).read(), sys.argv[2], sys.argv[3]
picture = {float(c): float(ms) for c, ms in
           re.findall(r'data-click-s="([0-9.]+)" data-offset-ms="([-0-9.]+)"', svg)}
rows = [r for r in csv.DictReader(open(log)) if r["ch0"] != ""]
bad = []
for click, shown in sorted(picture.items()):
    dark, heard = False, None
    for r in rows:
        h = float(r["heard_s"])
        if h < click - 0.5: continue
        if h > click + 0.5: break
        lit = int(r["ch0"]) + int(r["ch1"]) + int(r["ch2"]) > 0
        if lit and dark:
            heard = 1000 * (h - click); break
        dark = dark or not lit
    if heard is None or abs(heard - shown) > 1.0:
        bad.append("click %.0f s: picture %+.1f ms, log %s" % (click, shown, heard))
print("offset %s: picture %s" % (offset, " ".join("%+.1f" % v for _, v in sorted(picture.items()))))
if len(picture) < 3: bad.append("only %d clicks labelled" % len(picture))
for b in bad: print("FAIL: offset %s: %s" % (offset, b))
sys.exit(1 if bad else 0)
PY
done
[ $status -eq 0 ] && echo PASS
exit $status
