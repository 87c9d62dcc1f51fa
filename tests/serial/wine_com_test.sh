#!/usr/bin/env bash
# Runs the Win32 COM-port tests under Wine with COM7 linked to fulgora-board.
# usage: wine_com_test.sh BOARD WINE_RUN BITS TEST_EXE [ENGINE_TEST_EXE]
set -u
board=$1 wine_run=$2 bits=$3 exe=$4 engine_exe=${5:-}
if [ ! -x "$board" ]; then
  echo "fulgora-board not found at $board: build the native preset first"
  exit 1
fi
prefix=$("$wine_run" "$bits" --prefix)
"$wine_run" "$bits" cmd /c exit >/dev/null 2>&1  # creates the prefix on first use
work=$(mktemp -d)
pid= test_pid=
trap 'kill $pid $test_pid 2>/dev/null; wait $pid $test_pid 2>/dev/null; rm -rf "$work"' EXIT
status=0
# A test program that ended in an emulator fault (wine-run's 125) ends the
# run: what follows would fail only for that. A real failure before it wins.
emulator_fault() { [ "$1" -eq 125 ] && exit $((status == 0 ? 125 : 1)); }

# 1: a normal board.
"$board" --quiet --link "$prefix/dosdevices/com7" --csv "$work/board.csv" >"$work/out" 2>&1 &
pid=$!
for _ in $(seq 50); do [ -L "$prefix/dosdevices/com7" ] && break; sleep 0.1; done
FULGORA_TEST_COM=COM7 "$wine_run" "$bits" "$exe" --gtest_filter='win32_com.exchange*'
rc=$?
emulator_fault $rc
[ $rc -eq 0 ] || status=1
kill $pid; wait $pid
if ! grep -q '"SD00,09,0a",0,9,10' "$work/board.csv" || ! grep -q '"LD"' "$work/board.csv"; then
  echo "the board did not receive the level and closing commands:"; cat "$work/board.csv"; status=1
fi

# 2: a board that never reads.
"$board" --quiet --no-read --link "$prefix/dosdevices/com7" >"$work/out" 2>&1 &
pid=$!
for _ in $(seq 50); do [ -L "$prefix/dosdevices/com7" ] && break; sleep 0.1; done
FULGORA_TEST_COM=COM7 FULGORA_TEST_NO_READ=1 "$wine_run" "$bits" "$exe" \
  --gtest_filter='win32_com.a_board*'
rc=$?
emulator_fault $rc
[ $rc -eq 0 ] || status=1
kill $pid; wait $pid

# 3: with RECONNECT=1, a board that goes away (its link with it) and comes back.
if [ -n "$engine_exe" ]; then
  link="$prefix/dosdevices/com7"
  "$board" --quiet --link "$link" --csv "$work/a.csv" >"$work/out" 2>&1 &
  pid=$!
  for _ in $(seq 50); do [ -L "$link" ] && break; sleep 0.1; done
  FULGORA_TEST_COM=COM7 FULGORA_TEST_RECONNECT=1 "$wine_run" "$bits" "$engine_exe" \
    --gtest_filter='win32_com.reconnect*' &
  test_pid=$!
  for _ in $(seq 600); do grep -q '"SD' "$work/a.csv" 2>/dev/null && break; sleep 0.1; done
  kill $pid; wait $pid  # the board ends and removes its link: unplugged
  sleep 1
  "$board" --quiet --link "$link" --csv "$work/b.csv" >"$work/out" 2>&1 &
  pid=$!
  wait $test_pid
  rc=$?
  test_pid=
  emulator_fault $rc
  [ $rc -eq 0 ] || status=1
  if ! grep -q '"SD' "$work/b.csv"; then
    echo "the board that came back received no level command:"; cat "$work/b.csv"; status=1
  fi
fi
exit $status
