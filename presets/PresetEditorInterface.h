// What the preset system needs from its editor: updating the strip, ending
// learn and forget, choosing a file, the file-data conversions it delegates
// and telling the host of values an editor action changed. The editor
// implements it; the preset system holds a pointer to it and knows no more of
// the editor than this.
// Threads: UI thread, except learnButtonOff and forgetButtonOff, which the
// processing thread may call when MIDI ends learn.
#pragma once

#include <string>

#include "engine/ParameterIds.h"

class PresetEditorInterface {
 public:
  // The strip.
  virtual void learnButtonOff() = 0;
  virtual void forgetButtonOff() = 0;
  // The current preset's name in the name field and its menu entry.
  virtual void showPresetName(const char* name) = 0;
  // Every menu title, the current entry and the name field as the store has
  // them now.
  virtual void showStoredState() = 0;
  // The strip's controls drawn again at the next idle.
  virtual void redrawStrip() = 0;

  // Stored defaults and the records of the files and settings.
  virtual void loadStoredDefaults() = 0;
  virtual void applyBankData(const unsigned char* data, bool reversed) = 0;
  virtual void fillBankData(unsigned char* data) = 0;
  virtual void applyPresetData(const unsigned char* data, bool reversed) = 0;
  virtual void fillPresetData(unsigned char* data) = 0;
  virtual void applyMidiData(const unsigned char* data, bool reversed) = 0;
  virtual void fillMidiData(unsigned char* data) = 0;

  // A file dialog. True with the chosen path when the user chose exactly one
  // file; false when cancelled or when no dialog could run. Never throws.
  struct FileChoice {
    bool save;
    const char* title;
    const char* initialDirectory;
    const char* description;  // the file type as the dialog names it
    const char* extension;    // without the dot
    const char* defaultName;  // save only; may be empty
  };
  virtual bool chooseFile(const FileChoice& choice, std::string* path) = 0;

  // Host parameter values around an action that may change many of them:
  // afterwards the host hears the new value of each one that changed, then
  // updates its display.
  struct HostValues {
    float values[kNumHostParams];
  };
  virtual HostValues readHostValues() = 0;
  virtual void reportChangedValues(const HostValues& before) = 0;

 protected:
  ~PresetEditorInterface() = default;  // never deleted through the interface
};
