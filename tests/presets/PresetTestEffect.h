// A small effect on top of the preset system, standing in for the plug-in
// class: it forwards sound parameters to the preset system unless a preset is
// being applied (as the plug-in class does), keeps the raw values and records
// every setParameter call.
#pragma once

#include <cstdint>
#include <cstring>
#include <vector>

#include "presets/CPresetSystemEffect.h"

struct ParameterCall {
  VstInt32 index;
  float value;
};

class PresetTestEffect : public CPresetSystemEffect {
 public:
  explicit PresetTestEffect(audioMasterCallback audioMaster = nullptr)
      : CPresetSystemEffect(audioMaster) {
    setUniqueID(kPluginId);  // as the plug-in class does
  }

  void processReplacing(float**, float**, VstInt32) override {}

  void setParameter(VstInt32 index, float value) override {
    if (!isLoadingPreset()) CPresetSystemEffect::setParameter(index, value);
    if (index >= 0 && index < kNumParams) raw[index] = value;
    calls.push_back({index, value});
  }
  float getParameter(VstInt32 index) override {
    if (index >= 0 && index < kNumParams) return raw[index];
    return CPresetSystemEffect::getParameter(index);
  }

  // Raw table entries, without the masking of the public getters.
  VstInt32 rawParameterController(int p) const { return parameterController[p].load(); }
  VstInt32 rawControllerParameter(int c) const { return controllerParameter[c].load(); }
  float rawAssignmentValue(int p) const { return assignmentValues[p].load(); }

  // Stand-ins for failed allocations at construction.
  void dropStore() {
    delete[] presets;
    presets = nullptr;
  }
  void dropTables() {
    delete[] parameterController;
    parameterController = nullptr;
    delete[] controllerParameter;
    controllerParameter = nullptr;
  }
  void dropChunkBuffer() {
    delete[] chunkBuffer;
    chunkBuffer = nullptr;
  }

  float raw[kNumParams] = {};
  std::vector<ParameterCall> calls;
};

// Everything a refused input must leave alone, compared bit for bit.
struct PresetSnapshot {
  std::vector<unsigned char> store;
  VstInt32 current = 0;
  std::vector<uint32_t> assignment;
  std::vector<VstInt32> parameterController;
  std::vector<VstInt32> controllerParameter;
  std::vector<uint32_t> raw;
  bool learn = false, forget = false;
  VstInt32 learnTarget = 0;
  size_t callCount = 0;

  static PresetSnapshot of(PresetTestEffect& e) {
    PresetSnapshot s;
    const auto* bytes = reinterpret_cast<const unsigned char*>(e.presetStore());
    s.store.assign(bytes, bytes + sizeof(PresetRecord) * kNumPresets);
    s.current = e.getCurrentPreset();
    for (int i = 0; i < kNumParams; ++i) {
      uint32_t bits;
      float v = e.rawAssignmentValue(i);
      std::memcpy(&bits, &v, 4);
      s.assignment.push_back(bits);
      std::memcpy(&bits, &e.raw[i], 4);
      s.raw.push_back(bits);
      s.parameterController.push_back(e.rawParameterController(i));
    }
    for (int c = 0; c < kNumControllers; ++c)
      s.controllerParameter.push_back(e.rawControllerParameter(c));
    s.learn = e.isLearnActive();
    s.forget = e.isForgetActive();
    s.learnTarget = e.getLearnTarget();
    s.callCount = e.calls.size();
    return s;
  }
  bool operator==(const PresetSnapshot& o) const {
    return store == o.store && current == o.current && assignment == o.assignment &&
           parameterController == o.parameterController &&
           controllerParameter == o.controllerParameter && raw == o.raw && learn == o.learn &&
           forget == o.forget && learnTarget == o.learnTarget && callCount == o.callCount;
  }
};

// One control-change (or other) MIDI message as the host delivers it.
inline VstMidiEvent midiEvent(int status, int data1, int data2) {
  VstMidiEvent m{};
  m.type = kVstMidiType;
  m.byteSize = sizeof(VstMidiEvent);
  m.midiData[0] = static_cast<char>(status);
  m.midiData[1] = static_cast<char>(data1);
  m.midiData[2] = static_cast<char>(data2);
  return m;
}

// An event list of any length (VstEvents declares two slots).
class EventList {
 public:
  void add(const VstMidiEvent& m) { midi.push_back(m); }
  VstEvents* get() {
    storage.assign(sizeof(VstEvents) + sizeof(VstEvent*) * (midi.size() + 2), 0);
    auto* list = reinterpret_cast<VstEvents*>(storage.data());
    list->numEvents = static_cast<VstInt32>(midi.size());
    VstEvent** slots = list->events;
    for (size_t i = 0; i < midi.size(); ++i) slots[i] = reinterpret_cast<VstEvent*>(&midi[i]);
    return list;
  }
  std::vector<VstMidiEvent> midi;

 private:
  std::vector<unsigned char> storage;
};

inline VstInt32 sendEvents(CPresetSystemEffect& e, std::initializer_list<VstMidiEvent> events) {
  EventList list;
  for (const auto& m : events) list.add(m);
  return e.processEvents(list.get());
}
