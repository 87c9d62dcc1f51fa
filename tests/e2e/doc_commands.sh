#!/usr/bin/env bash
# The commands the docs show work as written: every option of every tool
# command in README.md and docs/*.md (code blocks and inline code) is one the
# tool's --help names, and the code blocks of each page, run in order in one
# folder (a short song, the example settings, the tools of this build; the
# stand-in with --fast --no-sound, a board for a moment), all succeed: a file
# a later step reads is the file an earlier step wrote, and no step's output
# is refused.
# usage: doc_commands.sh NATIVE_BIN SOURCE_ROOT
set -u
bin=$1
root=$2
. "$(dirname "$0")/common.sh"
status=0
bad() { echo "FAIL: $*"; status=1; }
tools='fulgora-(play|analyze|board|demo-track|record)'

# Each command a page shows: "FILE<TAB>block|inline<TAB>command".
commands() {
  for f in "$root"/README.md "$root"/docs/*.md; do
    awk -v file="${f#"$root"/}" -v tools="$tools" '
      /^```/ { fenced = !fenced; next }
      (fenced || /^    [^ |-]/) && $0 ~ tools {
        line = $0; sub(/^ +/, "", line); print file "\tblock\t" line; next }
      { rest = $0
        while (match(rest, /`[^`]*`/)) {
          span = substr(rest, RSTART + 1, RLENGTH - 2); rest = substr(rest, RSTART + RLENGTH)
          if (span ~ ("^([^ ]*/)?" tools "( |$)")) print file "\tinline\t" span } }' "$f"
  done
}

# 1. Every option is one the tool knows.
while IFS=$'\t' read -r file kind line; do
  tool=$(grep -oE "$tools" <<<"$line" | head -1)
  [ -x "$bin/$tool" ] || { echo "skip: $tool not built here ($file: $line)"; continue; }
  help=$("$bin/$tool" --help 2>&1)
  for option in $(sed -E "s/.*$tools//" <<<"$line" | grep -oE '(^| |\[)--[a-z-]+' | tr -d ' ['); do
    if [ "$option" = --help ]; then
      "$bin/$tool" --help >/dev/null 2>&1 || bad "$file: $tool --help fails: $line"
      continue
    fi
    grep -qE -- "(^|[^a-z-])$option([^a-z-]|$)" <<<"$help" ||
      bad "$file: $tool does not know $option: $line"
  done
done < <(commands)

# 2. The code blocks of each page, in order, in one folder.
"$bin/fulgora-demo-track" --length 3 "$work/song.wav" || fail "no demo track"
for page in $(commands | awk -F'\t' '$2 == "block" { print $1 }' | sort -u); do
  dir="$work/run-${page//\//_}"
  mkdir -p "$dir"
  cp "$work/song.wav" "$dir/song.flac"
  sed 's/^PORTNAME=.*/PORTNAME=COM9\r/' "$root/examples/foo_Fulgora.ini" >"$dir/my.ini"
  while IFS=$'\t' read -r file kind line; do
    [ "$file" = "$page" ] && [ "$kind" = block ] || continue
    case $line in
    PULSE_SINK=*) echo "skip: $file: needs an audio server: $line"; continue ;;
    esac
    run=$(sed -E "s#^(\\./)?build/[a-z0-9<>]+/bin/##; s#^($tools)#\"$bin\"/\\1#" <<<"$line")
    case $line in
    *fulgora-play*) run=$(sed -E 's#(fulgora-play")#\1 --fast --no-sound#' <<<"$run") ;;
    *fulgora-board*) run="$run --seconds 0.5" ;;
    esac
    (cd "$dir" && eval "$run") >"$work/out" 2>"$work/err" </dev/null ||
      { bad "$file: exit $?: $line"; cat "$work/err"; continue; }
    echo "ok: $file: $line"
  done < <(commands)
done
[ $status -eq 0 ] && echo PASS
exit $status
