#!/usr/bin/env bash
# Opens a .fb2k-component and checks what the player will find in it: exactly
# the 32-bit DLL at the root, the 64-bit DLL in x64/, the example settings
# under their own name with CRLF line ends and the calibration track
# (calibrate.wav); each DLL of its machine type, without debug sections,
# exporting only the entry point and importing only system DLLs.
# usage: check_package.sh PACKAGE EXAMPLE_INI CALIBRATE_WAV
#        check_package.sh --pack DLL32 DLL64 EXAMPLE_INI CALIBRATE_WAV PACKAGE  (packs first)
set -u
here=$(cd "$(dirname "$0")" && pwd)
fail() { echo "FAIL: $*"; exit 1; }
if [ "${1:-}" = --pack ]; then
  "$here/../../scripts/pack-component.sh" "$2" "$3" "$4" "$5" "$6" || fail "packing failed"
  set -- "$6" "$4" "$5"
fi
package=$1 ini=$2 wav=$3
[ -f "$package" ] || fail "no package at $package"

listing=$(unzip -Z1 "$package" | sort | tr '\n' ' ') || fail "not a zip archive"
expected="calibrate.wav foo_Fulgora.dll foo_Fulgora.example.ini x64/foo_Fulgora.dll "
[ "$listing" = "$expected" ] || fail "package holds [$listing], expected [$expected]"

dir=$(mktemp -d)
trap 'rm -rf "$dir"' EXIT
unzip -q "$package" -d "$dir" || fail "cannot extract"
sed 's/\r*$/\r/' "$ini" | cmp -s "$dir/foo_Fulgora.example.ini" - ||
  fail "example settings differ from $ini with CRLF line ends"
cmp -s "$dir/calibrate.wav" "$wav" || fail "calibrate.wav differs from $wav"
[ "$(head -c 4 "$dir/calibrate.wav")" = RIFF ] || fail "calibrate.wav is no WAV file"

# The COFF machine field follows the "PE\0\0" signature that e_lfanew points at.
machine() {
  local pe
  pe=$(od -An -tu4 -j60 -N4 "$1" 2>/dev/null | tr -d ' ')
  [ -n "$pe" ] && [ "$(od -An -c -j"$pe" -N4 "$1" 2>/dev/null | tr -d ' ')" = 'PE\0\0' ] ||
    { echo "(not a PE file)"; return; }
  od -An -tx2 -j$((pe + 4)) -N2 "$1" | tr -d ' '
}
check() {  # FILE MACHINE OBJDUMP
  local m
  m=$(machine "$dir/$1")
  [ "$m" = "$2" ] || fail "$1 has machine type $m, expected $2"
  local debug
  debug=$("$3" -h "$dir/$1" | awk '$2 ~ /^\.debug/ { print $2 }' | tr '\n' ' ')
  [ -z "$debug" ] || fail "$1 carries debug sections: $debug"
  "$here/check_library.sh" "$dir/$1" "$3" >/dev/null || fail "$1: $("$here/check_library.sh" "$dir/$1" "$3" | tail -n 1)"
  echo "$1: machine $m, $(wc -c <"$dir/$1") bytes, no debug sections, exports and imports as expected"
}
check foo_Fulgora.dll 014c i686-w64-mingw32-objdump
check x64/foo_Fulgora.dll 8664 x86_64-w64-mingw32-objdump
echo PASS
