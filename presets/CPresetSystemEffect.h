// The preset system between the extended effect and the plug-in class: the
// bank of 17 presets, the state chunk and the MIDI controller assignment.
// Threads: host program and chunk calls and the editor run on the UI thread,
// processEvents on the host's processing thread, parameter changes on either;
// shared table entries are atomics, each written whole.
#pragma once

#include <atomic>
#include <cstdint>

#include "host/AudioEffectX.h"
#include "presets/PresetEditorInterface.h"
#include "presets/PresetRecord.h"

constexpr int kChunkSize = 1736;
constexpr int kNumControllers = 128;
constexpr VstInt32 kNoAssignment = 999;
constexpr VstInt32 kPluginId = vstFourCC('K', 'V', 'R', 'A');
constexpr uint32_t kChunkMagic = 0x01000000u;
constexpr int kAssignmentSteps = 129;  // controllers 0..127 and "none"

// Controller number for an assignment value: min(floor(129 v), 128), 128 (none)
// given as the 999 marker.
VstInt32 assignmentController(float value);
// Assignment value of a controller number, (c + 0.5) / 129; the 999 marker gives
// 7.7480621, which reads back as none. This is what states and files store.
float assignmentValue(VstInt32 controller);
// What a host reads for an assignment: the middle of the controller's step,
// and 1 for none. Both stay what they are when a host clamps them to 0..1 or
// prints them with six or seven digits and sets them again.
float assignmentHostValue(VstInt32 controller);

// What became of a state chunk handed to the effect.
enum class ChunkVerdict {
  kTaken,
  kUnusable,        // no store, no data or not 1736 bytes
  kForeign,         // another plug-in's identifier
  kOtherLayout,     // not our magic word
  kWrongCount,      // not 17 presets
  kValueOutOfRange  // a sound value outside 0..1 or no number, or an assignment no number
};
// The reason in a few words, for a message.
const char* describeChunkVerdict(ChunkVerdict verdict);

class CPresetSystemEffect : public AudioEffectX {
 public:
  explicit CPresetSystemEffect(audioMasterCallback audioMaster);
  ~CPresetSystemEffect() override;

  // Preset-system operations, in slot order.
  virtual VstInt32 getCurrentPreset();
  virtual void selectPreset(VstInt32 index);
  virtual void renameCurrentPreset(const char* name);
  virtual void assignController(VstInt32 parameter, VstInt32 controller);
  virtual void unassignParameter(VstInt32 parameter);
  virtual void unassignController(VstInt32 controller);
  virtual VstInt32 getParameterController(VstInt32 parameter);
  virtual VstInt32 getControllerParameter(VstInt32 controller);
  virtual void startLearn();
  virtual void stopLearn();
  virtual void setLearnTarget(VstInt32 parameter);
  virtual void startForget();
  virtual void stopForget();
  virtual VstInt32 getPluginId();
  virtual void loadDefaults();
  virtual void fillFactoryPresets();
  virtual void resetControllerMap();

  // Host interface.
  void resume() override;
  void setParameter(VstInt32 index, float value) override;
  float getParameter(VstInt32 index) override;
  VstInt32 getProgram() override { return 0; }
  void setProgram(VstInt32 /*program*/) override {}
  void setProgramName(char* name) override;
  void getProgramName(char* name) override;
  VstInt32 getChunk(void** data, bool isPreset = false) override;
  // Answers 0 for a block taken and for one of another layout (wrong magic),
  // -1 for every other refusal; restoreChunk tells them apart.
  VstInt32 setChunk(void* data, VstInt32 byteSize, bool isPreset = false) override;
  // Restores the whole state from a chunk, or changes nothing and says why.
  ChunkVerdict restoreChunk(const void* data, VstInt32 byteSize);
  bool getProgramNameIndexed(VstInt32 category, VstInt32 index, char* text) override;
  VstInt32 processEvents(VstEvents* events) override;
  VstInt32 canDo(char* text) override;

  // Store access for the editor's record conversions; null when the store
  // could not be allocated.
  PresetRecord* presetStore() { return presets; }
  // False when the controller tables could not be allocated.
  bool hasControllerTables() const { return hasTables(); }
  bool isLoadingPreset() const { return loadingPreset.load(std::memory_order_relaxed); }
  // The assignment value states and files store for sound parameter i (what
  // was restored or set, as long as it names the same controller).
  float storedAssignmentValue(VstInt32 parameter) const;
  bool isLearnActive() const { return learnActive.load(std::memory_order_relaxed); }
  bool isForgetActive() const { return forgetActive.load(std::memory_order_relaxed); }
  VstInt32 getLearnTarget() const { return learnTarget.load(std::memory_order_relaxed); }
  // Counts the changes of the stored names and of the current preset, on
  // whichever thread and by whomever they were made. The editor's strip
  // compares it at idle and shows the store again when it moved.
  uint32_t getStateGeneration() const { return stateGeneration.load(std::memory_order_acquire); }

  // The editor registers itself here while it exists; clearing names the
  // editor that leaves, so a newer one stays.
  void setPresetEditor(PresetEditorInterface* e) {
    presetEditorLink.store(e, std::memory_order_release);
  }
  void clearPresetEditor(PresetEditorInterface* e) {
    presetEditorLink.compare_exchange_strong(e, nullptr, std::memory_order_acq_rel);
  }

 protected:
  // The preset system's editor; null when there is none.
  PresetEditorInterface* presetEditor() { return presetEditorLink.load(std::memory_order_acquire); }

  PresetRecord* presets = nullptr;
  std::atomic<VstInt32> currentPreset{0};
  unsigned char* chunkBuffer = nullptr;
  std::atomic<VstInt32>* parameterController = nullptr;  // 18 entries
  std::atomic<VstInt32>* controllerParameter = nullptr;  // 128 entries
  std::atomic<bool> learnActive{false};
  std::atomic<VstInt32> learnTarget{kNoAssignment};
  std::atomic<bool> forgetActive{false};
  std::atomic<bool> loadingPreset{false};
  std::atomic<float> assignmentValues[kNumAssignmentParams];
  std::atomic<uint32_t> stateGeneration{0};
  std::atomic<PresetEditorInterface*> presetEditorLink{nullptr};

  // Sets a selected preset's 18 values, in index order unless the effect's
  // parameters depend on each other's order.
  virtual void applyPresetValues(const float* values);
  // Puts the value the effect actually took in place of the one just recorded
  // for a sound parameter, so a saved state restores what is heard.
  void recordTakenValue(VstInt32 index, float value);
  // True when a host sets a sound parameter to what it read of it, give or
  // take the rounding of six printed digits, or, while the effect keeps the
  // parameter where it is, to what the current preset holds: such a value
  // changes nothing, so a state restored and written back by the host (or a
  // host preset's own port values) leaves the state as it was.
  bool isHostEcho(VstInt32 index, float value);
  // True while the effect keeps a sound parameter at a value of its own
  // whatever is set (a synced or held delay); the class with the engine knows.
  virtual bool keepsOwnValue(VstInt32 /*index*/) { return false; }

  // After the names or the current preset changed (the change is complete).
  void stateChanged() { stateGeneration.fetch_add(1, std::memory_order_acq_rel); }

 private:
  bool hasTables() const { return parameterController && controllerParameter; }
  // Table edits that keep both tables one-to-one and assignmentValues in step
  // with them, so that a learned assignment is saved with the state.
  void clearParameterEntry(VstInt32 parameter);
  void clearControllerEntry(VstInt32 controller);
  void linkControllerToParameter(VstInt32 parameter, VstInt32 controller);
  // Applies one assignment value as parameter 18 + parameter does.
  void applyAssignmentValue(VstInt32 parameter, float value);
  // Reads the current preset's value while another thread may store into it.
  float storedValue(VstInt32 preset, VstInt32 parameter) const;
  void storeValue(VstInt32 preset, VstInt32 parameter, float value);
  // Stores a name by the 24-byte rule: zero-filled, no terminator at 24 bytes.
  void storeName(VstInt32 preset, const char* name);
  void copyName(VstInt32 preset, char* text) const;
};
