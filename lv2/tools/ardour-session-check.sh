#!/usr/bin/env bash
# Korva's LV2 bundle in an Ardour 7 session, headless (ardour7-lua with the
# dummy audio backend): a track gets the plug-in, a user preset whose state
# assigns controller 7 to Mix, then the factory preset "wow tape" from the
# bundle and a hand-set Fbck of -12 dB; the session is saved, closed,
# reloaded and saved again. The check passes when the reloaded session shows
# the chosen preset, every port value, and its saved plug-in state still holds
# the controller assignment, with "wow tape" current and "default" unchanged. Needs the package ardour (not part of the test
# run) and perl. Usage: ardour-session-check.sh BUILD_DIR
set -euo pipefail
build=$(cd "$1" && pwd)
uri=http://vek-sonimark.com/plugins/korva
command -v ardour7-lua >/dev/null || { echo "missing ardour7-lua (apt-get install ardour)" >&2; exit 1; }
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
export XDG_CONFIG_HOME="$work/config" HOME="$work/home"
mkdir -p "$HOME"
export LV2_PATH="$build/lv2-bundles:$work/presets:/usr/lib/lv2"

# The user preset: korva-host saves the default state, the chunk's
# assignment value of Mix (offset 1664 + 4 * 2) becomes controller 7's,
# (7 + 0.5) / 129, as a learn of controller 7 on Mix leaves it.
"$build/tools/korva-host" info "$uri" --save-state "$work/base" >/dev/null
bundle="$work/presets/korva-cc7.lv2"
mkdir -p "$bundle"
perl -MMIME::Base64 -0777 -ne '
  s{"""(.*?)"""}{
    my $c = decode_base64($1);
    substr($c, 1664 + 8, 4) = pack("f<", 7.5 / 129);
    q(""") . encode_base64($c) . q(""")
  }se;
  s{a pset:Preset ;}{a pset:Preset ;\n\trdfs:label "cc7 drives mix" ;};
  print' "$work/base/state.ttl" >"$bundle/preset.ttl"
cat >"$bundle/manifest.ttl" <<TTL
@prefix lv2: <http://lv2plug.in/ns/lv2core#> .
@prefix pset: <http://lv2plug.in/ns/ext/presets#> .
@prefix rdfs: <http://www.w3.org/2000/01/rdf-schema#> .
<preset.ttl> a pset:Preset ; lv2:appliesTo <$uri> ; rdfs:label "cc7 drives mix" ;
  rdfs:seeAlso <preset.ttl> .
TTL

cat >"$work/create.lua" <<LUA
AudioEngine:set_backend ("None (Dummy)", "", "")
AudioEngine:start (false)
local s = create_session ("$work/session", "korva", 48000)
assert (s, "no session")
local track = s:new_audio_track (2, 2, nil, 1, "Korva", ARDOUR.PresentationInfo.max_order,
                                 ARDOUR.TrackMode.Normal, true):front ()
local p = ARDOUR.LuaAPI.new_plugin (s, "$uri", ARDOUR.PluginType.LV2, "")
assert (not p:isnil (), "no plug-in")
assert (track:add_processor_by_index (p, 0, nil, true) == 0)
local plug = p:to_plugininsert ():plugin (0)
assert (plug:load_preset (plug:preset_by_label ("cc7 drives mix")), "user preset")
assert (plug:load_preset (plug:preset_by_label ("wow tape")), "factory preset")
ARDOUR.LuaAPI.set_processor_param (p, 6, -12.0)  -- Fbck
s:save_state ("", false, false, false, false, false)
close_session ()
LUA
cat >"$work/reload.lua" <<LUA
AudioEngine:set_backend ("None (Dummy)", "", "")
AudioEngine:start (false)
local s = load_session ("$work/session", "korva")
assert (s, "no session")
for r in s:get_routes ():iter () do
  local p = r:nth_plugin (0)
  if not p:isnil () then
    local plug = p:to_plugininsert ():plugin (0)
    print ("preset=" .. plug:last_preset ().label)
    local n = 0
    for i = 0, plug:parameter_count () - 1 do
      if plug:parameter_is_control (i) and plug:parameter_is_input (i) then
        print (string.format ("port %s=%.6g", plug:parameter_label (i),
                              ARDOUR.LuaAPI.get_processor_param (p, n, true)))
        n = n + 1
      end
    end
  end
end
s:save_state ("", false, false, false, false, false)
close_session ()
LUA
ardour7-lua "$work/create.lua" >"$work/create.log" 2>&1 || { cat "$work/create.log" >&2; exit 1; }
ardour7-lua "$work/reload.lua" >"$work/reload.log" 2>&1 || { cat "$work/reload.log" >&2; exit 1; }
grep -E '^(preset|port) ' "$work/reload.log" | sed 's/^/  /' || true

fail=0
expect() {
  if grep -qxF "$1" "$work/reload.log"; then echo "ok      $1"; else echo "MISSING $1"; fail=1; fi
}
expect "preset=wow tape"
expect "port Fbck=-12"
expect "port DlyTime=172.339"
expect "port HiCut=1"
expect "port Mix=45.9736"
# The state Ardour saved after the reload (the newest state folder).
state=$(ls -dt "$work"/session/plugins/*/state*/state.ttl | head -1)
value=$(perl -MMIME::Base64 -0777 -ne '
  /"""(.*?)"""/s or die "no chunk";
  my $c = decode_base64($1);
  printf "%d", unpack("f<", substr($c, 1664 + 8, 4)) * 129' "$state")
if [ "$value" = 7 ]; then
  echo "ok      controller 7 still drives Mix in $state"
else
  echo "MISSING controller 7 on Mix (found $value) in $state"
  fail=1
fi
# The factory preset selected the stored "wow tape" (current preset 6, which
# took the Fbck edit); the first stored preset still holds "default"'s Input.
stored=$(perl -MMIME::Base64 -0777 -ne '
  /"""(.*?)"""/s or die "no chunk";
  my $c = decode_base64($1);
  printf "current=%d preset0=%s input0=%.6g", unpack("l<", substr($c, 12, 4)),
    unpack("Z24", substr($c, 32, 24)), unpack("f<", substr($c, 32 + 24, 4))' "$state")
if [ "$stored" = "current=6 preset0=default input0=0.5" ]; then
  echo "ok      $stored"
else
  echo "MISSING current=6 preset0=default input0=0.5 (found $stored)"
  fail=1
fi
exit $fail
