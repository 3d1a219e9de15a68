#!/bin/sh
# This tree's engine against another revision's, both built by the same
# compiler with the same flags (Release) and loaded into one bench_engine
# run that alternates them, so the ratio comes from the same run.
#
#   bench/engine/compare-builds.sh [REV] [--x86-64|--avx2] [--rounds N]
#
# REV defaults to main. Builds build/rel (override with BUILD=dir).
set -eu
root=$(cd "$(dirname "$0")/../.." && pwd)
rev=${1:-main}
[ $# -gt 0 ] && shift
build=${BUILD:-$root/build/rel}
jobs=${JOBS:-2}
launcher=""
command -v ccache >/dev/null 2>&1 && launcher="-DCMAKE_CXX_COMPILER_LAUNCHER=ccache -DCMAKE_C_COMPILER_LAUNCHER=ccache"

other="$build/engine-of-rev"
commit=$(git -C "$root" rev-parse "$rev")
if [ "$(cat "$other/rev" 2>/dev/null)" != "$commit" ]; then
  rm -rf "$other"
  mkdir -p "$other/tree"
  git -C "$root" archive "$commit" engine | tar -x -C "$other/tree"
  echo "$commit" >"$other/rev"
fi

# shellcheck disable=SC2086
cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=Release -DKORVA_BENCH_OTHER_TREE="$other/tree" \
  $launcher >/dev/null
cmake --build "$build" -j"$jobs" --target bench_engine engine_build_this engine_build_other >/dev/null
echo "old: $rev ($commit), new: this tree; load: $(cut -d' ' -f1-3 /proc/loadavg)"
"$build/bench/engine/bench_engine" --compare-builds "$build/bench/engine/engine_build_other.so" \
  "$build/bench/engine/engine_build_this.so" "$@"
