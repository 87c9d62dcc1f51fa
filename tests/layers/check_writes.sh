#!/usr/bin/env bash
# Every file a tool creates, replaces or removes goes through the one gate in
# tools/common/output_file.cpp: anywhere else in tools/, a call that opens a
# file for writing, renames, links or removes one is a fault.
# usage: check_writes.sh SOURCE_ROOT
set -u
cd "${1:-.}" || exit 1
gate=tools/common/output_file.cpp
pattern='ofstream|fstream[^;]*ios(_base)?::out|fopen[^;]*"[wa+]|fopen[^;]*"r\+|freopen'
pattern+='|[^_a-z]open[^;]*O_(CREAT|TRUNC)|openat[^;]*O_(CREAT|TRUNC)|creat\('
pattern+='|sf_open\([^;]*SFM_(WRITE|RDWR)'
pattern+='|[^_a-z.]rename(at)?\(|[^_a-z]unlink(at)?\(|[^_a-z.]remove\(|remove_all\(|[^_a-z]symlink\('
pattern+='|create_(directory|directories|symlink|hard_link)\(|copy_file\(|mkdtemp|mkstemp|tmpfile'
status=0
while IFS= read -r hit; do
  echo "FAIL: $hit: writes outside the tools' gate ($gate)"
  status=1
done < <(grep -rnE "$pattern" tools --include='*.cpp' --include='*.h' | grep -v "^$gate:" |
         grep -vE '^[^:]+:[0-9]+:\s*//')
# The check must see the gate's own calls, or it sees nothing.
grep -qE "$pattern" "$gate" || { echo "FAIL: the pattern finds nothing in $gate"; status=1; }
[ $status -eq 0 ] && echo "every write in tools/ goes through $gate"
exit $status
