#!/bin/sh
# Korva against the plug-in built from the per-sample engine it replaced, and
# against LSP's slap delay, through korva-host bench: all plug-ins loaded in
# one process, runs alternating, so the ratios come from the same run.
#
#   bench/engine/compare-plugins.sh [SECONDS] [RUNS]
#
# Builds build/bench (Release) and, from git history, build/baseline-plugin
# (the last commit before the block-wise engine, override with BASELINE=rev).
# LSP: apt-get install lsp-plugins-vst (the slap delay has no feedback; its
# taps at 400, 600, 800 and 1000 ms (its longest) stand in for the repeats).
set -eu
root=$(cd "$(dirname "$0")/../.." && pwd)
seconds=${1:-10}
runs=${2:-7}
baseline_rev=${BASELINE:-0270e19}
jobs=${JOBS:-2}
launcher=""
command -v ccache >/dev/null 2>&1 && launcher="-DCMAKE_CXX_COMPILER_LAUNCHER=ccache -DCMAKE_C_COMPILER_LAUNCHER=ccache"

cmake -S "$root" -B "$root/build/bench" -DCMAKE_BUILD_TYPE=Release $launcher >/dev/null
cmake --build "$root/build/bench" -j"$jobs" --target korva korva-host >/dev/null

base="$root/build/baseline-plugin"
if [ ! -f "$base/build/korva.so" ] || [ "$(cat "$base/rev" 2>/dev/null)" != "$baseline_rev" ]; then
  rm -rf "$base"
  mkdir -p "$base/src"
  git -C "$root" archive "$baseline_rev" | tar -x -C "$base/src"
  cmake -S "$base/src" -B "$base/build" -DCMAKE_BUILD_TYPE=Release -DKORVA_BUILD_TESTS=OFF \
    $launcher >/dev/null
  cmake --build "$base/build" -j"$jobs" --target korva >/dev/null
  echo "$baseline_rev" >"$base/rev"
fi

host="$root/build/bench/tools/korva-host"
new="$root/build/bench/korva.so"
old="$base/build/korva.so"
lsp=/usr/lib/vst/lsp-plugins/slap-delay-stereo.so
common="--seconds $seconds --runs $runs --rate 44100 --block 512"

wow="--param Input=0.622706 --param Output=0.479528 --param Mix=0.459736 --param DlyTime=0.053856
  --param Fbck=0.53191 --param HiCut=0.75 --param Depth=0.1 --param Waveform=0.31 --param Rate=0.5"
feedback="--param DlyTime=0.125 --param Fbck=1 --param Mix=0.5"
tap="--param dm0=0.34 --param dt0=0.4"
taps="$tap --param dm1=0.34 --param dt1=0.6 --param dm2=0.34 --param dt2=0.8
  --param dm3=0.34 --param dt3=1.0"

echo "== defaults (ratio: ns per frame over the per-sample engine's)"
"$host" bench $common "$old" "$new"
echo "== wow tape"
# shellcheck disable=SC2086
"$host" bench $common "$old" $wow "$new" $wow
echo "== feedback 1, 400 ms; LSP slap delay with one tap at 400 ms, then four taps"
if [ -f "$lsp" ]; then
  # shellcheck disable=SC2086
  "$host" bench $common "$old" $feedback "$new" $feedback "$lsp" $tap "$lsp" $taps
else
  # shellcheck disable=SC2086
  "$host" bench $common "$old" $feedback "$new" $feedback
fi
