// One plug-in instance as the validator drives it: the host context, the
// loaded record, audio buffers for any pin count, in-place or separate
// processing, MIDI event lists, and text requests with guard bytes.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "host/vst_abi.h"
#include "tools/vst/host_context.h"
#include "tools/vst/plugin.h"

namespace validate {

// A text request's answer. The plug-in writes into a buffer whose bytes past
// the limit (and its terminator) are a known pattern; any of them changed is
// an overrun even when the text itself looks short.
struct TextAnswer {
  std::string text;
  size_t length = 0;
  bool overrun = false;
  size_t touched = 0;  // one past the last byte the plug-in changed
  bool ok(size_t limit) const { return !overrun && length <= limit; }
  std::string describe(size_t limit) const;  // "wrote 40 characters (limit 8): \"...\""
};

class Instance {
 public:
  explicit Instance(const std::string& path);
  ~Instance();

  khost::Plugin& plugin() { return *plugin_; }
  khost::HostContext& host() { return *host_; }
  AEffect* effect() { return plugin_->effect(); }
  VstIntPtr dispatch(VstInt32 opcode, VstInt32 index = 0, VstIntPtr value = 0, void* ptr = nullptr,
                     float opt = 0.0f) {
    return plugin_->dispatch(opcode, index, value, ptr, opt);
  }

  int numInputs() const { return plugin_->numInputs(); }
  int numOutputs() const { return plugin_->numOutputs(); }
  bool hasChunks() const { return (plugin_->flags() & effFlagsProgramChunks) != 0; }
  bool hasEditor() const { return (plugin_->flags() & effFlagsHasEditor) != 0; }

  // Sample rate and block size (the declared maximum), then resume.
  void start(double rate, int32_t maxBlock);
  void stop();
  bool running() const { return running_; }

  // Processes `frames` frames (<= the declared maximum). in[c] is the input
  // of pin c (a null pointer is silence); out[c] receives output pin c. With
  // inPlace the plug-in gets the same buffers for inputs and outputs.
  void process(const std::vector<const float*>& in, const std::vector<float*>& out, int32_t frames,
               bool inPlace = false);
  // The same with one signal on every input pin, outputs kept in outputs().
  void processSignal(const float* signal, int32_t frames, bool inPlace = false);
  const std::vector<std::vector<float>>& outputs() const { return outs_; }

  // MIDI events passed through effProcessEvents before the next process call.
  void sendMidi(const std::vector<VstMidiEvent>& events);

  TextAnswer text(VstInt32 opcode, VstInt32 index, size_t limit, VstIntPtr value = 0);

  std::vector<uint8_t> chunk(bool program);  // empty when there is none
  VstIntPtr setChunk(const std::vector<uint8_t>& bytes, bool program);
  std::vector<float> parameters();

  void close();
  void closeWithoutSuspend();

 private:
  std::unique_ptr<khost::HostContext> host_;
  std::unique_ptr<khost::Plugin> plugin_;
  bool running_ = false;
  int32_t maxBlock_ = 0;
  std::vector<std::vector<float>> ins_, outs_;
  std::vector<float*> inPtrs_, outPtrs_;
  std::vector<uint8_t> eventList_;
};

// Number of frames of output that are not finite or above `bound`; the first
// such frame's index and value go to where/value.
long badSamples(const std::vector<std::vector<float>>& channels, int32_t frames, float bound,
                long* where = nullptr, float* value = nullptr);

std::string describeFloat(double v);  // "nan", "inf", or a short number

}  // namespace validate
