// One LV2 instance of Korva: the same effect class as the VST build, driven
// through a private host callback that answers time from the atom port's
// time:Position objects. Ports are the host's: a port value that changes is
// handed to the effect as if a VST host had automated the parameter.
// Threads: run on the audio thread; save may run beside it; everything else
// (instantiation, activation, restore) while nothing runs. The UI's calls
// (marked below) come from the host's UI thread at any time.
//
// Lifetime: the host's instance and every UI given it through instance access
// share it; the host's cleanup and each UI's end release one hold each, and
// the last one deletes it. A host may free the instance before its UI, and the
// editor, which the effect owns, must outlive the UI that shows it.
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
  Lv2Korva(const Lv2Korva&) = delete;
  Lv2Korva& operator=(const Lv2Korva&) = delete;

  // The host's cleanup: the instance is gone for the host; a UI still showing
  // it keeps it until the UI ends.
  void cleanup();
  // A UI's hold on the instance (UI thread).
  void retain();
  void release();
  bool cleanedUp() const { return hostGone.load(std::memory_order_acquire); }

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

  // The effect's editor shows in one UI at a time: the first UI claims it,
  // later ones keep an effect of their own until it is given back (UI thread).
  bool claimEditor() { return !editorClaimed.exchange(true, std::memory_order_acq_rel); }
  void giveBackEditor() { editorClaimed.store(false, std::memory_order_release); }

  // Blocks run so far: a UI that saw no block since a port event knows the
  // plug-in did not hear that port value.
  uint32_t blocksRun() const { return blocks.load(std::memory_order_acquire); }
  // A port value the host reported to the UI while the plug-in did not run,
  // taken as run() takes the port's (UI thread).
  void takeReportedPortValue(int parameter, float value);

  // Most MIDI events one block passes on; later ones in the block are dropped.
  static constexpr int kMaxMidiEvents = 512;

 private:
  Lv2Korva(const LV2_URID_Map* map, double sampleRate);
  ~Lv2Korva();
  static VstIntPtr hostCallback(AEffect* effect, VstInt32 opcode, VstInt32 index, VstIntPtr value,
                                void* ptr, float opt);
  // A state without the whole chunk: a factory preset of the bundle, which
  // selects one of the stored presets.
  LV2_State_Status restorePreset(LV2_State_Retrieve_Function retrieve, LV2_State_Handle handle);
  static LV2_State_Status refuse(LV2_State_Status status, const char* why);
  void readEvents(uint32_t frames);
  void applyPorts();
  // True when the value moved a switch that frees or holds DlyTime.
  bool takePortValue(int parameter, float value);
  // While sync or hold is on the effect keeps DlyTime; once they are off the
  // delay follows the port again, as the host shows it.
  void followDelayPort();
  void forgetPortValues();

  Uris uris;
  double rate;
  VEK* vek = nullptr;
  Lv2Transport transport;

  const float* in[2] = {nullptr, nullptr};
  float* out[2] = {nullptr, nullptr};
  const LV2_Atom_Sequence* events = nullptr;
  const float* controls[kNumParams] = {};
  // The port values last taken, by run() or from the UI; NaN: none yet.
  std::atomic<float> lastPortValue[kNumParams];
  std::atomic<uint32_t> portsToReport{0};
  std::atomic<uint32_t> blocks{0};  // written by the audio thread only
  std::atomic<int> holds{1};        // the host's and the UIs'
  std::atomic<bool> hostGone{false};
  std::atomic<bool> editorClaimed{false};

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
