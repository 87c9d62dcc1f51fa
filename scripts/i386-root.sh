#!/usr/bin/env bash
# Prepares a way to run the 32-bit Windows tests where the host's own wine32
# cannot run (not installable beside amd64, or a kernel without 32-bit
# support): an i386 Debian root, with wine32 installed inside it, that
# cmake/wine-run enters with chroot. Where the kernel runs no i386 programs,
# qemu's user-mode emulator runs them, registered with binfmt_misc.
# Kept between runs, rebuilt when missing or incomplete. Needs root.
# usage: i386-root.sh            prepare (a no-op, apart from binfmt, when ready)
#        i386-root.sh --remove   remove the root
set -euo pipefail

root=${FULGORA_I386_ROOT:-/var/cache/fulgora/i386-root}
mirror=${FULGORA_DEBIAN_MIRROR:-http://deb.debian.org/debian}
suite=bookworm
# Without the preloader, every Wine process makes some 131,000 emulated mmap
# calls and wineboot fails.
packages=(wine wine32 wine32-preloader)
# What the root was built from: a change rebuilds it.
recipe="$suite ${packages[*]}"
stamp=$root/.fulgora-root
binfmt=/proc/sys/fs/binfmt_misc
entry=fulgora-i386

say() { echo "i386-root: $*" >&2; }

# Removes a tree this script made (it holds the marker named), and never one
# with a mount inside it: a bind of /tmp or /dev left behind would take the
# host's files with it.
remove_tree() {
  local dir=$1 marker=$2
  [ -e "$dir" ] || return 0
  if [ ! -f "$dir/$marker" ]; then
    say "$dir exists but was not made here; move it away or set FULGORA_I386_ROOT"
    return 1
  fi
  local real
  real=$(realpath "$dir")
  case $real in
    / | /tmp | /tmp/* | /dev | /dev/* | /proc* | /sys*) say "refusing to remove $real"; return 1 ;;
  esac
  local mounted
  mounted=$(awk -v d="$real" '$5 == d || index($5, d "/") == 1 { print $5 }' /proc/self/mountinfo)
  if [ -n "$mounted" ]; then
    # Deepest first.
    echo "$mounted" | sort -r | while read -r m; do umount -l "$m" || true; done
    if awk -v d="$real" '$5 == d || index($5, d "/") == 1 { f = 1 } END { exit !f }' \
      /proc/self/mountinfo; then
      say "something is still mounted under $real; not removing it"
      return 1
    fi
  fi
  rm -rf --one-file-system "$real"
}

# Runs a command inside the root in a mount namespace of its own: the binds
# vanish with it and never appear in the host's mount table.
in_root() {
  unshare -m --propagation private -- /bin/sh -c '
    r=$1; shift
    mount --rbind /proc "$r/proc" && mount --rbind /dev "$r/dev" &&
      exec chroot "$r" "$@"' sh "$root" "$@"
}

# Debian 12's qemu (7.2) lets Wine's threads share one thread-local table
# per process: after a signal a thread can run on with another thread's
# state, and Wine crashes, often as a program with a second thread ends.
# Debian 13's (10.0) does not. Its static build is taken from the Debian
# archive with apt's own client into a folder of ours (the host's package
# lists and sources stay as they are); Debian 12's is the fallback.
newer_suite=trixie
newer_dir=$(dirname "$root")/qemu
fetch_newer_emulator() {
  [ -x "$newer_dir/qemu-i386" ] && return 0
  local tmp=$newer_dir.new
  remove_tree "$tmp" .fulgora-partial || return 1
  mkdir -p "$tmp/lists/partial" "$tmp/archives/partial" "$tmp/deb" || return 1
  touch "$tmp/.fulgora-partial"
  echo "deb $mirror $newer_suite main" >"$tmp/sources.list"
  local apt=(apt-get -q -o Dir::Etc::SourceList="$tmp/sources.list" -o Dir::Etc::SourceParts=/dev/null
    -o Dir::State::Lists="$tmp/lists" -o Dir::Cache="$tmp" -o APT::Architectures::=amd64
    -o APT::Sandbox::User=root)
  if "${apt[@]}" update >&2 && (cd "$tmp/deb" && "${apt[@]}" download qemu-user >&2) &&
    dpkg-deb -x "$tmp"/deb/qemu-user_*.deb "$tmp/x" && "$tmp/x/usr/bin/qemu-i386" --version >/dev/null; then
    mkdir -p "$newer_dir"
    cp "$tmp/x/usr/bin/qemu-i386" "$newer_dir/qemu-i386.part"
    mv "$newer_dir/qemu-i386.part" "$newer_dir/qemu-i386"
  else
    say "could not take qemu from Debian $newer_suite: Debian 12's runs the tests (more of them end in its faults)"
  fi
  remove_tree "$tmp" .fulgora-partial
}

# The kernel forgets the registration at every boot. F: the emulator is
# opened now, so it works inside the root, which does not hold it.
register_emulator() {
  fetch_newer_emulator || true
  local emulator=/usr/bin/qemu-i386-static
  [ -x "$newer_dir/qemu-i386" ] && emulator=$newer_dir/qemu-i386
  mountpoint -q "$binfmt" || mount -t binfmt_misc binfmt_misc "$binfmt"
  if [ -e "$binfmt/$entry" ]; then
    grep -qx "interpreter $emulator" "$binfmt/$entry" && return 0
    echo -1 >"$binfmt/$entry"  # another emulator: this one replaces it
  fi
  local magic='\x7fELF\x01\x01\x01\x00\x00\x00\x00\x00\x00\x00\x00\x00\x02\x00\x03\x00'
  local mask='\xff\xff\xff\xff\xff\xfe\xfe\x00\xff\xff\xff\xff\xff\xff\xff\xff\xfe\xff\xff\xff'
  echo ":$entry:M::$magic:$mask:$emulator:F" >"$binfmt/register"
  say "i386 programs run under $("$emulator" --version | head -n 1) (binfmt_misc: $entry)"
}

# Whether the kernel runs i386 programs: once our entry exists, it does only
# through the emulator.
kernel_runs_i386() {
  [ ! -e "$binfmt/$entry" ] && chroot "$1" /bin/true 2>/dev/null
}

# One run at a time: a second waits, then finds the root ready.
mkdir -p "$(dirname "$root")"
exec 9>"$root.lock"
flock 9

if [ "${1:-}" = --remove ]; then
  remove_tree "$root.new" .fulgora-partial
  remove_tree "$root" .fulgora-root
  exit 0  # the emulator in $newer_dir stays: it is small and serves a new root
fi

if [ -f "$stamp" ] && [ "$(cat "$stamp")" = "$recipe" ]; then
  kernel_runs_i386 "$root" || register_emulator
  exit 0
fi

say "building an i386 Debian root with wine32 in $root (some minutes, about 1 GB)"
remove_tree "$root" .fulgora-root
new=$root.new
remove_tree "$new" .fulgora-partial
mkdir "$new"
touch "$new/.fulgora-partial"
# First stage only unpacks: nothing i386 has to run yet.
debootstrap --foreign --arch=i386 --variant=minbase "$suite" "$new" "$mirror" >&2
kernel_runs_i386 "$new" || register_emulator
unshare -m --propagation private -- chroot "$new" /debootstrap/debootstrap --second-stage >&2
echo "deb $mirror $suite main" >"$new/etc/apt/sources.list"
root=$new
in_root env DEBIAN_FRONTEND=noninteractive apt-get update -q >&2
in_root env DEBIAN_FRONTEND=noninteractive apt-get install -y -q --no-install-recommends \
  "${packages[@]}" >&2
in_root apt-get clean
root=${new%.new}
echo "$recipe" >"$new/.fulgora-root"
rm "$new/.fulgora-partial"
mv "$new" "$root"
say "ready"
