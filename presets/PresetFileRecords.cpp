// Conversions between the effect's store and the preset, bank and MIDI-settings
// records. Written in the machine's order; read in either, the identifier
// telling which, and flipped once more in the endian-reversed mode.
#include <cstring>

#include "presets/ByteOrder.h"
#include "presets/CPresetSystemEffect.h"
#include "presets/PresetEditorInterface.h"
#include "presets/PresetFileFormat.h"
#include "presets/PresetRecords.h"

namespace {

constexpr int kNameOffset = kRecordHeaderSize;
constexpr int kValuesOffset = kRecordHeaderSize + kPresetNameLength;

CPresetSystemEffect* presetSystemOf(AudioEffect* effect) {
  return dynamic_cast<CPresetSystemEffect*>(effect);
}

// Preset values are shared with the processing thread (MIDI stores into the
// current preset): each is moved as one whole word.
float loadValue(const float* slot) {
  float v;
  __atomic_load(slot, &v, __ATOMIC_RELAXED);
  return v;
}

void storeValue(float* slot, float v) {
  __atomic_store(slot, &v, __ATOMIC_RELAXED);
}

// Decides the byte order from the identifier; false when the record is not
// ours. The identifier test is automatic in both modes.
bool recordIsOurs(const unsigned char* data, VstInt32 id, unsigned char type, bool* swapFile) {
  const uint32_t word = presetbytes::readU32(data);
  const uint32_t ours = static_cast<uint32_t>(id);
  if (word == presetbytes::swap32(ours) && word != ours)
    *swapFile = true;
  else if (word == ours)
    *swapFile = false;
  else
    return false;
  return data[4] == type;
}

// Reads count values at p, every bit pattern as it is; the caller refuses the
// record if any is unusable (a reversed read of a good file easily makes one).
void readValues(const unsigned char* p, int count, bool swap, float* out) {
  for (int i = 0; i < count; ++i) out[i] = presetbytes::readFloatOrder(p + 4 * i, swap);
}

// The bank's values, preset by preset; false if any is outside 0..1.
bool readBankValues(const unsigned char* data, bool swap, float (*values)[kNumParams]) {
  static_assert(sizeof(PresetRecord) % 4 == 0, "records hold whole words");
  for (int p = 0; p < kNumPresets; ++p) {
    const unsigned char* at = data + kValuesOffset + p * static_cast<int>(sizeof(PresetRecord));
    readValues(at, kNumParams, swap, values[p]);
    if (!areStorableValues(values[p], kNumParams)) return false;
  }
  return true;
}

bool readMidiValues(const unsigned char* data, bool swap, float* values) {
  readValues(data + kRecordHeaderSize, kNumAssignmentParams, swap, values);
  for (int i = 0; i < kNumAssignmentParams; ++i)
    if (!isStorableAssignment(values[i])) return false;
  return true;
}

void writeHeader(unsigned char* data, VstInt32 id, unsigned char type) {
  presetbytes::writeU32(data, static_cast<uint32_t>(id));
  data[4] = type;
}

void writePreset(unsigned char* p, const PresetRecord& record) {
  std::memcpy(p, record.name, kPresetNameLength);
  for (int i = 0; i < kNumParams; ++i)
    presetbytes::writeFloat(p + kPresetNameLength + 4 * i, loadValue(&record.values[i]));
}

}  // namespace

namespace presetrecords {

void fillPreset(AudioEffect* effect, unsigned char* data) {
  CPresetSystemEffect* fx = presetSystemOf(effect);
  if (!data || !fx || !fx->presetStore()) return;
  writeHeader(data, fx->getPluginId(), kPresetFileType);
  writePreset(data + kNameOffset, fx->presetStore()[fx->getCurrentPreset()]);
}

void fillBank(AudioEffect* effect, unsigned char* data) {
  CPresetSystemEffect* fx = presetSystemOf(effect);
  if (!data || !fx || !fx->presetStore()) return;
  writeHeader(data, fx->getPluginId(), kBankFileType);
  for (int p = 0; p < kNumPresets; ++p)
    writePreset(data + kNameOffset + p * static_cast<int>(sizeof(PresetRecord)),
                fx->presetStore()[p]);
}

void fillMidi(AudioEffect* effect, unsigned char* data) {
  CPresetSystemEffect* fx = presetSystemOf(effect);
  if (!data || !fx) return;
  writeHeader(data, fx->getPluginId(), kMidiFileType);
  // The stored values, not what hosts read: files keep "none" as 7.748.
  for (int i = 0; i < kNumAssignmentParams; ++i)
    presetbytes::writeFloat(data + kRecordHeaderSize + 4 * i, fx->storedAssignmentValue(i));
}

bool holdsUnusableValue(AudioEffect* effect, const unsigned char* data, unsigned char type,
                        bool reversed) {
  CPresetSystemEffect* fx = presetSystemOf(effect);
  bool swapFile = false;
  if (!data || !fx || !recordIsOurs(data, fx->getPluginId(), type, &swapFile)) return false;
  const bool swap = swapFile != reversed;
  float values[kNumPresets][kNumParams];
  switch (type) {
    case kPresetFileType:
      readValues(data + kValuesOffset, kNumParams, swap, values[0]);
      return !areStorableValues(values[0], kNumParams);
    case kBankFileType:
      return !readBankValues(data, swap, values);
    case kMidiFileType:
      return !readMidiValues(data, swap, values[0]);
    default:
      return false;
  }
}

void applyPreset(AudioEffect* effect, PresetEditorInterface& editor, const unsigned char* data,
                 bool reversed) {
  CPresetSystemEffect* fx = presetSystemOf(effect);
  if (!data || !fx || !fx->presetStore()) return;
  bool swapFile = false;
  if (!recordIsOurs(data, fx->getPluginId(), kPresetFileType, &swapFile)) return;
  float values[kNumParams];
  readValues(data + kValuesOffset, kNumParams, swapFile != reversed, values);
  if (!areStorableValues(values, kNumParams)) return;

  // Names are bytes and never swapped.
  char name[kPresetNameLength + 1] = {0};
  std::memcpy(name, data + kNameOffset, kPresetNameLength);
  const VstInt32 current = fx->getCurrentPreset();
  PresetRecord& record = fx->presetStore()[current];
  std::memcpy(record.name, name, kPresetNameLength);
  for (int i = 0; i < kNumParams; ++i) storeValue(&record.values[i], values[i]);
  editor.showPresetName(name);
  fx->renameCurrentPreset(name);
  fx->selectPreset(current);
}

void applyBank(AudioEffect* effect, PresetEditorInterface& editor, const unsigned char* data,
               bool reversed) {
  CPresetSystemEffect* fx = presetSystemOf(effect);
  if (!fx) return;
  bool swapFile = false;
  const bool ours =
      data && fx->presetStore() && recordIsOurs(data, fx->getPluginId(), kBankFileType, &swapFile);
  float values[kNumPresets][kNumParams];
  // A bank of ours holding a value outside 0..1 changes nothing at all.
  if (ours && !readBankValues(data, swapFile != reversed, values)) return;
  // The sound goes to preset 0 even when the record is then refused.
  fx->selectPreset(0);
  if (!ours) return;
  PresetRecord* store = fx->presetStore();
  for (int p = 0; p < kNumPresets; ++p) {
    std::memcpy(store[p].name, data + kNameOffset + p * static_cast<int>(sizeof(PresetRecord)),
                kPresetNameLength);
    for (int i = 0; i < kNumParams; ++i) storeValue(&store[p].values[i], values[p][i]);
  }
  // Preset 0 is current (selected above): the name field shows its name,
  // the menu every new title.
  char name[kPresetNameLength + 1] = {0};
  std::memcpy(name, store[0].name, kPresetNameLength);
  editor.showPresetName(name);
  fx->selectPreset(0);
  editor.showStoredState();
}

void applyMidi(AudioEffect* effect, const unsigned char* data, bool reversed) {
  CPresetSystemEffect* fx = presetSystemOf(effect);
  if (!data || !fx) return;
  bool swapFile = false;
  if (!recordIsOurs(data, fx->getPluginId(), kMidiFileType, &swapFile)) return;
  float values[kNumAssignmentParams];
  if (!readMidiValues(data, swapFile != reversed, values)) return;
  // Through the effect's own entry, which rebuilds the controller tables.
  // The file command tells the host of the values that changed.
  for (int i = 0; i < kNumAssignmentParams; ++i) fx->setParameter(kNumParams + i, values[i]);
}

}  // namespace presetrecords
