#!/usr/bin/env bash
# Dependencies point down: each folder of the component may include only from
# the folders its row names (and the standard library), and only the Windows
# files of platform/ may include windows.h.
# usage: check_includes.sh SOURCE_ROOT
set -u
cd "${1:-.}" || exit 1

declare -A allowed=(
  [platform]="platform"
  [host]="host"
  [analysis]="analysis"
  [serial]="serial platform"
  [engine]="engine analysis serial platform host"
  [component]="component engine analysis serial platform host"
)

status=0
for layer in "${!allowed[@]}"; do
  while IFS= read -r hit; do
    file=${hit%%:*}
    target=$(sed -E 's/.*#include "([^"]+)".*/\1/' <<<"${hit#*:}")
    top=${target%%/*}
    ok=0
    for a in ${allowed[$layer]}; do [ "$top" = "$a" ] && ok=1; done
    if [ $ok -eq 0 ]; then
      echo "FAIL: $file includes $target: $layer may include only from: ${allowed[$layer]}"
      status=1
    fi
  done < <(grep -rnE '^\s*#\s*include\s+"' "$layer" --include='*.h' --include='*.cpp' |
           sed -E 's/^([^:]+):[0-9]+:/\1:/')
done

while IFS= read -r file; do
  case "$file" in
    platform/*_win32.cpp|platform/*_win32.h) ;;
    *) echo "FAIL: $file includes windows.h (only platform/*_win32 may)"; status=1 ;;
  esac
done < <(grep -rlE '^\s*#\s*include\s+<windows\.h>' platform host analysis serial engine component \
           --include='*.h' --include='*.cpp')

[ $status -eq 0 ] && echo "layers: every include points down"
exit $status
