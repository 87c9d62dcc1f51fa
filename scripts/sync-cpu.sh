#!/bin/sh
# The sync worker's CPU while playing at SYNC_RATE=200 (or $1) and 192 kHz:
# bench/sync_cpu.cpp built against this tree and against the build before the
# played stream (commit 5bdb0f1 by default, or $2), run one after the other.
# Writes only under build/sync-cpu/. Needs the native toolchain (scripts/setup.sh).
set -eu
here=$(cd "$(dirname "$0")" && pwd)
root=$(dirname "$here")
rate=${1:-200}
old=${2:-5bdb0f1}
seconds=${SECONDS_PLAYED:-8}
work="$root/build/sync-cpu"
mkdir -p "$work"
libs="fulgora_engine fulgora_analysis fulgora_serial fulgora_host fulgora_platform"

# Builds the layer libraries of the tree at $1 in $2 and the bench against them.
build() {
  src=$1
  out=$2
  cmake -S "$src" -B "$out" -DCMAKE_BUILD_TYPE=Release -DFULGORA_BUILD_TESTS=OFF >/dev/null
  cmake --build "$out" -j2 --target $libs >/dev/null
  archives=""
  for l in $libs; do archives="$archives $(find "$out" -name "lib$l.a" | head -n 1)"; done
  # shellcheck disable=SC2086
  c++ -std=c++17 -O2 -I"$src" -o "$out/sync-cpu" "$root/bench/sync_cpu.cpp" \
    -Wl,--start-group $archives -Wl,--end-group -lpthread
}

build "$root" "$work/new"
rm -rf "$work/old-src"
mkdir -p "$work/old-src"
git -C "$root" archive "$old" | tar -x -C "$work/old-src"
build "$work/old-src" "$work/old"

echo "before ($old, the input's ring):"
"$work/old/sync-cpu" "$rate" "$seconds"
echo "now (the played stream):"
"$work/new/sync-cpu" "$rate" "$seconds"
