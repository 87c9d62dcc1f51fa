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

# Per suite: passed, failed and not run, each test not run named with its
# reason (ctest counts a skipped test among the passed ones).
tally() {  # PRESET CTEST_OUTPUT
  local results passed total names name reason notes=() log=build/$1/Testing/Temporary/LastTest.log
  results=$(echo "$2" | grep -E '^ *[0-9]+/[0-9]+ Test +#[0-9]+: ')
  total=$(echo -n "$results" | grep -c '')
  passed=$(echo "$results" | grep -cE ' Passed +[0-9.]+ sec')
  names=$(echo "$results" | grep -E '\*\*\*Skipped' |
    sed -E 's/^ *[0-9]+\/[0-9]+ Test +#[0-9]+: ([^ ]+) .*/\1/')
  for name in $names; do
    # Why: wine-run's emulator fault, else the test's own reason for skipping
    # (GoogleTest's line after "Skipped"), else its last line.
    reason=$(tr -d '\r' <"$log" 2>/dev/null | awk -v t="$name" '
      index($0, " Testing: ") && substr($0, index($0, " Testing: ") + 10) == t { on = 1; next }
      on && /^<end of output>/ { exit }
      on && /^Output:/ { out = 1; next }
      !out { next }
      /^wine-run: emulator fault: / { fault = substr($0, 11) }
      said == 1 { why = "skipped: " $0; said = 2 }
      /: Skipped$/ && !said { said = 1 }
      NF && !/^-+$/ { last = $0 }
      END { print fault ? fault : why ? why : last }')
    notes+=("$name: ${reason:-skipped}")
  done
  local not_run=$(echo -n "$names" | grep -c '')
  local line="$passed passed, $((total - passed - not_run)) failed, $not_run not run"
  [ ${#notes[@]} -gt 0 ] && line+=$(printf '\n    not run: %s' "${notes[@]}")
  echo "$line"
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
  if [ "$preset" = mingw32 ]; then
    # The host's wine32, or the i386 root of scripts/i386-root.sh (under an
    # emulator where this kernel runs no 32-bit programs).
    note=" (32-bit Windows programs ran $(cmake/wine-run 32 --route))"
    if ! cmake/wine-run 32 --check; then
      # CMake then registers only the checks that need no Wine (exports, imports).
      why="nothing here runs 32-bit Windows programs (see scripts/setup.sh's messages above)"
      echo "=== $preset: $why:"
      echo "    only the tests that need no Wine run"
      note=" (Wine tests not run: $why)"
    fi
  fi
  echo "=== $preset: test"
  start=$SECONDS
  out=$(ctest --preset "$preset" 2>&1)
  status=$?
  # The emulated server and services would go on taking CPU from the next suite.
  [ "$preset" = mingw32 ] && cmake/wine-run 32 --stop-server
  echo "$out" | grep -E '^\s*[0-9]+/[0-9]+ Test|tests passed|FAILED|Failed|Not Run|Skipped' | tail -n 400
  line=$(echo "$out" | grep -E 'tests passed, [0-9]+ tests failed out of [0-9]+' | tail -n 1)
  total=$(echo "$line" | sed -E 's/.* out of ([0-9]+).*/\1/')
  if [ $status -ne 0 ] || [ -z "$line" ] || [ "${total:-0}" -eq 0 ]; then
    echo "$out" | tail -n 60
    failed+=("$preset (tests)")
  fi
  if [ -n "$line" ]; then
    counts=$(tally "$preset" "$out")  # a line of counts, then one line per test not run
    summary+=("$preset: ${counts%%$'\n'*} in $((SECONDS - start)) s$note${counts#"${counts%%$'\n'*}"}")
  else
    summary+=("$preset: no test ran$note")
  fi
done

# Leave no Wine server or service running behind us.
cmake/wine-run 64 --stop-server
cmake/wine-run 32 --stop-server

echo "=== summary"
printf '%s\n' "${summary[@]}"
if [ ${#failed[@]} -gt 0 ]; then
  echo "FAILED: ${failed[*]}"
  exit 1
fi
echo "all suites passed"
