#!/usr/bin/env bash
# One include, compiled as a file of a layer would be: against that layer's
# include folders only. "refused": the compiler must not find the header;
# "found": it must compile (so a refusal is the view's doing, not a broken
# header).
# usage: include_view.sh COMPILER refused|found HEADER INCLUDE_DIR...
set -u
compiler=$1 expect=$2 header=$3
shift 3
flags=()
for dir in "$@"; do flags+=("-I$dir"); done
probe=$(mktemp -d)
trap 'rm -rf "$probe"' EXIT
printf '#include "%s"\n' "$header" >"$probe/probe.cpp"
"$compiler" -std=c++17 -fsyntax-only "${flags[@]}" "$probe/probe.cpp" >"$probe/out" 2>&1
status=$?
case $expect in
  found)
    [ $status -eq 0 ] && { echo "found $header"; exit 0; }
    cat "$probe/out"; echo "FAIL: $header should compile against: $*"; exit 1 ;;
  refused)
    if [ $status -ne 0 ] && grep -qE "$header.*(No such file|not found)" "$probe/out"; then
      echo "refused $header"; exit 0
    fi
    cat "$probe/out"; echo "FAIL: $header should not be found from: $*"; exit 1 ;;
esac
exit 2
