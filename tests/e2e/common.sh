# Sourced by the end-to-end scripts: a private folder and a board process,
# both gone on every way out, one way to fail, and the checks they share.
work=$(mktemp -d)
board_pid=
status=0
cleanup() {
  [ -n "$board_pid" ] && kill "$board_pid" 2>/dev/null && wait "$board_pid" 2>/dev/null
  rm -rf "$work"
}
trap cleanup EXIT
fail() { echo "FAIL: $*"; exit 1; }

# expect NAME TEXT COMMAND...: COMMAND refuses (exit 1..127) with one line on
# standard error that holds TEXT; otherwise the test fails at its end.
expect() {
  local name=$1 text=$2
  shift 2
  "$@" >"$work/out" 2>"$work/err"
  local code=$?
  if [ $code -eq 0 ] || [ $code -ge 128 ] || [ "$(wc -l <"$work/err")" -ne 1 ] ||
    ! grep -qF -- "$text" "$work/err"; then
    echo "FAIL: $name: exit $code, stderr:"; cat "$work/err"; status=1
  else echo "ok: $name: $(cat "$work/err")"; fi
}

# start_board [OPTION...]: a simulated board of the test's own, ended on the
# way out; its device in $port.
start_board() {
  "$bin/fulgora-board" --quiet "$@" >"$work/board.out" 2>&1 &
  board_pid=$!
  for _ in $(seq 400); do grep -q PORTNAME= "$work/board.out" 2>/dev/null && break; sleep 0.05; done
  port=$(sed -n 's/^PORTNAME=//p' "$work/board.out")
  [ -n "$port" ] || fail "the board did not start"
}

# make_wav PATH RATE CHANNELS SECONDS: a 16-bit WAV of a 440 Hz tone, in the
# forms the demo track tool does not write (mono, other rates, no frames).
make_wav() {
  python3 - "$@" <<'PY'
import math, struct, sys
path, rate, channels, seconds = sys.argv[1], int(sys.argv[2]), int(sys.argv[3]), float(sys.argv[4])
data = b"".join(struct.pack("<h", int(8000 * math.sin(2 * math.pi * 440 * i / rate))) * channels
                for i in range(int(rate * seconds)))
fmt = struct.pack("<HHIIHH", 1, channels, rate, rate * 2 * channels, 2 * channels, 16)
body = b"WAVE" + b"fmt " + struct.pack("<I", 16) + fmt + b"data" + struct.pack("<I", len(data)) + data
open(path, "wb").write(b"RIFF" + struct.pack("<I", len(body)) + body)
PY
}
