#!/usr/bin/env bash
# Runs the test player under Wine against one foo_Fulgora.dll, with a board
# simulator on a COM port, in a scratch directory that holds the settings file.
# usage: run_abi_player.sh BOARD WINE_RUN BITS PLAYER_EXE DLL COM_NUMBER
set -u
board=$(realpath "$1") wine_run=$(realpath "$2") bits=$3 player=$(realpath "$4") dll=$(realpath "$5") com=$6
[ -x "$board" ] || { echo "fulgora-board not found at $board: build the native preset first"; exit 1; }
prefix=$("$wine_run" "$bits" --prefix)
"$wine_run" "$bits" cmd /c exit >/dev/null 2>&1  # creates the prefix on first use
work=$(mktemp -d)
pid=
trap '[ -n "$pid" ] && kill $pid 2>/dev/null; wait 2>/dev/null; rm -rf "$work"' EXIT
link="$prefix/dosdevices/com$com"
rm -f "$link"
"$board" --quiet --link "$link" --csv "$work/board.csv" >"$work/board.out" 2>&1 &
pid=$!
for _ in $(seq 100); do [ -L "$link" ] && [ -s "$work/board.csv" ] && break; sleep 0.05; done
winpath() { printf 'Z:%s' "$(printf %s "$1" | tr / '\\')"; }
cd "$work"
# A request for more memory than the machine has must fail, as the player's
# machine would refuse it, instead of being granted lazily and then touched.
(ulimit -v 16777216
 FULGORA_ABI_DLL=$(winpath "$dll") FULGORA_ABI_PORT=COM$com FULGORA_ABI_BOARD_CSV=$(winpath "$work/board.csv") \
   "$wine_run" "$bits" "$player")
status=$?
echo "test player exit status $status"
exit $status
