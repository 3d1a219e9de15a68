// One plug-in instance as the validator drives it: the host context, the
// loaded record, audio buffers for any pin count, in-place or separate
// processing, MIDI event lists, and text requests with guard bytes. Every
// buffer the plug-in is given lies against a guard page (guarded.h), and
// every call into it turns an escaping exception into PluginThrew.
#pragma once

#include <cstdint>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "host/vst_abi.h"
#include "tools/validate/guarded.h"
#include "tools/validate/plugin_call.h"
#include "tools/validate/signals.h"
#include "tools/vst/host_context.h"
#include "tools/vst/plugin.h"

namespace validate {

class Check;

// "effSetChunk", or "dispatcher opcode 99"; the label is a static text
// ("the dispatcher" for opcodes it does not know).
std::string opcodeName(VstInt32 opcode);
const char* opcodeLabel(VstInt32 opcode);

// A text request's answer. The plug-in writes into a buffer whose bytes past
// the limit (and its terminator) are a known pattern; any of them changed is
// an overrun even when the text itself looks short, unless they are zeros
// within the first 64 bytes (padding, which hosts' buffers hold).
struct TextAnswer {
  std::string text;
  size_t length = 0;
  bool overrun = false;
  bool padded = false;  // only zeros written past the terminator, within 64 bytes
  size_t touched = 0;   // one past the last byte the plug-in changed
  bool ok(size_t limit) const { return !overrun && length <= limit; }
  std::string describe(size_t limit) const;  // "wrote 40 characters (limit 8): \"...\""
};

// Reports a text answer to `c`: a FAIL (text) when it is too long or wrote
// past its limit, a warning (padding) for zeros within 64 bytes. True when
// the text is within its limit.
bool judgeText(Check& c, const TextAnswer& a, size_t limit, const std::string& call);

class Instance {
 public:
  explicit Instance(const std::string& path);
  ~Instance();

  khost::Plugin& plugin() { return *plugin_; }
  khost::HostContext& host() { return *host_; }
  AEffect* effect() { return plugin_->effect(); }
  VstIntPtr dispatch(VstInt32 opcode, VstInt32 index = 0, VstIntPtr value = 0, void* ptr = nullptr,
                     float opt = 0.0f);
  // A call whose ptr is a text for the plug-in to read (effCanDo, effSetProgramName),
  // placed against a guard page with its terminator.
  VstIntPtr dispatchText(VstInt32 opcode, VstInt32 index, const std::string& text);

  float getParameter(int index);
  void setParameter(int index, float value);

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
  // Writes the plug-in made around a buffer, reported to the running check.
  void strays(const GuardedArea& area);

  std::unique_ptr<khost::HostContext> host_;
  std::unique_ptr<khost::Plugin> plugin_;
  bool running_ = false;
  int32_t maxBlock_ = 0;
  std::vector<std::vector<float>> outs_;
  std::vector<std::unique_ptr<GuardedArea>> inAreas_, outAreas_;
  std::vector<float*> inPtrs_, outPtrs_;
  GuardedArea textArea_, chunkArea_, eventArea_, listArea_;
};

}  // namespace validate
