# Sourced by wine-run: Wine in the i386 root (scripts/i386-root.sh).
# Needs root, project, loader, emulated, not_run and WINEPREFIX.

# The root sees the host's /tmp (the tests' folders), /dev (the board's
# pseudo-terminals), the project and the prefix at the same paths, through
# binds made in a mount namespace of this call alone: they vanish with it
# and never appear in the host's mount table, so nothing that removes the
# root can reach the host's files through them.
root_enter='root=$1 wd=$2 project=$3
shift 3
mkdir -p "$root$project" "$WINEPREFIX" "$root$WINEPREFIX" &&
mount --rbind /proc "$root/proc" && mount --rbind /dev "$root/dev" &&
  mount --bind /tmp "$root/tmp" && mount --bind "$project" "$root$project" &&
  mount --bind "$WINEPREFIX" "$root$WINEPREFIX" || exit 1
case $wd in
  /tmp | /tmp/* | "$project" | "$project"/* | "$WINEPREFIX" | "$WINEPREFIX"/*) ;;
  *) wd=/ ;;
esac
exec unshare --root="$root" --wd="$wd" -- "$@"'
root_cmd=(unshare -m --propagation private -- /bin/sh -c "$root_enter" sh "$root" "$PWD" "$project")

in_root() { "${root_cmd[@]}" "$@"; }

# Makes the prefix on first use, then keeps one server alive between the
# many short test processes, its services started now with their streams
# away from ours (started by a test program they would hold the test
# runner's pipes open). The crash debugger stays off: under the emulator it
# takes minutes, and Wine's own report of an exception says enough.
prepare_prefix() {
  mkdir -p "$WINEPREFIX" || return 1
  if [ ! -f "$WINEPREFIX/system.reg" ]; then
    (
      flock 9
      if [ ! -f "$WINEPREFIX/system.reg" ]; then
        WINEARCH=win32 in_root "$loader" wineboot -i </dev/null >/dev/null 2>&1
        in_root "$loader" reg add 'HKLM\Software\Microsoft\Windows NT\CurrentVersion\AeDebug' \
          /v Debugger /d '' /f </dev/null >/dev/null 2>&1
        in_root /usr/lib/wine/wineserver -w
      fi
    ) 9>"$WINEPREFIX.lock"
  fi
  if in_root /usr/lib/wine/wineserver -p 20 </dev/null >/dev/null 2>&1; then
    in_root "$loader" cmd /c exit </dev/null >/dev/null 2>&1
  fi
  [ -f "$WINEPREFIX/system.reg" ]
}

# Runs the program, its output passed on and kept, and says 125 when it
# ended in a fault of the emulator rather than of the program. Two faults of
# qemu's user mode trip Wine: every signal frame lacks its trap number, so
# Wine takes each page fault for an illegal instruction ("Got unexpected
# trap -1"); and the thread-local slots are one table per process, so after a
# signal a thread can run on with another thread's state ("wine client
# error", a smashed stack, Wine itself killed by a signal; Wine turns every
# fault of a Windows program into an exception instead). A failure the
# program printed, or an exception in its own code (below 0x70000000: the
# program, the component, the C runtime; Wine's core DLLs lie above), is the
# program's.
run_classified() {
  local log status child o e tee_out tee_err fault= at
  log=$(mktemp -d) || return 1
  exec {o}> >(tee "$log/out")
  tee_out=$!
  exec {e}> >(tee "$log/err" >&2)
  tee_err=$!
  { : <&0; } 2>/dev/null || exec </dev/null  # CI may give no standard input
  in_root "$@" <&0 >&$o 2>&$e &
  child=$!
  trap 'kill -TERM $child 2>/dev/null' TERM INT HUP
  wait $child
  status=$?
  while kill -0 $child 2>/dev/null; do
    wait $child
    status=$?
  done
  trap - TERM INT HUP
  exec {o}>&- {e}>&-
  wait $tee_out $tee_err 2>/dev/null
  if [ $status -ne 0 ] && ! grep -aEq $': Failure\r?$|^\\[  FAILED  \\]|^FAIL[ :]' "$log/out" "$log/err"; then
    # The first exception Wine reported is the one that counts.
    at=$(grep -aoE 'wine: Unhandled .* at address [0-9A-Fa-f]+|NtRaiseException Unhandled exception code [0-9a-f]+ flags [0-9a-f]+ addr 0x[0-9a-f]+' \
      "$log/err" | head -n 1)
    at=${at##* }
    at=${at#0x}
    if [ -n "$at" ] && [ $((16#$at)) -lt $((16#70000000)) ]; then
      :
    elif grep -aq 'Got unexpected trap -1' "$log/err"; then
      fault="a page fault taken for an illegal instruction${at:+ in Wine code at $at}"
    elif grep -aq 'qemu: uncaught target signal' "$log/err"; then
      fault=$(grep -aom 1 'qemu: uncaught target signal [^)]*)' "$log/err")
    elif [ $status -gt 128 ] && [ $status -ne 143 ]; then
      fault="Wine ended by signal $((status - 128))"
    elif grep -aEq 'wine client error|stack smashing detected' "$log/err"; then
      fault="Wine lost its server connection or smashed its stack"
    fi
  fi
  rm -rf "$log"
  if [ -n "$fault" ]; then
    echo "wine-run: emulator fault: $fault" >&2
    return $not_run
  fi
  # The program's own 125 must not read as not run.
  [ $status -eq $not_run ] && return 1
  return $status
}
