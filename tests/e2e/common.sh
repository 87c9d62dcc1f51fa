# Sourced by the end-to-end scripts: a private folder and a board process,
# both gone on every way out, and one way to fail.
work=$(mktemp -d)
board_pid=
cleanup() {
  [ -n "$board_pid" ] && kill "$board_pid" 2>/dev/null && wait "$board_pid" 2>/dev/null
  rm -rf "$work"
}
trap cleanup EXIT
fail() { echo "FAIL: $*"; exit 1; }
