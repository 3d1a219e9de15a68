// A plug-in instance for the file and settings tests: the preset system's test
// effect with the preset-system editor, built as the plug-in class builds its
// own (editor, stored defaults, preset 0).
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "editor/CPresetSystemEditor.h"
#include "tests/presets/PresetTestEffect.h"

// Records the names the preset system shows in the strip.
class RecordingEditor : public CPresetSystemEditor {
 public:
  explicit RecordingEditor(AudioEffect* effect) : CPresetSystemEditor(effect) {}
  void showPresetName(const char* name) override {
    shown.push_back(name ? name : "");
    CPresetSystemEditor::showPresetName(name);
  }
  std::vector<std::string> shown;
};

struct TestInstance {
  PresetTestEffect fx;
  RecordingEditor* editor;  // owned by fx

  TestInstance() {
    editor = new RecordingEditor(&fx);
    fx.loadDefaults();
    fx.selectPreset(0);
  }

  const PresetRecord& preset(int p) { return fx.presetStore()[p]; }
  std::string name(int p) { return std::string(preset(p).name, strnlen(preset(p).name, 24)); }

  // Makes p current and gives it a name and values, as edits would.
  void setPreset(int p, const char* newName, const float* values) {
    fx.selectPreset(p);
    fx.renameCurrentPreset(newName);
    for (int i = 0; i < kNumParams; ++i) fx.setParameter(i, values[i]);
  }

  std::vector<unsigned char> storeBytes() {
    const auto* b = reinterpret_cast<const unsigned char*>(fx.presetStore());
    return std::vector<unsigned char>(b, b + sizeof(PresetRecord) * kNumPresets);
  }
};
