// One LV2 instance of Korva: the same effect class as the VST build, driven
// through a private host callback that answers time from the atom port's
// time:Position objects. Ports are the host's: a port value that changes is
// handed to the effect as if a VST host had automated the parameter.
// Threads: run on the audio thread; save may run beside it; everything else
// (instantiation, activation, restore) while nothing runs.
#pragma once

#include <atomic>
#include <cstdint>

#include "engine/VEK.h"
#include "lv2/Lv2Ports.h"
#include "lv2/Lv2Transport.h"
#include "lv2/Lv2Uris.h"
#include "lv2/core/lv2.h"
#include "lv2/state/state.h"

namespace korvalv2 {

class Lv2Korva {
 public:
  // Null (with the reason on stderr) when the host lacks urid:map, the
  // engine does not run at the sample rate or memory runs out.
  static Lv2Korva* create(double sampleRate, const LV2_Feature* const* features);
  ~Lv2Korva();
  Lv2Korva(const Lv2Korva&) = delete;
  Lv2Korva& operator=(const Lv2Korva&) = delete;

  void connect(uint32_t port, void* data);
  void activate();
  void deactivate();
  void run(uint32_t frames);

  LV2_State_Status save(LV2_State_Store_Function store, LV2_State_Handle handle);
  LV2_State_Status restore(LV2_State_Retrieve_Function retrieve, LV2_State_Handle handle);

  // The effect, for the editor reached through instance access.
  VEK& effect() { return *vek; }

  // Parameters (bit i for parameter i) whose values the host should get as
  // port writes: marked when the editor edits a value and when a preset is
  // selected, taken by the UI, which writes them on its own thread.
  uint32_t takePortsToReport() { return portsToReport.exchange(0, std::memory_order_acq_rel); }

  // Most MIDI events one block passes on; later ones in the block are dropped.
  static constexpr int kMaxMidiEvents = 512;

 private:
  Lv2Korva(const LV2_URID_Map* map, double sampleRate);
  static VstIntPtr hostCallback(AEffect* effect, VstInt32 opcode, VstInt32 index, VstIntPtr value,
                                void* ptr, float opt);
  void readEvents(uint32_t frames);
  void applyPorts();
  void forgetPortValues();

  Uris uris;
  double rate;
  VEK* vek = nullptr;
  Lv2Transport transport;

  const float* in[2] = {nullptr, nullptr};
  float* out[2] = {nullptr, nullptr};
  const LV2_Atom_Sequence* events = nullptr;
  const float* controls[kNumParams] = {};
  float lastPortValue[kNumParams];
  std::atomic<uint32_t> portsToReport{0};

  // A VstEvents list with room for a block's MIDI, filled without allocating.
  struct EventList {
    VstInt32 numEvents;
    VstIntPtr reserved;
    VstEvent* events[kMaxMidiEvents];
  };
  EventList eventList{};
  VstMidiEvent midi[kMaxMidiEvents];
};

}  // namespace korvalv2
