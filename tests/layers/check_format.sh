#!/usr/bin/env bash
# Fails when a tracked C or C++ source differs from what clang-format makes of
# it (the repository's .clang-format), naming the files.
# Usage: check_format.sh SOURCE_DIR
set -euo pipefail
cd "$1"
command -v clang-format >/dev/null || { echo "clang-format is not installed" >&2; exit 1; }
mapfile -t files < <(git ls-files '*.cpp' '*.h' '*.c')
[ ${#files[@]} -gt 0 ] || { echo "no tracked sources in $1" >&2; exit 1; }
report=$(clang-format --dry-run "${files[@]}" 2>&1 || true)
if [ -n "$report" ]; then
  echo "not formatted (run clang-format -i on them):" >&2
  grep -o '^[^:]*:[0-9]*:[0-9]*: warning' <<<"$report" | cut -d: -f1 | sort -u | sed 's/^/  /' >&2
  head -n 12 <<<"$report" >&2
  exit 1
fi
echo "${#files[@]} files formatted"
