// Base of the plug-in's editor: the preset strip, the remembered file paths and
// the conversions between the effect's store and the file/settings records.
#pragma once

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
};
