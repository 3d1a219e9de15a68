// Base of the plug-in's editor: the preset strip, the remembered file paths and
// the conversions between the effect's store and the file/settings records.
#pragma once

#include <cstdint>

#include "presets/PresetRecord.h"
#include "toolkit/AEffGUIEditor.h"
#include "toolkit/CControlListener.h"

class CPresetSystemEffect;

constexpr int kPathTextLength = 256;  // remembered folder and file names

class CPresetSystemEditor : public AEffGUIEditor, public CControlListener {
 public:
  explicit CPresetSystemEditor(AudioEffect* effect);
  ~CPresetSystemEditor() override;  // stores the remembered paths

  bool open(void* ptr) override;  // builds the preset strip
  void close() override;
  // Shows the store again in the strip when its names or its current preset
  // changed since the strip last showed them, then the frame's idle.
  void idle() override;
  void valueChanged(CControl* control) override;

  // Operations the preset system calls, in slot order.
  virtual void learnButtonOff();
  virtual void forgetButtonOff();
  virtual void showPresetName(const char* name);
  virtual void loadStoredDefaults();
  virtual void applyBankData(const unsigned char* data, bool reversed);
  virtual void fillBankData(unsigned char* data);
  virtual void applyPresetData(const unsigned char* data, bool reversed);
  virtual void fillPresetData(unsigned char* data);
  virtual void applyMidiData(const unsigned char* data, bool reversed);
  virtual void fillMidiData(unsigned char* data);

 protected:
  CPresetSystemEffect* presetEffect();

  // Remembered folder (shared by all file types, ends with '/') and the last
  // file name per type; at most kPathTextLength characters each.
  char currentDirectory[kPathTextLength + 1] = {0};
  char bankFileName[kPathTextLength + 1] = {0};
  char presetFileName[kPathTextLength + 1] = {0};
  char midiFileName[kPathTextLength + 1] = {0};

  // Files and settings
 public:
  // File commands of the strip's buttons. A load run with value exactly 0.5
  // (right-click) reverses the byte order of the values once more.
  void loadBank(float value);
  void saveBank();
  void loadPreset(float value);
  void savePreset();
  void loadMidiSettings(float value);
  void saveMidiSettings();

  // Default buttons: value >= 0.75 stores the current bank, preset or MIDI
  // settings as the default, a smaller value (Ctrl) deletes the stored one.
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

  enum RecordKind { kBankRecord, kPresetRecord, kMidiRecord };

  const char* getRememberedDirectory() const { return currentDirectory; }
  const char* getRememberedBankName() const { return bankFileName; }
  const char* getRememberedPresetName() const { return presetFileName; }
  const char* getRememberedMidiName() const { return midiFileName; }

 private:
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
  void storeRememberedPaths();
  // Host parameter values around an editor action that may change many of
  // them (preset choice, file load, memory recall): afterwards the host hears
  // the new value of each one that changed, then updates its display.
  struct HostValues {
    float values[kNumHostParams];
  };
  HostValues readHostValues();
  void reportChangedValues(const HostValues& before);
  // End of files and settings

  // Strip
 public:
  class CParamDisplay* getControllerDisplay() const {
    return controllerDisplay;
  }
  class CPSOnOffButton* getLearnButton() const {
    return learnButton;
  }
  class CPSOnOffButton* getForgetButton() const {
    return forgetButton;
  }
  class CTextEdit* getPresetNameField() const {
    return presetNameField;
  }
  class COptionMenu* getPresetMenu() const {
    return presetMenu;
  }
  // For a host that shows the editor without reaching the effect itself: the
  // strip's preset, file, memory and learn controls stop taking the mouse.
  // Applies to the controls of the open frame.
  void setPresetOperationsEnabled(bool enabled);

 protected:
  // Non-owning; the frame owns the strip's controls while the editor is open.
  CParamDisplay* controllerDisplay = nullptr;
  CPSOnOffButton* learnButton = nullptr;
  CPSOnOffButton* forgetButton = nullptr;
  class CPSRockerSwitch* presetRocker = nullptr;
  CTextEdit* presetNameField = nullptr;
  COptionMenu* presetMenu = nullptr;
  class CControl* stripButtons[14] = {};  // file, default and memory buttons

  // The strip shows exactly the store: every menu title, the current entry
  // and the current preset's name, unless the user is typing a name (the
  // field then follows once the typing ends).
  void showStoredState();
  void showInNameField(const char* name);
  // The store's state generation the strip last showed.
  uint32_t shownGeneration = 0;
  // The text the strip last gave the name field: committing it unchanged is
  // no rename.
  char shownName[kPresetNameLength + 1] = {0};
  // The field was being typed in when the store last changed.
  bool nameFieldBehind = false;
  // End of strip
};
