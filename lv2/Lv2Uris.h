// The URIs the plug-in speaks of, mapped once when an instance is created.
#pragma once

#include "lv2/atom/atom.h"
#include "lv2/midi/midi.h"
#include "lv2/time/time.h"
#include "lv2/urid/urid.h"

#define KORVA_LV2_URI "http://vek-sonimark.com/plugins/korva"
#define KORVA_LV2_UI_URI KORVA_LV2_URI "#ui"
// The whole state: presets, current preset and MIDI assignments, as the chunk.
#define KORVA_LV2_STATE_KEY KORVA_LV2_URI "#state"
// The factory presets of the bundle carry only this: the number (atom:Int) of
// the preset to select, as the editor's preset menu selects it.
#define KORVA_LV2_PRESET_KEY KORVA_LV2_URI "#preset"

namespace korvalv2 {

struct Uris {
  LV2_URID atomChunk, atomSequence, atomObject, atomBlank;
  LV2_URID atomInt, atomLong, atomFloat, atomDouble;
  LV2_URID midiEvent;
  LV2_URID timePosition, timeBar, timeBarBeat, timeBeat, timeBeatUnit, timeBeatsPerBar,
      timeBeatsPerMinute, timeSpeed;
  LV2_URID stateKey, presetKey;

  explicit Uris(const LV2_URID_Map* m) {
    auto map = [m](const char* uri) { return m->map(m->handle, uri); };
    atomChunk = map(LV2_ATOM__Chunk);
    atomSequence = map(LV2_ATOM__Sequence);
    atomObject = map(LV2_ATOM__Object);
    atomBlank = map(LV2_ATOM__Blank);
    atomInt = map(LV2_ATOM__Int);
    atomLong = map(LV2_ATOM__Long);
    atomFloat = map(LV2_ATOM__Float);
    atomDouble = map(LV2_ATOM__Double);
    midiEvent = map(LV2_MIDI__MidiEvent);
    timePosition = map(LV2_TIME__Position);
    timeBar = map(LV2_TIME__bar);
    timeBarBeat = map(LV2_TIME__barBeat);
    timeBeat = map(LV2_TIME__beat);
    timeBeatUnit = map(LV2_TIME__beatUnit);
    timeBeatsPerBar = map(LV2_TIME__beatsPerBar);
    timeBeatsPerMinute = map(LV2_TIME__beatsPerMinute);
    timeSpeed = map(LV2_TIME__speed);
    stateKey = map(KORVA_LV2_STATE_KEY);
    presetKey = map(KORVA_LV2_PRESET_KEY);
  }
};

}  // namespace korvalv2
