#!/usr/bin/env bash
# Zips the two DLLs, the example settings and the calibration track
# (calibrate.wav: fulgora-demo-track --clicks) into a .fb2k-component, the
# layout foobar2000 installs from: the 32-bit DLL at the root (1.x, 2.x x86),
# the 64-bit one in x64/ (2.x x64 prefers it). The example goes in as
# foo_Fulgora.example.ini, so an update never overwrites the user's own
# foo_Fulgora.ini beside the DLL, and with CRLF line ends, so that every
# Notepad shows it as lines. The DLLs go in stripped of debug sections
# and symbols, whatever build they come from.
# usage: pack-component.sh DLL32 DLL64 EXAMPLE_INI CALIBRATE_WAV OUT
set -euo pipefail
[ $# -eq 5 ] || { echo "usage: $0 DLL32 DLL64 EXAMPLE_INI CALIBRATE_WAV OUT" >&2; exit 2; }
dll32=$1 dll64=$2 ini=$3 wav=$4 out=$5
for f in "$dll32" "$dll64" "$ini" "$wav"; do
  [ -f "$f" ] || { echo "$0: no file at $f" >&2; exit 1; }
done
stage=$(mktemp -d)
trap 'rm -rf "$stage"' EXIT
mkdir "$stage/x64"
cp "$dll32" "$stage/foo_Fulgora.dll"
cp "$dll64" "$stage/x64/foo_Fulgora.dll"
sed 's/\r*$/\r/' "$ini" >"$stage/foo_Fulgora.example.ini"
cp "$wav" "$stage/calibrate.wav"
i686-w64-mingw32-strip --strip-all "$stage/foo_Fulgora.dll"
x86_64-w64-mingw32-strip --strip-all "$stage/x64/foo_Fulgora.dll"
mkdir -p "$(dirname "$out")"
out=$(cd "$(dirname "$out")" && pwd)/$(basename "$out")
rm -f "$out"  # zip would otherwise add to an old archive
(cd "$stage" && zip -q -X -D "$out" foo_Fulgora.dll x64/foo_Fulgora.dll foo_Fulgora.example.ini \
  calibrate.wav)
