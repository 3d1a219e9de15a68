// Base of the plug-in's editor: the preset strip, the remembered file paths and
// the conversions between the effect's store and the file/settings records.
#pragma once

#include <chrono>
#include <cstdint>

#include "presets/PresetEditorInterface.h"
#include "presets/PresetFiles.h"
#include "presets/PresetRecord.h"
#include "toolkit/AEffGUIEditor.h"
#include "toolkit/CControlListener.h"

class CPresetSystemEffect;

class CPresetSystemEditor : public AEffGUIEditor,
                            public CControlListener,
                            public PresetEditorInterface {
 public:
  explicit CPresetSystemEditor(AudioEffect* effect);
  ~CPresetSystemEditor() override;  // stores the remembered paths

  bool open(void* ptr) override;  // builds the preset strip
  void close() override;
  // Shows the store again in the strip when its names or its current preset
  // changed since the strip last showed them, then the frame's idle.
  void idle() override;
  void valueChanged(CControl* control) override;

  // The preset system's interface to its editor, in slot order.
  void learnButtonOff() override;
  void forgetButtonOff() override;
  void showPresetName(const char* name) override;
  void loadStoredDefaults() override;
  // The conversions go to the preset system's record code.
  void applyBankData(const unsigned char* data, bool reversed) override;
  void fillBankData(unsigned char* data) override;
  void applyPresetData(const unsigned char* data, bool reversed) override;
  void fillPresetData(unsigned char* data) override;
  void applyMidiData(const unsigned char* data, bool reversed) override;
  void fillMidiData(unsigned char* data) override;
  // The toolkit's file selector on the open frame.
  bool chooseFile(const FileChoice& choice, std::string* path) override;
  // Around an editor action that may change many values (preset choice,
  // file load, memory recall).
  HostValues readHostValues() override;
  void reportChangedValues(const HostValues& before) override;
  void redrawStrip() override;

 protected:
  CPresetSystemEffect* presetEffect();

  // Files and settings
 public:
  // File commands of the strip's buttons (see PresetFiles).
  void loadBank(float value) { files.loadBank(value); }
  void saveBank() { files.saveBank(); }
  void loadPreset(float value) { files.loadPreset(value); }
  void savePreset() { files.savePreset(); }
  void loadMidiSettings(float value) { files.loadMidiSettings(value); }
  void saveMidiSettings() { files.saveMidiSettings(); }

  // Default buttons: value >= 0.75 stores the current bank, preset or MIDI
  // settings as the default, a smaller value (Ctrl) deletes the stored one.
  void storeOrDeleteDefaultBank(float value) { files.storeOrDeleteDefaultBank(value); }
  void storeOrDeleteDefaultPreset(float value) { files.storeOrDeleteDefaultPreset(value); }
  void storeOrDeleteDefaultMidi(float value) { files.storeOrDeleteDefaultMidi(value); }
  void storeDefaultBank() { files.storeDefaultBank(); }
  void deleteDefaultBank() { files.deleteDefaultBank(); }
  void storeDefaultPreset() { files.storeDefaultPreset(); }
  void deleteDefaultPreset() { files.deleteDefaultPreset(); }
  void storeDefaultMidi() { files.storeDefaultMidi(); }
  void deleteDefaultMidi() { files.deleteDefaultMidi(); }

  // A/B memories of the current preset.
  void storeMemoA() { files.storeMemoA(); }
  void storeMemoB() { files.storeMemoB(); }
  void recallMemoA() { files.recallMemoA(); }
  void recallMemoB() { files.recallMemoB(); }

  const char* getRememberedDirectory() const { return files.getRememberedDirectory(); }
  const char* getRememberedBankName() const { return files.getRememberedBankName(); }
  const char* getRememberedPresetName() const { return files.getRememberedPresetName(); }
  const char* getRememberedMidiName() const { return files.getRememberedMidiName(); }

 private:
  PresetFiles files;
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
  void showStoredState() override;
  void showInNameField(const char* name);
  // A name committed in the field renames the current preset.
  void renameFromField(class CControl* control);
  // Preset i becomes current under its stored name; the host hears of every
  // value that changed.
  void choosePreset(VstInt32 i);
  // The store's state generation the strip last showed.
  uint32_t shownGeneration = 0;
  // The text the strip last gave the name field: committing it unchanged is
  // no rename.
  char shownName[kPresetNameLength + 1] = {0};
  // The field was being typed in when the store last changed.
  bool nameFieldBehind = false;
  // A short notice in the name field (no file dialog program), until then.
  void showNotice(const char* text);
  std::chrono::steady_clock::time_point noticeUntil{};
  // End of strip
};
