#!/usr/bin/env bash
# The main job on an embedded default: sets up the machine, builds, then plays
# the demo track through the component in real time to the simulated LED
# board, with the example settings and sync mode on, through a 1000 ms output
# buffer as the player's, so the lights come on the sound: the sound card's,
# heard, where an audio server answers, else a modelled one.
# Shows the board's three channels live, ends with a summary and writes a
# picture of what the board received over the track's band levels.
set -euo pipefail
cd "$(dirname "$0")/.."
./scripts/setup.sh demo
cmake --preset release >/dev/null
cmake --build --preset release
settings=build/release/demo/sync.ini
# Its own file: the example's values with sync mode on, whatever the example
# says about it.
{ grep -v '^ *;* *SYNC' examples/foo_Fulgora.ini; printf '\r\nSYNC=1\r\n'; } >"$settings"
exec ./build/release/bin/fulgora-play --board --settings "$settings" --buffer-ms 1000 \
  --plot build/release/demo/demo.svg build/release/demo/demo.wav
