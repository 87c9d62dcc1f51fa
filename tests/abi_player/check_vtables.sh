#!/usr/bin/env bash
# Compares the MSVC-ABI virtual tables that clang lays out for the test
# player's interfaces with the table of slot orders.
# usage: check_vtables.sh CLANG TRIPLE SOURCE TABLE INCLUDE_DIR STAMP
set -euo pipefail
clang=$1 triple=$2 source=$3 table=$4 include=$5 stamp=$6
actual=$("$clang" --target="$triple" -std=c++17 -fexceptions -fno-rtti -fno-threadsafe-statics \
  -ffreestanding -nostdinc -I"$include" -Xclang -fdump-vtable-layouts -S -o /dev/null "$source" |
  awk '
    /^VFTable for / { n = split($0, q, "\x27"); cls = q[n - 1]; names = ""; inside = 1; next }
    inside && /^ *[0-9]+ \| / {
      line = $0; sub(/ \[pure\]$/, "", line); c = (line ~ /\) const$/) ? "/c" : ""
      sub(/\(.*/, "", line); sub(/.*::/, "", line); names = names " " line c; next }
    inside { if (!(cls in seen)) { seen[cls] = 1; print cls ":" names }; inside = 0 }')
status=0
while IFS= read -r row; do
  case "$row" in ''|'#'*) continue ;; esac
  cls=${row%%:*}
  got=$(printf '%s\n' "$actual" | grep -m1 "^$cls:" || true)
  if [ "$got" != "$row" ]; then
    echo "$triple: $cls laid out as '${got:-nothing}', expected '$row'"
    status=1
  fi
done <"$table"
[ $status -eq 0 ] && echo "$triple: every interface's slots as in $(basename "$table")" && touch "$stamp"
exit $status
