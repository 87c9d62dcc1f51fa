#!/usr/bin/env bash
# The main job on an embedded default: sets up the machine, builds, and runs
# the component's measuring half over the demo track with the example settings.
set -euo pipefail
cd "$(dirname "$0")/.."
./scripts/setup.sh
cmake --preset release >/dev/null
cmake --build --preset release
exec ./build/release/bin/fulgora-analyze --settings examples/foo_Fulgora.ini \
  --chunk 4096 build/release/demo/demo.wav
