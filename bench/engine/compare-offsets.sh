#!/bin/sh
# The same-run comparison of two loadable builds (compare-builds.sh makes
# them), run 8 times at different placements of the stack (address
# randomisation off, the environment padded so the stack starts 0..3648 bytes
# lower), and the median of each setting. On a loaded machine single runs of
# the same pair scattered by 3-7 % at the 64-frame settings (defaults,
# feedback), whether from the placement or the load; the median repeated to
# within 1 %.
#
#   bench/engine/compare-offsets.sh OLD.so NEW.so [--x86-64|--avx2] [--rounds N]
#
# Prints old/new (median ns) per placement, then the median of each column.
set -eu
[ $# -ge 2 ] || { echo "usage: $0 OLD.so NEW.so [--x86-64|--avx2] [--rounds N]" >&2; exit 64; }
bench=${BUILD:-$(cd "$(dirname "$0")/../.." && pwd)/build/rel}/bench/engine/bench_engine
old=$1 new=$2
shift 2
[ $# -gt 0 ] || set -- --rounds 501
echo "old: $old, new: $new, $*; load: $(cut -d' ' -f1-3 /proc/loadavg)"
echo "pad    defaults  wow   feedback  busy"
rows=$(for n in 0 448 1024 1600 2048 2624 3072 3648; do
  pad=$(head -c "$n" /dev/zero | tr '\0' x)
  printf "%-5s" "$n"
  PAD=$pad setarch "$(uname -m)" -R "$bench" --compare-builds "$old" "$new" "$@" |
    awk '/same bits/ { sub("x", "", $(NF - 2)); r = r " " $(NF - 2) }
         /DIFFERS/ { r = r " DIFFERS" } END { print r }'
done)
echo "$rows"
echo "$rows" | awk '
  { for (i = 2; i <= NF; ++i) v[i, NR] = $i; if (NF > c) c = NF }
  END {
    printf "median"
    for (i = 2; i <= c; ++i) {
      n = 0
      for (k = 1; k <= NR; ++k) a[++n] = v[i, k]
      for (x = 2; x <= n; ++x)
        for (y = x; y > 1 && a[y - 1] > a[y]; --y) { t = a[y]; a[y] = a[y - 1]; a[y - 1] = t }
      printf " %.3f", (n % 2) ? a[(n + 1) / 2] : (a[n / 2] + a[n / 2 + 1]) / 2
    }
    print ""
  }'
