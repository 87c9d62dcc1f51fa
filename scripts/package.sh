#!/usr/bin/env bash
# Builds foo_Fulgora.fb2k-component, the one file a foobar2000 user installs
# (32-bit and 64-bit players alike), and checks it.
# usage: package.sh [OUT]   (default: build/foo_Fulgora.fb2k-component)
set -euo pipefail
cd "$(dirname "$0")/.."
out=${1:-build/foo_Fulgora.fb2k-component}
./scripts/setup.sh package
for preset in mingw32 mingw64; do
  cmake --preset "$preset" >/dev/null
  cmake --build --preset "$preset" --target foo_Fulgora
done
# The calibration track comes from the native demo-track tool.
cmake --preset native >/dev/null
cmake --build --preset native --target fulgora-demo-track
rm -f build/calibrate.wav  # the build's own: a track from before the tool marked its tracks
build/native/bin/fulgora-demo-track --clicks build/calibrate.wav
./scripts/pack-component.sh build/mingw32/bin/foo_Fulgora.dll build/mingw64/bin/foo_Fulgora.dll \
  examples/foo_Fulgora.ini build/calibrate.wav "$out"
./tests/component/check_package.sh "$out" examples/foo_Fulgora.ini build/calibrate.wav
