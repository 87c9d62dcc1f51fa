#!/usr/bin/env bash
# Sets up the machine, then builds and runs every test suite: native, ASan+UBSan,
# TSan, the fuzzers (a bounded run each), and both Windows builds under Wine.
# Fails when any test fails or any suite does not run.
set -uo pipefail
cd "$(dirname "$0")/.."
./scripts/setup.sh "$@" || exit 1  # no presets named: everything

# mingw32 before mingw64: the package test takes the 32-bit DLL from it.
presets=(native asan tsan fuzz mingw32 mingw64)
[ $# -gt 0 ] && presets=("$@")
failed=()
summary=()
logs=build/logs
mkdir -p "$logs"

# 32-bit Windows programs need a kernel that runs 32-bit executables (wine32).
can_run_i386() {
  [ -x /usr/lib/wine/wine ] && /usr/lib/wine/wine --version >/dev/null 2>&1
}

for preset in "${presets[@]}"; do
  echo "=== $preset: configure and build"
  if ! cmake --preset "$preset" >"$logs/build-$preset.log" 2>&1 ||
     ! cmake --build --preset "$preset" >>"$logs/build-$preset.log" 2>&1; then
    tail -n 40 "$logs/build-$preset.log"
    failed+=("$preset (build)")
    continue
  fi
  note=""
  if [ "$preset" = mingw32 ] && ! can_run_i386; then
    # CMake then registers only the checks that need no Wine (exports, imports).
    if [ ! -x /usr/lib/wine/wine ]; then
      why="wine32 is not installed (setup could not install it: see its message above)"
    else
      why="this kernel runs no 32-bit programs, so wine32 cannot start"
    fi
    echo "=== $preset: $why:"
    echo "    only the tests that need no Wine run"
    note=" (Wine tests not run: $why)"
  fi
  echo "=== $preset: test"
  out=$(ctest --preset "$preset" 2>&1)
  status=$?
  echo "$out" | grep -E '^\s*[0-9]+/[0-9]+ Test|tests passed|FAILED|Failed|Not Run' | tail -n 400
  line=$(echo "$out" | grep -E 'tests passed, [0-9]+ tests failed out of [0-9]+' | tail -n 1)
  total=$(echo "$line" | sed -E 's/.* out of ([0-9]+).*/\1/')
  if [ $status -ne 0 ] || [ -z "$line" ] || [ "${total:-0}" -eq 0 ]; then
    echo "$out" | tail -n 60
    failed+=("$preset (tests)")
  fi
  summary+=("$preset: ${line:-no test ran}$note")
done

# Leave no Wine server or service running behind us.
WINEPREFIX=${FULGORA_WINEPREFIX:-${XDG_CACHE_HOME:-$HOME/.cache}/fulgora/wineprefix} \
  /usr/lib/wine/wineserver -k >/dev/null 2>&1 || true

echo "=== summary"
printf '%s\n' "${summary[@]}"
if [ ${#failed[@]} -gt 0 ]; then
  echo "FAILED: ${failed[*]}"
  exit 1
fi
echo "all suites passed"
