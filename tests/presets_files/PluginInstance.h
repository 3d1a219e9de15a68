// The real plug-in, created through its entry point as a host creates it (with
// the test's FakeHost), with its preset system and editor; closed at the end.
#pragma once

#include <cstring>
#include <string>

#include "editor/CPresetSystemEditor.h"
#include "presets/CPresetSystemEffect.h"
#include "tests/support/FakeHost.h"

struct Plugin {
  AEffect* record = nullptr;
  CPresetSystemEffect* fx = nullptr;
  CPresetSystemEditor* editor = nullptr;

  Plugin() {
    record = pluginEntry(FakeHost::callback());
    if (!record) return;
    fx = dynamic_cast<CPresetSystemEffect*>(static_cast<AudioEffect*>(record->object));
    if (fx) editor = dynamic_cast<CPresetSystemEditor*>(fx->getEditor());
  }
  ~Plugin() {
    if (record) record->dispatcher(record, effClose, 0, 0, nullptr, 0.0f);
  }
  Plugin(const Plugin&) = delete;
  Plugin& operator=(const Plugin&) = delete;
  bool ok() const { return fx && editor && fx->presetStore(); }
  std::string name(int p) const {
    return std::string(fx->presetStore()[p].name, strnlen(fx->presetStore()[p].name, 24));
  }
};
