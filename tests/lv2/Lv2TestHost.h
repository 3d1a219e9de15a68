// A minimal LV2 host around the plug-in's own descriptor, linked into the
// test: a URID map, buffers for every port, an atom sequence the test fills
// and the state interface's store and retrieve.
#pragma once

#include <cstdint>
#include <cstring>
#include <map>
#include <string>
#include <vector>

#include "lv2/Lv2Ports.h"
#include "lv2/atom/forge.h"
#include "lv2/core/lv2.h"
#include "lv2/midi/midi.h"
#include "lv2/state/state.h"
#include "lv2/time/time.h"
#include "lv2/urid/urid.h"
#include "presets/FactoryPresets.h"

extern "C" const LV2_Descriptor* lv2_descriptor(uint32_t index);

class UridTable {
 public:
  LV2_URID id(const std::string& uri) {
    auto it = ids.find(uri);
    if (it != ids.end()) return it->second;
    const LV2_URID n = static_cast<LV2_URID>(ids.size() + 1);
    ids.emplace(uri, n);
    return n;
  }
  LV2_URID_Map map{this, [](LV2_URID_Map_Handle h, const char* uri) {
                     return static_cast<UridTable*>(h)->id(uri);
                   }};

 private:
  std::map<std::string, LV2_URID> ids;
};

class Lv2TestHost {
 public:
  static constexpr uint32_t kBlock = 256;
  static constexpr uint32_t kSequenceBytes = 8192;

  explicit Lv2TestHost(double rate = 48000.0, bool withMap = true) {
    descriptor = lv2_descriptor(0);
    mapFeature.URI = LV2_URID__map;
    mapFeature.data = &urids.map;
    features[0] = withMap ? &mapFeature : nullptr;
    features[1] = nullptr;
    handle = descriptor->instantiate(descriptor, rate, "/nonexistent/", features);
    if (!handle) return;
    for (int i = 0; i < kNumParams; ++i)
      controls[i] = korvalv2::exactPortValue(i, kFactoryPresets[0].values[i]);
    for (uint32_t p = 0; p < 4; ++p) descriptor->connect_port(handle, p, audio[p]);
    for (int i = 0; i < kNumParams; ++i)
      descriptor->connect_port(handle, korvalv2::kPortFirstControl + i, &controls[i]);
    lv2_atom_forge_init(&forge, &urids.map);
    // Mapped once: the map allocates, and run must be measured alone.
    midiEvent = urids.id(LV2_MIDI__MidiEvent);
    timePosition = urids.id(LV2_TIME__Position);
    timeBpm = urids.id(LV2_TIME__beatsPerMinute);
    timeBeat = urids.id(LV2_TIME__beat);
    timeSpeed = urids.id(LV2_TIME__speed);
    beginSequence();
    descriptor->connect_port(handle, korvalv2::kPortEvents, sequence.data());
    state =
        static_cast<const LV2_State_Interface*>(descriptor->extension_data(LV2_STATE__interface));
  }
  ~Lv2TestHost() {
    if (!handle) return;
    if (active) descriptor->deactivate(handle);
    descriptor->cleanup(handle);
  }
  Lv2TestHost(const Lv2TestHost&) = delete;
  Lv2TestHost& operator=(const Lv2TestHost&) = delete;

  void activate() {
    descriptor->activate(handle);
    active = true;
  }

  // An empty sequence; events are added with the forge until the next run.
  void beginSequence() {
    std::memset(sequence.data(), 0, sequence.size() * sizeof(uint64_t));
    lv2_atom_forge_set_buffer(&forge, reinterpret_cast<uint8_t*>(sequence.data()), kSequenceBytes);
    lv2_atom_forge_sequence_head(&forge, &sequenceFrame, 0);
  }
  void addMidi(int64_t frame, uint8_t b0, uint8_t b1, uint8_t b2) {
    const uint8_t bytes[3] = {b0, b1, b2};
    addMidiBytes(frame, bytes, 3);
  }
  void addMidiBytes(int64_t frame, const uint8_t* bytes, uint32_t size) {
    lv2_atom_forge_frame_time(&forge, frame);
    lv2_atom_forge_atom(&forge, size, midiEvent);
    lv2_atom_forge_write(&forge, bytes, size);
  }
  void addPosition(int64_t frame, float bpm, double beat, float speed = 1.0f) {
    LV2_Atom_Forge_Frame obj;
    lv2_atom_forge_frame_time(&forge, frame);
    lv2_atom_forge_object(&forge, &obj, 0, timePosition);
    lv2_atom_forge_key(&forge, timeBpm);
    lv2_atom_forge_float(&forge, bpm);
    lv2_atom_forge_key(&forge, timeBeat);
    lv2_atom_forge_double(&forge, beat);
    lv2_atom_forge_key(&forge, timeSpeed);
    lv2_atom_forge_float(&forge, speed);
    lv2_atom_forge_pop(&forge, &obj);
  }

  // One block of `in` (both channels); the sequence is emptied afterwards.
  // With in = NaN the inputs are left as the test set them.
  void run(float in = 0.0f, uint32_t frames = kBlock) {
    lv2_atom_forge_pop(&forge, &sequenceFrame);
    if (in == in)
      for (uint32_t k = 0; k < frames; ++k) audio[0][k] = audio[1][k] = in;
    descriptor->run(handle, frames);
    beginSequence();
  }

  // The state as the host stores it.
  struct Saved {
    std::vector<uint8_t> bytes;
    uint32_t type = 0, flags = 0;
    LV2_URID key = 0;
  };
  Saved save() {
    Saved s;
    state->save(
        handle,
        [](LV2_State_Handle h, uint32_t key, const void* value, size_t size, uint32_t type,
           uint32_t flags) {
          auto* out = static_cast<Saved*>(h);
          const auto* b = static_cast<const uint8_t*>(value);
          out->bytes.assign(b, b + size);
          out->type = type;
          out->flags = flags;
          out->key = key;
          return LV2_STATE_SUCCESS;
        },
        &s, 0, features);
    return s;
  }
  LV2_State_Status restore(const Saved& s) {
    return state->restore(
        handle,
        [](LV2_State_Handle h, uint32_t key, size_t* size, uint32_t* type,
           uint32_t* flags) -> const void* {
          auto* in = static_cast<const Saved*>(h);
          if (key != in->key || in->bytes.empty()) return nullptr;
          *size = in->bytes.size();
          *type = in->type;
          *flags = in->flags;
          return in->bytes.data();
        },
        const_cast<Saved*>(&s), 0, features);
  }

  UridTable urids;
  LV2_URID midiEvent = 0, timePosition = 0, timeBpm = 0, timeBeat = 0, timeSpeed = 0;
  LV2_Feature mapFeature{};
  const LV2_Feature* features[2] = {};
  const LV2_Descriptor* descriptor = nullptr;
  const LV2_State_Interface* state = nullptr;
  LV2_Handle handle = nullptr;
  bool active = false;
  float audio[4][kBlock] = {};
  float controls[kNumParams] = {};
  std::vector<uint64_t> sequence = std::vector<uint64_t>(kSequenceBytes / 8);
  LV2_Atom_Forge forge{};
  LV2_Atom_Forge_Frame sequenceFrame{};
};
