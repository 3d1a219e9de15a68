#!/usr/bin/env bash
# Renders the demo: a plucked phrase through Korva, once with a plain echo and
# once each through three factory presets. Usage: render-demo.sh BUILD_DIR OUT_DIR
set -euo pipefail
build=$1
out=$2
host="$build/tools/korva-host"
plugin="$build/korva.so"
mkdir -p "$out"
# A private settings folder: the demo must not pick up (or leave) a user's
# stored defaults and remembered paths.
XDG_CONFIG_HOME=$(mktemp -d)
export XDG_CONFIG_HOME
trap 'rm -rf "$XDG_CONFIG_HOME"' EXIT
"$build/tools/demo/make_demo_signal" "$out/dry.wav"

render() {
  local name=$1
  shift
  "$host" render "$plugin" "$out/dry.wav" "$out/$name.wav" --tempo 120 --tail 3 \
    --plot "$out/$name.png" "$@"
  echo "Rendered $out/$name.wav and $out/$name.png"
}

# 400 ms echoes (0.125 of the 3200 ms range) with feedback, half wet.
render echoes --param DlyTime=0.125 --param Fbck=0.55 --param Mix=0.45
for preset in wow-tape deep-flanger 16th-slapback; do
  render "$preset" --load "$build/presets/$preset.fxp"
done

cat > "$out/README.txt" <<TXT
Korva demo, rendered by tools/demo/render-demo.sh at 44100 Hz and 120 BPM.
dry.wav            the plucked phrase alone (3 s: two short plucked notes and silence)
echoes.wav/.png    400 ms delay, feedback 0.55, mix 0.45
wow-tape.wav/.png  factory preset "wow tape": slow clock modulation bends the repeats
deep-flanger.*     factory preset "deep flanger": a very short delay swept by the oscillator
16th-slapback.*    factory preset "16th slapback": a sixteenth-note echo locked to the tempo
Each PNG shows the input above and the output below.
TXT
