#!/usr/bin/env bash
# The tree keeps the project's .clang-format: every C++ file under version
# control formats to itself.
# usage: check_format.sh SOURCE_ROOT
set -u
cd "${1:-.}" || exit 1
tool=$(command -v clang-format-14 || command -v clang-format) ||
  { echo "FAIL: clang-format is not installed (scripts/setup.sh installs it)"; exit 1; }
files=$(git ls-files '*.cpp' '*.h' 2>/dev/null) ||
  { echo "FAIL: not a git checkout: cannot list the tracked files"; exit 1; }
if ! out=$(echo "$files" | xargs "$tool" --dry-run --Werror 2>&1); then
  echo "$out" | grep -E 'error:' | cut -d: -f1 | sort | uniq -c | sed 's/^/drift: /'
  echo "FAIL: run: git ls-files '*.cpp' '*.h' | xargs $tool -i"
  exit 1
fi
echo "format: $(echo "$files" | wc -l) files as .clang-format says"
