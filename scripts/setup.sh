#!/usr/bin/env bash
# Installs, from Debian packages, what the chosen job needs; nothing when all
# of it is already there.
# usage: setup.sh [JOB...]   JOB: demo, package, or a preset (native, release,
#                            asan, tsan, fuzz, mingw32, mingw64); none: all of them
# The demo needs no Wine, no 32-bit architecture, no clang and no browser.
set -euo pipefail

build=(build-essential cmake ninja-build pkg-config python3 libgtest-dev libgmock-dev googletest
  libsndfile1-dev libpulse-dev)
# The test jobs play to an audio server of their own (a null sink) and read
# its recording with numpy.
sound_server=(pulseaudio pulseaudio-utils python3-numpy)
bench=(libbenchmark-dev libfftw3-dev)
browser=(chromium)  # renders the plot in the native suites' picture test
fuzz=(clang-14 lld-14 llvm-14 libclang-rt-14-dev)
cross=(g++-mingw-w64-x86-64 g++-mingw-w64-i686 zip unzip)
msvc_abi=(clang-14 lld-14 llvm-14)  # the test player, built as the player is
format=(clang-format-14)  # the native suite checks the tree's format

jobs=("$@")
[ ${#jobs[@]} -eq 0 ] && jobs=(all)
# Once this boot's kernel was found to run no i386 programs (the emulator's
# entry is registered), wine32:i386 would be of no use.
i386_emulated=false
[ -e /proc/sys/fs/binfmt_misc/fulgora-i386 ] && i386_emulated=true
want=()
for job in "${jobs[@]}"; do
  case $job in
    demo | release) want+=("${build[@]}" "${bench[@]}") ;;
    native | asan | tsan) want+=("${build[@]}" "${browser[@]}" "${format[@]}" "${sound_server[@]}") ;;
    fuzz) want+=("${build[@]}" "${fuzz[@]}") ;;
    package) want+=("${build[@]}" "${cross[@]}") ;;
    # The Wine suites run the COM-port tests against the native board.
    mingw32) want+=("${build[@]}" "${cross[@]}" "${msvc_abi[@]}" wine wine32:i386) ;;
    mingw64) want+=("${build[@]}" "${cross[@]}" "${msvc_abi[@]}" wine wine64) ;;
    all) want+=("${build[@]}" "${bench[@]}" "${browser[@]}" "${format[@]}" "${sound_server[@]}" "${fuzz[@]}"
                "${cross[@]}" "${msvc_abi[@]}" wine wine64 wine32:i386) ;;
    *) echo "setup: unknown job $job (demo, package, native, release, asan, tsan, fuzz," \
            "mingw32, mingw64)" >&2; exit 2 ;;
  esac
done

want_wine32=false
[[ " ${want[*]} " == *" wine32:i386 "* ]] && want_wine32=true
sudo_cmd=()
[ "$(id -u)" -eq 0 ] || sudo_cmd=(sudo)
export DEBIAN_FRONTEND=noninteractive

updated=false
install_missing() {
  local need=() p rest
  for p in "$@"; do
    [ "$p" = wine32:i386 ] && $i386_emulated && continue
    [[ " ${need[*]} " == *" $p "* ]] && continue
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || need+=("$p")
  done
  [ ${#need[@]} -eq 0 ] && return 0
  if [[ " ${need[*]} " == *":i386 "* ]] && ! dpkg --print-foreign-architectures | grep -qx i386; then
    "${sudo_cmd[@]}" dpkg --add-architecture i386
  fi
  # A mirror caught mid-sync fails one index: what the others give may still be
  # enough, and the install below says plainly if it is not.
  if ! $updated; then
    "${sudo_cmd[@]}" apt-get update -q || echo "setup: apt-get update reported errors; trying the install anyway" >&2
    updated=true
  fi
  if ! "${sudo_cmd[@]}" apt-get install -y -q --no-install-recommends "${need[@]}"; then
    # Most often the i386 index was the one that failed, leaving wine32 with
    # unmet dependencies: install the rest; the 32-bit Wine tests then run in
    # an i386 root (below).
    rest=()
    for p in "${need[@]}"; do [[ $p == *:i386 ]] || rest+=("$p"); done
    [ ${#rest[@]} -eq ${#need[@]} ] && return 1
    echo "setup: installing without the 32-bit Wine (wine32:i386)" >&2
    "${sudo_cmd[@]}" apt-get install -y -q --no-install-recommends "${rest[@]}"
  fi
}

install_missing "${want[@]}" || exit 1

# Where the host's wine32 cannot run, the 32-bit Wine tests run in an i386
# Debian root of their own (scripts/i386-root.sh, entered by cmake/wine-run).
if $want_wine32 && ! { [ -x /usr/lib/wine/wine ] && ! $i386_emulated &&
                       /usr/lib/wine/wine --version >/dev/null 2>&1; }; then
  echo "setup: the host's wine32 cannot run here: the 32-bit Wine tests use an i386 root" >&2
  install_missing qemu-user-static debootstrap || exit 1
  "${sudo_cmd[@]}" "$(dirname "$0")/i386-root.sh" ||
    echo "setup: the i386 root could not be made: the 32-bit Wine tests will not run" >&2
fi
exit 0
