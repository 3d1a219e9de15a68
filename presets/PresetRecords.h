// Conversions between the effect's store and the preset, bank and MIDI-settings
// records of the files and settings. The editor's conversions come here; the
// strip hears of a record that changed names through the editor's interface.
// A missing effect, store or buffer does nothing; so does a record that is not
// ours or holds a value no parameter can take.
#pragma once

class AudioEffect;
class PresetEditorInterface;

namespace presetrecords {

void fillPreset(AudioEffect* effect, unsigned char* data);
void fillBank(AudioEffect* effect, unsigned char* data);
void fillMidi(AudioEffect* effect, unsigned char* data);
void applyPreset(AudioEffect* effect, PresetEditorInterface& editor, const unsigned char* data,
                 bool reversed);
void applyBank(AudioEffect* effect, PresetEditorInterface& editor, const unsigned char* data,
               bool reversed);
void applyMidi(AudioEffect* effect, const unsigned char* data, bool reversed);

// True when data is a record of ours of the given type that the readers above
// refuse for a value: a sound value outside 0..1 or no number, or an
// assignment that is no number. Such a record changes nothing.
bool holdsUnusableValue(AudioEffect* effect, const unsigned char* data, unsigned char type,
                        bool reversed);

}  // namespace presetrecords
