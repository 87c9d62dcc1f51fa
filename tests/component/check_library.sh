#!/usr/bin/env bash
# The component library exports foobar2000_get_interface and nothing else;
# a Windows build imports only system DLLs (no MinGW runtime DLL).
# usage: check_library.sh LIBRARY [OBJDUMP]
set -u
lib=$1 objdump=${2:-}
fail() { echo "FAIL: $*"; exit 1; }
[ -f "$lib" ] || fail "no library at $lib"
case "$lib" in
  *.dll)
    dump=$("$objdump" -p "$lib") || fail "objdump failed"
    exports=$(echo "$dump" | sed -n '/\[Ordinal\/Name Pointer\] Table/,/^$/p' | grep -E '^\s+\[' |
              awk '{print $NF}')
    imports=$(echo "$dump" | sed -n 's/^\s*DLL Name: //p' | tr 'A-Z' 'a-z' | sort -u)
    echo "exports: $exports"
    echo "imports: $(echo $imports)"
    # GCC's Windows targets do not align the stack for 32-byte AVX spills:
    # an aligned ymm store to the stack could fault on Windows.
    if "$objdump" -d "$lib" | grep -E -q 'vmovap[sd] +(%ymm[0-9]+,[^,]*\(%[re][sb]p\)|[^,]*\(%[re][sb]p\),%ymm)'; then
      fail "aligned AVX stack accesses in the DLL"
    fi
    for dll in $imports; do
      case "$dll" in
        # winmm: timeBeginPeriod for sync mode on Windows before 10 1803, which
        # have no high-resolution waitable timer; part of every Windows since 95.
        kernel32.dll|msvcrt.dll|user32.dll|advapi32.dll|winmm.dll) ;;
        *) fail "imports $dll, which a player machine may not have" ;;
      esac
    done
    ;;
  *)
    exports=$(nm -D --defined-only "$lib" | awk '$2 ~ /^[TDBR]$/ {print $3}')
    echo "exports: $exports"
    ;;
esac
[ "$exports" = foobar2000_get_interface ] || fail "exports must be foobar2000_get_interface only"
echo PASS
