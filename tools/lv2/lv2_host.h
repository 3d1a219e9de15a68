// LV2 plug-ins through liblilv: a plug-in found by URI on LV2_PATH, one
// instance with the features a plain host gives (urid:map and unmap, options,
// bounded block length, log), its ports connected to buffers of our own, an
// atom sequence per block carrying time:Position and MIDI, presets and state.
// Knows no plug-in in particular.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "tools/base/midi.h"

struct LilvStateImpl;  // lilv's LilvState
struct LilvWorldImpl;  // lilv's LilvWorld

namespace khost {

// True when a command-line plug-in argument names an LV2 URI rather than a
// file: it has a URI scheme and is not an existing path.
bool isLv2Uri(const std::string& arg);

// Loads every bundle on LV2_PATH into `world`, each folder made absolute
// (lilv crashes on a relative one), or on lilv's default path; returns the
// path searched, for messages.
std::string loadLv2Bundles(LilvWorldImpl* world);
// LV2_PATH (or lilv's default path) with every folder absolute.
std::string absoluteLv2Path();

struct Lv2Transport {
  bool rolling = true;  // false: no time:Position is sent
  double tempo = 120.0;
  double ppqStart = 0.0;  // quarter notes at frame 0, advancing with the tempo
};

struct Lv2Control {
  uint32_t index = 0;
  std::string symbol, name;
  bool output = false;
  float minimum = 0, maximum = 1, defaultValue = 0;
  float value = 0;
};

class Lv2Host {
 public:
  // Finds URI on LV2_PATH (or the default path) and instantiates it. Throws
  // HostError(kExitPlugin) when there is no such plug-in, a required feature
  // is missing or instantiation fails.
  Lv2Host(const std::string& uri, double sampleRate, int32_t maxBlock);
  ~Lv2Host();
  Lv2Host(const Lv2Host&) = delete;
  Lv2Host& operator=(const Lv2Host&) = delete;

  const std::string& uri() const { return uri_; }
  std::string name() const;
  std::string author() const;
  std::string className() const;
  std::vector<std::string> requiredFeatures() const;
  std::vector<std::string> optionalFeatures() const;
  std::vector<std::string> extensionData() const;
  std::vector<std::string> uis() const;
  int audioInputs() const { return static_cast<int>(audioIn_.size()); }
  int audioOutputs() const { return static_cast<int>(audioOut_.size()); }
  std::vector<std::string> atomPorts() const;  // "symbol (input|output)"

  std::vector<Lv2Control>& controls() { return controls_; }
  // The input control a user means: symbol, then name (exact, then ignoring
  // case), then an index into controls(). Usage error when there is none.
  Lv2Control& findControl(const std::string& what);

  // Preset URIs and labels.
  struct Preset {
    std::string uri, label;
  };
  std::vector<Preset> presets();
  // By URI or label; the port values (and any state) the preset holds.
  void applyPreset(const std::string& uriOrLabel);

  // Whole state (port values and the plug-in's own state) as a lilv state
  // folder with state.ttl, and back. A state made for another plug-in, or
  // one the plug-in's restore refuses, throws HostError(kExitIo) with the
  // port values left as they were.
  void saveState(const std::string& directory);
  void loadState(const std::string& directory);

  void activate();
  void deactivate();

  // As BlockProcessor::run: block by block with silence past the input, the
  // transport's position for each block and the control changes in it.
  void run(const float* inL, const float* inR, int64_t inFrames, int64_t frames, float* outL,
           float* outR, const std::vector<MidiControlChange>& events,
           const Lv2Transport& transport);

 private:
  struct Impl;
  void restore(const LilvStateImpl* state, const std::string& source);
  std::unique_ptr<Impl> impl_;
  std::string uri_;
  std::vector<Lv2Control> controls_;
  std::vector<uint32_t> audioIn_, audioOut_;
};

// "NAME=VALUE" from --param: the control port (Lv2Host::findControl) gets
// VALUE, which must lie in the port's range. Usage error otherwise.
void applyControlSetting(Lv2Host& host, const std::string& text);

}  // namespace khost
