// The preset system's files and settings, driven by the editor's strip: the
// six file commands, the stored defaults, the A/B memories and the remembered
// folder and file names. The dialogs, the strip updates and the record
// conversions go through the editor's interface.
#pragma once

#include "presets/PresetEditorInterface.h"

class AudioEffect;

constexpr int kPathTextLength = 256;  // remembered folder and file names

class PresetFiles {
 public:
  // Starts in the host's working directory. Both pointers must outlive this.
  PresetFiles(AudioEffect* effect, PresetEditorInterface* editor);

  // File commands. A load run with value exactly 0.5 (right-click) reverses
  // the byte order of the values once more.
  void loadBank(float value);
  void saveBank();
  void loadPreset(float value);
  void savePreset();
  void loadMidiSettings(float value);
  void saveMidiSettings();

  // Value >= 0.75 stores the current bank, preset or MIDI settings as the
  // default, a smaller value (Ctrl) deletes the stored one.
  void storeOrDeleteDefaultBank(float value);
  void storeOrDeleteDefaultPreset(float value);
  void storeOrDeleteDefaultMidi(float value);
  void storeDefaultBank();
  void deleteDefaultBank();
  void storeDefaultPreset();
  void deleteDefaultPreset();
  void storeDefaultMidi();
  void deleteDefaultMidi();

  // A/B memories of the current preset.
  void storeMemoA();
  void storeMemoB();
  void recallMemoA();
  void recallMemoB();

  // The stored default bank, preset and MIDI settings, then the remembered
  // paths.
  void loadStoredDefaults();
  void storeRememberedPaths();

  const char* getRememberedDirectory() const { return currentDirectory; }
  const char* getRememberedBankName() const { return bankFileName; }
  const char* getRememberedPresetName() const { return presetFileName; }
  const char* getRememberedMidiName() const { return midiFileName; }

  enum RecordKind { kBankRecord, kPresetRecord, kMidiRecord };
  // The type byte of a kind's records.
  static unsigned char recordType(RecordKind kind);

 private:
  AudioEffect* effect;
  PresetEditorInterface* editor;

  // Remembered folder (shared by all file types, ends with '/') and the last
  // file name per type; at most kPathTextLength characters each.
  char currentDirectory[kPathTextLength + 1] = {0};
  char bankFileName[kPathTextLength + 1] = {0};
  char presetFileName[kPathTextLength + 1] = {0};
  char midiFileName[kPathTextLength + 1] = {0};

  void loadRecordFile(RecordKind kind, bool reversed);
  void saveRecordFile(RecordKind kind);
  bool rememberPath(const char* path, RecordKind kind);
  char* rememberedName(RecordKind kind);
  void applyRecord(RecordKind kind, const unsigned char* data, bool reversed);
  bool fillRecord(RecordKind kind, unsigned char* data);
  void storeRecordValue(const char* valueName, RecordKind kind);
  void readRecordValue(const char* valueName, RecordKind kind);
  void deleteStoredValue(const char* valueName);
  void readRememberedPaths();
};
