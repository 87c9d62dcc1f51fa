#!/usr/bin/env bash
# The tools meet bad input with one clear line on standard error and a
# non-zero exit, never a crash. usage: bad_input.sh NATIVE_BIN
set -u
bin=$1
. "$(dirname "$0")/common.sh"
"$bin/fulgora-demo-track" --tone 440 0.5 "$work/stereo.wav"
printf 'not audio at all' >"$work/text.wav"
printf '[SETTING]\n' >"$work/s.ini"

expect "play: missing audio file" "nowhere.wav" "$bin/fulgora-play" --no-sound "$work/nowhere.wav"
expect "play: not audio" "text.wav" "$bin/fulgora-play" --no-sound "$work/text.wav"
expect "play: missing library" "cannot load" "$bin/fulgora-play" --no-sound --component "$work/none.so" "$work/stereo.wav"
cp "$bin/fulgora-board" "$work/not-a-library.so"
expect "play: not a library" "cannot load" "$bin/fulgora-play" --no-sound --component "$work/not-a-library.so" "$work/stereo.wav"
expect "play: library without the export" "no foobar2000_get_interface" \
  "$bin/fulgora-play" --no-sound --component "$(ldd "$bin/fulgora-play" | awk '/libm\.so/ {print $3}')" "$work/stereo.wav"
expect "play: missing settings" "settings" "$bin/fulgora-play" --no-sound --settings "$work/none.ini" "$work/stereo.wav"
expect "play: --plot without --board" "--plot needs --board" "$bin/fulgora-play" --no-sound --plot "$work/p.svg" "$work/stereo.wav"
make_wav "$work/mono.wav" 44100 1 0.1
expect "analyze: mono audio" "only stereo" "$bin/fulgora-analyze" "$work/mono.wav"
expect "analyze: missing file" "nowhere.flac" "$bin/fulgora-analyze" "$work/nowhere.flac"
expect "analyze: not audio" "text.wav" "$bin/fulgora-analyze" "$work/text.wav"
expect "analyze: missing settings" "settings" "$bin/fulgora-analyze" --settings "$work/none.ini" "$work/stereo.wav"
expect "analyze: bad chunk size" "--chunk" "$bin/fulgora-analyze" --chunk 0 "$work/stereo.wav"
# A folder for a file, and FULGORA_INI naming nothing: one line, not a run on defaults.
for tool in play analyze; do
  expect "$tool: folder as settings" "a folder, not a settings file" \
    "$bin/fulgora-$tool" --settings "$work" "$work/stereo.wav"
  expect "$tool: folder as audio" "a folder, not an audio file" "$bin/fulgora-$tool" "$work"
  expect "$tool: FULGORA_INI names nothing" "FULGORA_INI=$work/none.ini: no such settings file" \
    env FULGORA_INI="$work/none.ini" "$bin/fulgora-$tool" "$work/stereo.wav"
done

# Out-of-range or unknown option values are named, not converted.
expect "board: --late 1e309" "--late: 1e309" timeout 10 "$bin/fulgora-board" --quiet --late 1e309
expect "board: --count 1e300" "--count: 1e300" timeout 10 "$bin/fulgora-board" --quiet --count 1e300
expect "board: --seconds nan" "--seconds: nan" timeout 10 "$bin/fulgora-board" --quiet --seconds nan
expect "board: --reply maybe" "--reply: maybe" timeout 10 "$bin/fulgora-board" --quiet --reply maybe

# A history that cannot be allocated (it once threw out of the settings load
# and so out of the DSP's creation, aborting the tools): never an abort, and
# fulgora-play --board ends its board child and removes its folder.
# The sanitizers' allocators make a failed allocation fatal: plain builds only.
if ldd "$bin/fulgora-analyze" | grep -qE 'libasan|libtsan'; then
  echo "skipped: history too large (sanitizer build)"
else
  printf '[SETTING]\nENHANCER_MEAN_COUNT=2147483647\n' >"$work/huge.ini"
  "$bin/fulgora-analyze" --settings "$work/huge.ini" "$work/stereo.wav" >"$work/out" 2>"$work/err"
  code=$?
  if [ $code -ge 128 ]; then
    echo "FAIL: analyze: history too large: exit $code"; cat "$work/err"; status=1
  else
    echo "ok: analyze: history too large: exit $code: $(tail -n 1 "$work/err")"
  fi
  mkdir -p "$work/tmp"
  TMPDIR="$work/tmp" timeout 60 "$bin/fulgora-play" --no-sound --fast --board --settings "$work/huge.ini" \
    "$work/stereo.wav" >"$work/out" 2>"$work/err"
  code=$?
  sleep 0.2
  if [ $code -lt 124 ] && [ -z "$(ls -A "$work/tmp")" ] && ! pgrep -f "$work/tmp" >/dev/null; then
    echo "ok: play --board: history too large: exit $code, board ended, folder removed"
  else
    echo "FAIL: play --board: history too large: exit $code, left: $(ls -A "$work/tmp"), stderr:"
    cat "$work/err"; status=1
    for pid in $(pgrep -f "$work/tmp"); do kill "$pid"; done  # our own leftover child
  fi
fi

# Mono audio plays through the DSP untouched (it is just never measured).
if "$bin/fulgora-play" --no-sound --fast "$work/mono.wav" >"$work/out" 2>"$work/err" &&
   grep -q 'bit-identical: yes' "$work/err"; then
  echo "ok: play: mono passes through"
else
  echo "FAIL: play: mono"; cat "$work/err"; status=1
fi
[ $status -eq 0 ] && echo PASS
exit $status
