#!/usr/bin/env bash
# Dependencies point down: each folder of the component may include only from
# the folders its row names (and the standard library), and only the Windows
# files of platform/ may include windows.h. The build refuses a wrong-way
# include in the layers' own libraries (cmake/layers.txt, the table both
# read); this check holds it for every file of those folders and for the user
# tools, which see the whole tree (and must not lean on the tests).
# usage: check_includes.sh SOURCE_ROOT
set -u
cd "${1:-.}" || exit 1

# Each layer: itself and the folders below it.
declare -A allowed=()
while IFS=: read -r layer below; do
  case "$layer" in '' | '#'*) continue ;; esac
  allowed[$layer]="$layer $below"
done <cmake/layers.txt
[ -n "${allowed[component]:-}" ] || { echo "FAIL: no layer table in cmake/layers.txt"; exit 1; }

status=0
check() {  # folder, then the top folders it may include from
  local folder=$1
  shift
  local hit file target top ok a
  while IFS= read -r hit; do
    file=${hit%%:*}
    target=$(sed -E 's/.*#include "([^"]+)".*/\1/' <<<"${hit#*:}")
    top=${target%%/*}
    ok=0
    for a in "$@"; do [ "$top" = "$a" ] && ok=1; done
    if [ $ok -eq 0 ]; then
      echo "FAIL: $file includes $target: $folder may include only from: $*"
      status=1
    fi
  done < <(grep -rnE '^\s*#\s*include\s+"' "$folder" --include='*.h' --include='*.cpp' |
           sed -E 's/^([^:]+):[0-9]+:/\1:/')
}

for layer in "${!allowed[@]}"; do
  check "$layer" ${allowed[$layer]}
done
# The user tools: any layer, their own folder; never a test's.
check tools ${allowed[component]} tools

while IFS= read -r file; do
  case "$file" in
    platform/*_win32.cpp|platform/*_win32.h) ;;
    *) echo "FAIL: $file includes windows.h (only platform/*_win32 may)"; status=1 ;;
  esac
done < <(grep -rlE '^\s*#\s*include\s+<windows\.h>' platform host analysis serial engine component \
           --include='*.h' --include='*.cpp')

[ $status -eq 0 ] && echo "layers: every include points down"
exit $status
