#!/usr/bin/env bash
# The main job on an embedded default: sets up the machine, builds, then plays
# the demo track through the component in real time to the simulated LED
# board, with the example settings. Shows the board's three channels live,
# ends with a summary and writes a picture of what the board received.
set -euo pipefail
cd "$(dirname "$0")/.."
./scripts/setup.sh
cmake --preset release >/dev/null
cmake --build --preset release
exec ./build/release/bin/fulgora-play --board --settings examples/foo_Fulgora.ini \
  --plot build/release/demo/demo.svg build/release/demo/demo.wav
