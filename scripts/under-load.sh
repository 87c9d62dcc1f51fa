#!/usr/bin/env bash
# Runs the tests on a machine kept busy: `stress-ng --cpu N` beside them the
# whole time. The engine and component test programs run RUNS times in a row,
# then the whole native suite SUITES times; each run's result and wall time
# is printed, then the totals. Any failure stops the count for that program
# (the runs must pass in a row) and makes the exit status 1.
#
#   ./scripts/under-load.sh [RUNS [SUITES [CPU_HOGS]]]   (20 3 2 by default)
#
# Builds the native preset first. Needs stress-ng (Debian package stress-ng).
set -uo pipefail
cd "$(dirname "$0")/.."
runs=${1:-20}
suites=${2:-3}
hogs=${3:-2}

command -v stress-ng >/dev/null || {
  echo "under-load: stress-ng is not installed (apt-get install stress-ng)" >&2
  exit 1
}
cmake --preset native >/dev/null && cmake --build --preset native -j2 >/dev/null || {
  echo "under-load: the native build failed" >&2
  exit 1
}

stress-ng --cpu "$hogs" --timeout 4h >/dev/null 2>&1 &
hog=$!
trap 'kill "$hog" 2>/dev/null; wait "$hog" 2>/dev/null' EXIT
logs=build/logs/under-load
mkdir -p "$logs"
failed=0
echo "load: stress-ng --cpu $hogs beside every run; $(nproc) cores"

for program in fulgora_engine_tests fulgora_component_tests; do
  start=$(date +%s)
  passed=0
  for i in $(seq 1 "$runs"); do
    t0=$(date +%s)
    if (cd build/native && "./tests/$program" >"../../$logs/$program.$i.log" 2>&1); then
      passed=$((passed + 1))
      echo "$program run $i: passed in $(($(date +%s) - t0)) s (load $(cut -d' ' -f1 /proc/loadavg))"
    else
      echo "$program run $i: FAILED in $(($(date +%s) - t0)) s, log: $logs/$program.$i.log"
      grep -E '^\[  FAILED  \]|Failure' "$logs/$program.$i.log" | head -5
      failed=1
      break
    fi
  done
  echo "$program: $passed of $runs runs passed in a row, $(($(date +%s) - start)) s in all"
done

start=$(date +%s)
passed=0
for i in $(seq 1 "$suites"); do
  t0=$(date +%s)
  if ctest --preset native -j2 >"$logs/suite.$i.log" 2>&1; then
    passed=$((passed + 1))
    echo "native suite run $i: $(grep -E 'tests passed' "$logs/suite.$i.log") in $(($(date +%s) - t0)) s"
  else
    echo "native suite run $i: FAILED in $(($(date +%s) - t0)) s, log: $logs/suite.$i.log"
    grep -E '\(Failed\)|\*\*\*' "$logs/suite.$i.log" | head -5
    failed=1
    break
  fi
done
echo "native suite: $passed of $suites runs passed in a row, $(($(date +%s) - start)) s in all"
exit "$failed"
