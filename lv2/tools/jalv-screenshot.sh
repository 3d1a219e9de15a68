#!/usr/bin/env bash
# Opens the LV2 bundle of BUILD_DIR in jalv.gtk3 (Debian's jalv) on a private
# Xvfb with a JACK server on its dummy driver, loads a factory preset from
# jalv's own preset list and saves a picture of jalv's window with the
# editor embedded. Needs the packages jalv and jackd2 (not part of the
# test run). Usage: jalv-screenshot.sh BUILD_DIR OUT.png [PRESET_LABEL]
set -euo pipefail
build=$1
out=$2
preset=${3:-wow tape}
uri=http://vek-sonimark.com/plugins/korva
for tool in Xvfb jackd jalv.gtk3; do
  command -v "$tool" >/dev/null || { echo "missing $tool (apt-get install xvfb jackd2 jalv)" >&2; exit 1; }
done
work=$(mktemp -d)
pids=()
cleanup() {
  for ((i = ${#pids[@]} - 1; i >= 0; i--)); do kill "${pids[i]}" 2>/dev/null || true; done
  wait 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT

# Xvfb picks a free display number and writes it to the pipe.
exec {fd}<> <(:)
Xvfb -displayfd "$fd" -screen 0 1000x300x24 -nolisten tcp >"$work/xvfb.log" 2>&1 &
pids+=($!)
read -r -t 10 -u "$fd" number
export DISPLAY=:$number
export JACK_DEFAULT_SERVER=korva-shot-$$
jackd -r -n "$JACK_DEFAULT_SERVER" -d dummy -r 48000 -p 256 >"$work/jack.log" 2>&1 &
pids+=($!)
sleep 1
export LV2_PATH="$build/lv2-bundles:/usr/lib/lv2"
export XDG_CONFIG_HOME="$work/config"
preset_uri="$uri#preset-${preset// /-}"
jalv.gtk3 -p "$preset_uri" "$uri" >"$work/jalv.log" 2>&1 &
pids+=($!)
window=""
for _ in $(seq 50); do
  window=$(xwininfo -root -tree 2>/dev/null | awk '/"Vantrel Korva/ {print $1; exit}')
  [ -n "$window" ] && break
  sleep 0.2
done
[ -n "$window" ] || { echo "jalv.gtk3 showed no window:" >&2; cat "$work/jalv.log" >&2; exit 1; }
sleep 2  # the editor's first idle draws
"$build/lv2/x11_window_png" "$window" "$out"
echo "Saved $out (jalv.gtk3, preset \"$preset\")"
