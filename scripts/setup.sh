#!/usr/bin/env bash
# Installs, from Debian packages, everything the build and the tests need.
# Does nothing when all of it is already there.
set -euo pipefail

native_pkgs=(build-essential cmake ninja-build pkg-config chromium python3
  libgtest-dev libgmock-dev googletest libbenchmark-dev
  libsndfile1-dev libfftw3-dev zip unzip libclang-rt-14-dev)
cross_pkgs=(g++-mingw-w64-x86-64 g++-mingw-w64-i686 wine wine64 wine32:i386
  clang-14 lld-14 llvm-14)

need=()
for p in "${native_pkgs[@]}" "${cross_pkgs[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || need+=("$p")
done
[ ${#need[@]} -eq 0 ] && exit 0

sudo_cmd=()
[ "$(id -u)" -eq 0 ] || sudo_cmd=(sudo)
export DEBIAN_FRONTEND=noninteractive
if ! dpkg --print-foreign-architectures | grep -qx i386; then
  "${sudo_cmd[@]}" dpkg --add-architecture i386
fi
# A mirror caught mid-sync fails one index: what the others give may still be
# enough, and the install below says plainly if it is not.
"${sudo_cmd[@]}" apt-get update -q || echo "setup: apt-get update reported errors; trying the install anyway" >&2
if ! "${sudo_cmd[@]}" apt-get install -y -q --no-install-recommends "${need[@]}"; then
  # Most often the i386 index was the one that failed, leaving wine32 with
  # unmet dependencies: install the rest, and the 32-bit Wine tests report
  # that they did not run.
  rest=()
  for p in "${need[@]}"; do [[ $p == *:i386 ]] || rest+=("$p"); done
  [ ${#rest[@]} -eq ${#need[@]} ] && exit 1
  echo "setup: installing without the 32-bit Wine (wine32:i386): the 32-bit Windows tests will not run" >&2
  "${sudo_cmd[@]}" apt-get install -y -q --no-install-recommends "${rest[@]}"
fi
