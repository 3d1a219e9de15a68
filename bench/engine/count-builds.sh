#!/bin/sh
# Instructions per stereo frame (callgrind) of this tree's engine and another
# revision's, per loop build and setting. Steady on a loaded machine, unlike
# times; but equal counts do not mean equal speed (spills, port balance), so
# compare-builds.sh has the last word. Valgrind runs no AVX-512, so that
# build is not counted.
#
#   bench/engine/count-builds.sh [REV] [BLOCKS]
#
# Run compare-builds.sh REV first: it builds both engines.
set -eu
root=$(cd "$(dirname "$0")/../.." && pwd)
rev=${1:-main}
blocks=${2:-100}
bench=${BUILD:-$root/build/rel}/bench/engine
[ "$(cat "${BUILD:-$root/build/rel}/engine-of-rev/rev")" = "$(git -C "$root" rev-parse "$rev")" ] ||
  { echo "run bench/engine/compare-builds.sh $rev first" >&2; exit 1; }
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
count() {  # SO SETTING CAP
  valgrind --tool=callgrind --callgrind-out-file="$tmp/out" --toggle-collect='*countedRun*' \
    "$bench/bench_engine" --count "$2" "$1" "$blocks" "$3" >/dev/null 2>&1
  callgrind_annotate "$tmp/out" | awk -v f=$((blocks * 512)) \
    '/PROGRAM TOTALS/ { gsub(",", "", $1); printf "%.1f", $1 / f }'
}
printf "%-8s %-9s %9s %9s %8s\n" build setting old new new/old
for cap in --avx2 --x86-64; do
  for s in defaults wow feedback busy; do
    o=$(count "$bench/engine_build_other.so" $s $cap)
    n=$(count "$bench/engine_build_this.so" $s $cap)
    printf "%-8s %-9s %9s %9s %8s\n" "${cap#--}" $s "$o" "$n" "$(echo "$n $o" | awk '{ printf "%.3f", $1 / $2 }')"
  done
done
