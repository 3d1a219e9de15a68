// An LV2 plug-in as the validator drives it: through the raw LV2 C API (the
// descriptor from the bundle's own library), with the features a plain host
// gives (urid:map and unmap, options with the block lengths and the sample
// rate, bounded block length, log, worker:schedule). Every port is connected to a buffer that
// lies against a guard page (guarded.h), as are the atom sequences and the
// state values handed to the plug-in; every call into it turns an escaping
// exception into PluginThrew naming the call. liblilv reads the Turtle only.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "lv2/core/lv2.h"
#include "lv2/log/log.h"
#include "lv2/state/state.h"
#include "lv2/urid/urid.h"
#include "lv2/worker/worker.h"
#include "tools/base/cli.h"
#include "tools/validate/guarded.h"
#include "tools/validate/plugin_call.h"
#include "tools/validate/rt_monitor.h"

typedef struct LilvWorldImpl LilvWorld;
typedef struct LilvPluginImpl LilvPlugin;

namespace validate::lv2 {

struct Port {
  enum class Type { Audio, Control, Atom, Cv, Other };
  uint32_t index = 0;
  std::string symbol, name;
  Type type = Type::Other;
  bool input = false;
  bool hasMinimum = false, hasMaximum = false, hasDefault = false;
  float minimum = 0, maximum = 1, defaultValue = 0;  // filled in when absent
  bool integer = false, toggled = false, enumeration = false, logarithmic = false;
  bool optional = false;            // lv2:connectionOptional
  bool midi = false, time = false;  // atom ports: what they take
  std::string unit;
  std::vector<float> scalePoints;
  std::string describe() const;  // "control input 3 (feedback)"
};

struct Preset {
  std::string uri, label;
};

struct Ui {
  std::string uri, type, binary, bundle;  // binary and bundle: paths
};

// What the bundle says of a plug-in; one per process.
class Plugin {
 public:
  // Throws HostError(kExitPlugin) when the URI names no plug-in on LV2_PATH
  // (made absolute) or it needs a feature this host cannot give.
  static const Plugin& find(const std::string& uri);
  Plugin() = default;
  ~Plugin();
  Plugin(const Plugin&) = delete;
  Plugin& operator=(const Plugin&) = delete;

  std::string uri, name, bundlePath, libraryPath, searchPath;
  std::vector<Port> ports;
  std::vector<uint32_t> audioIns, audioOuts, controlIns, controlOuts, atomIns, atomOuts;
  std::vector<std::string> required, optional, extensions;
  std::vector<Ui> uis;
  bool inPlaceBroken = false, hardRTCapable = false, threadSafeRestore = false;
  LilvWorld* world = nullptr;
  const LilvPlugin* lilv = nullptr;

  // The descriptor from the plug-in's library (dlopen on first use).
  const LV2_Descriptor* descriptor() const;
  std::vector<Preset> presets() const;
  bool declares(const char* feature) const;  // required or optional
  const Port& port(uint32_t index) const { return ports[index]; }

  // Features this host gives, and whether `feature` is one of them.
  static bool gives(const std::string& feature);
};

// Process-wide urid:map, as hosts keep one for all instances.
LV2_URID mapUri(const char* uri);
const char* unmapUri(LV2_URID id);

// instantiate returned NULL: the plug-in refuses this rate or these features.
class Refused : public khost::HostError {
 public:
  explicit Refused(const std::string& why) : khost::HostError(khost::kExitPlugin, why) {}
};

struct Position {
  double bpm = 120, beat = 0, barBeat = 0, beatsPerBar = 4, speed = 1;
  int64_t frame = 0, bar = 0;
  int beatUnit = 4;
};

// Worker requests or responses: fixed slots filled by one thread and emptied
// by one thread at a time, so the audio side neither allocates nor locks.
class WorkRing {
 public:
  static constexpr uint32_t kSlots = 16, kSlotBytes = 8192;
  WorkRing() : data_(size_t{kSlots} * kSlotBytes), sizes_(kSlots) {}
  bool push(uint32_t size, const void* data);  // false: too big, or full
  // The oldest entry, valid until pop(); false when empty.
  bool front(uint32_t* size, const void** data) const;
  void pop();

 private:
  std::vector<uint8_t> data_;
  std::vector<uint32_t> sizes_;
  std::atomic<uint32_t> read_{0}, written_{0};
};

class Instance {
 public:
  Instance(const std::string& uri, double rate = 44100, int32_t maxBlock = 4096);
  ~Instance();
  Instance(const Instance&) = delete;
  Instance& operator=(const Instance&) = delete;

  const Plugin& plugin() const { return plugin_; }
  LV2_Handle handle() const { return handle_; }
  double rate() const { return rate_; }
  int32_t maxBlock() const { return maxBlock_; }
  const LV2_Feature* const* features() const { return features_.data(); }

  void activate();
  void deactivate();
  bool active() const { return active_; }

  // Input control ports, in port order: k is their index among them.
  size_t controls() const { return plugin_.controlIns.size(); }
  float control(size_t k) const;
  void setControl(size_t k, float value);
  // 0..1 across the port's range (integer, toggled and enumerated ports to
  // their nearest allowed value).
  void setNormalized(size_t k, float value);
  void setDefaults();
  std::vector<float> controlValues() const;
  // Output control ports' values, in port order.
  std::vector<float> controlOutputs() const;
  // By symbol, for presets; false when there is no such input.
  bool setBySymbol(const std::string& symbol, float value);

  // Events sent with the next run on every atom input that takes them.
  void midi(uint32_t frame, const std::vector<uint8_t>& bytes);
  void position(uint32_t frame, const Position& p);
  // The next run's input sequence exactly as given (header included), in a
  // buffer of exactly that size: malformed sequences.
  void rawSequence(const std::vector<uint8_t>& atom);

  // Runs `frames` (<= maxBlock) with `signal` on every audio input (null:
  // silence). inPlace connects each output to the input of the same rank.
  // With a worker, as hosts without a worker thread do: the responses queued
  // so far go to work_response first, end_run follows run (all three
  // watched as the audio thread), then the work run scheduled goes to work,
  // unwatched.
  void run(const float* signal, uint32_t frames, bool inPlace = false);
  // What the last run's audio calls did, and which of them did it first.
  struct AudioCounts {
    rt::Counts counts;
    const char* allocatedIn = nullptr;
    const char* blockedIn = nullptr;
  };
  const AudioCounts& lastAudio() const { return audio_; }
  // worker:interface with work and work_response.
  bool hasWorker() const { return worker_ != nullptr; }
  const std::vector<std::vector<float>>& outputs() const { return outs_; }

  struct Property {
    uint32_t key = 0, type = 0, flags = 0;
    std::vector<uint8_t> value;
  };
  using State = std::vector<Property>;
  bool hasState() const { return state_ != nullptr; }
  const LV2_State_Interface* stateInterface() const { return state_; }
  LV2_State_Status save(State& out);
  // Values the plug-in asks for lie against guard pages while the call runs.
  // `asked` counts the properties it asked for.
  LV2_State_Status restore(const State& in, int* asked = nullptr);

  const void* extensionData(const char* uri);

  // The host's cleanup (deactivate first when active); the destructor does it
  // too. An instance never activated is activated and deactivated first, as
  // hosts do, so that only the check meant for it tries cleanupAtOnce.
  void cleanup();
  void cleanupAtOnce();

 private:
  void connectAudio(uint32_t frames, bool inPlace);
  void buildSequences();
  void strays(const GuardedArea& area);
  template <typename F>
  void audioCall(const char* name, F&& body);
  void doWork(uint32_t size, const void* data);
  void runScheduledWork();

  const Plugin& plugin_;
  const LV2_Descriptor* descriptor_ = nullptr;
  LV2_Handle handle_ = nullptr;
  double rate_;
  int32_t maxBlock_, minBlock_ = 1, sequenceSize_ = 65536;
  float rateOption_;
  bool active_ = false;
  bool everActive_ = false;

  LV2_URID_Map map_;
  LV2_URID_Unmap unmap_;
  std::vector<uint8_t> options_;  // LV2_Options_Option array
  std::vector<LV2_Feature> featureStore_;
  std::vector<const LV2_Feature*> features_;
  const LV2_State_Interface* state_ = nullptr;

  // One area per port; audio ports are placed anew per run.
  std::vector<std::unique_ptr<GuardedArea>> areas_;
  std::vector<float*> controlPtr_;  // by port index, null for others
  std::vector<std::vector<float>> outs_;
  std::vector<uint8_t> events_;  // forged event bodies for the next run
  std::vector<uint8_t> raw_;
  bool haveRaw_ = false;
  std::vector<std::unique_ptr<GuardedArea>> retrieved_;
  size_t retrievedUsed_ = 0;
  const State* restoring_ = nullptr;
  int asked_ = 0;

  AudioCounts audio_;
  const LV2_Worker_Interface* worker_ = nullptr;
  LV2_Worker_Schedule schedule_;
  WorkRing requests_, responses_;
  std::mutex workMutex_;  // work is never called on two threads at once

  static LV2_Worker_Status scheduleWork(LV2_Worker_Schedule_Handle h, uint32_t size,
                                        const void* data);
  static LV2_Worker_Status respond(LV2_Worker_Respond_Handle h, uint32_t size, const void* data);

  static const void* retrieve(LV2_State_Handle h, uint32_t key, size_t* size, uint32_t* type,
                              uint32_t* flags);
  static LV2_State_Status store(LV2_State_Handle h, uint32_t key, const void* value, size_t size,
                                uint32_t type, uint32_t flags);
};

}  // namespace validate::lv2
