#include "tools/validate/instance.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "tools/base/cli.h"
#include "tools/validate/check.h"
#include "tools/validate/rt_monitor.h"

namespace validate {

namespace {

constexpr size_t kTextBuffer = 1024;
constexpr size_t kPaddingReach = 64;
constexpr unsigned char kGuard = 0xA5;

}  // namespace

const char* opcodeLabel(VstInt32 opcode) {
  static const char* const names[] = {"effOpen",
                                      "effClose",
                                      "effSetProgram",
                                      "effGetProgram",
                                      "effSetProgramName",
                                      "effGetProgramName",
                                      "effGetParamLabel",
                                      "effGetParamDisplay",
                                      "effGetParamName",
                                      "effGetVu",
                                      "effSetSampleRate",
                                      "effSetBlockSize",
                                      "effMainsChanged",
                                      "effEditGetRect",
                                      "effEditOpen",
                                      "effEditClose",
                                      "effEditDraw",
                                      "effEditMouse",
                                      "effEditKey",
                                      "effEditIdle",
                                      "effEditTop",
                                      "effEditSleep",
                                      "effIdentify",
                                      "effGetChunk",
                                      "effSetChunk",
                                      "effProcessEvents",
                                      "effCanBeAutomated",
                                      "effString2Parameter",
                                      "effGetNumProgramCategories",
                                      "effGetProgramNameIndexed",
                                      "effCopyProgram",
                                      "effConnectInput",
                                      "effConnectOutput",
                                      "effGetInputProperties",
                                      "effGetOutputProperties",
                                      "effGetPlugCategory",
                                      "effGetCurrentPosition",
                                      "effGetDestinationBuffer",
                                      "effOfflineNotify",
                                      "effOfflinePrepare",
                                      "effOfflineRun",
                                      "effProcessVarIo",
                                      "effSetSpeakerArrangement",
                                      "effSetBlockSizeAndSampleRate",
                                      "effSetBypass",
                                      "effGetEffectName",
                                      "effGetErrorText",
                                      "effGetVendorString",
                                      "effGetProductString",
                                      "effGetVendorVersion",
                                      "effVendorSpecific",
                                      "effCanDo",
                                      "effGetTailSize",
                                      "effIdle",
                                      "effGetIcon",
                                      "effSetViewPosition",
                                      "effGetParameterProperties",
                                      "effKeysRequired",
                                      "effGetVstVersion",
                                      "effEditKeyDown",
                                      "effEditKeyUp",
                                      "effSetEditKnobMode",
                                      "effGetMidiProgramName",
                                      "effGetCurrentMidiProgram",
                                      "effGetMidiProgramCategory",
                                      "effHasMidiProgramsChanged",
                                      "effGetMidiKeyName",
                                      "effBeginSetProgram",
                                      "effEndSetProgram",
                                      "effGetSpeakerArrangement",
                                      "effShellGetNextPlugin",
                                      "effStartProcess",
                                      "effStopProcess",
                                      "effSetTotalSampleToProcess"};
  if (opcode >= 0 && static_cast<size_t>(opcode) < std::size(names)) return names[opcode];
  return "the dispatcher";
}

std::string opcodeName(VstInt32 opcode) {
  const std::string name = opcodeLabel(opcode);
  return name != "the dispatcher" ? name : "dispatcher opcode " + std::to_string(opcode);
}

std::string TextAnswer::describe(size_t limit) const {
  std::string shown = text.size() > 60 ? text.substr(0, 60) + "..." : text;
  for (char& c : shown)
    if (static_cast<unsigned char>(c) < 32) c = '?';
  if (padded && length <= limit)
    return "wrote zeros past its " + std::to_string(limit) + "-character limit after \"" + shown +
           "\" (bytes up to " + std::to_string(touched) + ")";
  if (overrun && length <= limit)
    return "wrote past the " + std::to_string(limit) + "-character limit after \"" + shown +
           "\" (bytes up to " + std::to_string(touched) + " changed)";
  return "wrote " + std::to_string(length) + " characters (limit " + std::to_string(limit) +
         "): \"" + shown + "\"";
}

bool judgeText(Check& c, const TextAnswer& a, size_t limit, const std::string& call) {
  if (!a.ok(limit)) {
    c.report(Kind::Text, call + " " + a.describe(limit));
    return false;
  }
  if (a.padded) c.report(Kind::Padding, call + " " + a.describe(limit));
  return true;
}

Instance::Instance(const std::string& path) : host_(std::make_unique<khost::HostContext>()) {
  plugin_ = intoPlugin("the entry point or effOpen",
                       [&] { return std::make_unique<khost::Plugin>(path, *host_); });
}

Instance::~Instance() {
  try {
    close();
  } catch (const std::exception&) {
    // Already reported by the call that threw first, or nothing to report to.
  }
}

VstIntPtr Instance::dispatch(VstInt32 opcode, VstInt32 index, VstIntPtr value, void* ptr,
                             float opt) {
  return intoPlugin(opcodeLabel(opcode),
                    [&] { return plugin_->dispatch(opcode, index, value, ptr, opt); });
}

VstIntPtr Instance::dispatchText(VstInt32 opcode, VstInt32 index, const std::string& text) {
  const char* call = opcode == effCanDo ? "effCanDo" : "effSetProgramName";
  uint8_t* p = textArea_.place(text.size() + 1, 1, {call, "text", -1, -1});
  std::memcpy(p, text.c_str(), text.size() + 1);
  const VstIntPtr answer = dispatch(opcode, index, 0, p);
  strays(textArea_);
  return answer;
}

float Instance::getParameter(int index) {
  return intoPlugin("getParameter", [&] { return plugin_->getParameter(index); });
}

void Instance::setParameter(int index, float value) {
  intoPlugin("setParameter", [&] { plugin_->setParameter(index, value); });
}

void Instance::close() {
  if (!plugin_) return;
  if (running_) stop();
  std::unique_ptr<khost::Plugin> p = std::move(plugin_);
  intoPlugin("effClose", [&] { p->close(); });
}

void Instance::closeWithoutSuspend() {
  if (!plugin_) return;
  running_ = false;
  std::unique_ptr<khost::Plugin> p = std::move(plugin_);
  intoPlugin("effClose", [&] { p->close(false); });
}

void Instance::start(double rate, int32_t maxBlock) {
  if (running_) stop();
  host_->sampleRate = rate;
  host_->blockSize = maxBlock;
  dispatch(effSetSampleRate, 0, 0, nullptr, static_cast<float>(rate));
  dispatch(effSetBlockSize, 0, maxBlock);
  maxBlock_ = maxBlock;
  const size_t frames = static_cast<size_t>(std::max(maxBlock, 1));
  const size_t ins = static_cast<size_t>(std::max(numInputs(), 1));
  const size_t outs = static_cast<size_t>(std::max(numOutputs(), 1));
  outs_.assign(outs, std::vector<float>(frames, 0.0f));
  while (inAreas_.size() < ins) inAreas_.push_back(std::make_unique<GuardedArea>());
  while (outAreas_.size() < outs) outAreas_.push_back(std::make_unique<GuardedArea>());
  intoPlugin("effMainsChanged or effStartProcess", [&] { plugin_->resume(); });
  running_ = true;
}

void Instance::stop() {
  running_ = false;
  intoPlugin("effStopProcess or effMainsChanged", [&] { plugin_->suspend(); });
}

void Instance::strays(const GuardedArea& area) {
  const std::string what = area.strayWrites();
  if (what.empty()) return;
  if (Check* c = Check::current()) c->report(Kind::Memory, what);
}

void Instance::sendMidi(const std::vector<VstMidiEvent>& events) {
  if (events.empty()) return;
  const GuardedArea::Label label{"effProcessEvents", "event list", -1, -1};
  auto* copies = reinterpret_cast<VstMidiEvent*>(
      eventArea_.place(events.size() * sizeof(VstMidiEvent), alignof(VstMidiEvent), label));
  std::memcpy(copies, events.data(), events.size() * sizeof(VstMidiEvent));
  // VstEvents holds a pointer array of any length after its header; never
  // shorter than the declared struct, which hosts' lists always fill.
  const size_t bytes =
      std::max(sizeof(VstEvents), offsetof(VstEvents, events) + events.size() * sizeof(VstEvent*));
  uint8_t* raw = listArea_.place(bytes, alignof(VstEvents), label);
  std::memset(raw, 0, bytes);
  auto* list = reinterpret_cast<VstEvents*>(raw);
  list->numEvents = static_cast<VstInt32>(events.size());
  VstEvent** slots = reinterpret_cast<VstEvent**>(raw + offsetof(VstEvents, events));
  for (size_t i = 0; i < events.size(); ++i) slots[i] = reinterpret_cast<VstEvent*>(&copies[i]);
  {
    rt::Watch w;
    dispatch(effProcessEvents, 0, 0, list);
  }
}

void Instance::process(const std::vector<const float*>& in, const std::vector<float*>& out,
                       int32_t frames, bool inPlace) {
  AEffect* e = effect();
  const size_t n = static_cast<size_t>(std::max(frames, 0));
  // Aligned as hosts' buffers are; a 0-frame call still gets a few bytes.
  const size_t bytes = n > 0 ? n * sizeof(float) : 16;
  inPtrs_.assign(inAreas_.size(), nullptr);
  outPtrs_.assign(outs_.size(), nullptr);
  for (size_t c = 0; c < inAreas_.size(); ++c) {
    const GuardedArea::Label label{"processReplacing", inPlace ? "in-place pin" : "input",
                                   static_cast<int>(c), static_cast<long>(n)};
    auto* p = reinterpret_cast<float*>(inAreas_[c]->place(bytes, 16, label));
    if (c < in.size() && in[c] != nullptr)
      std::memcpy(p, in[c], n * sizeof(float));
    else
      std::fill(p, p + n, 0.0f);
    inPtrs_[c] = p;
  }
  for (size_t c = 0; c < outs_.size(); ++c) {
    if (inPlace && c < inAreas_.size()) {
      outPtrs_[c] = inPtrs_[c];
    } else {
      const GuardedArea::Label label{"processReplacing", "output", static_cast<int>(c),
                                     static_cast<long>(n)};
      auto* p = reinterpret_cast<float*>(outAreas_[c]->place(bytes, 16, label));
      std::fill(p, p + n, 0.0f);
      outPtrs_[c] = p;
    }
  }
  host_->processing = true;
  intoPlugin("processReplacing", [&] {
    rt::Watch w;
    if (e->processReplacing != nullptr)
      e->processReplacing(e, inPtrs_.data(), outPtrs_.data(), frames);
    else if (e->process != nullptr)
      e->process(e, inPtrs_.data(), outPtrs_.data(), frames);
  });
  host_->processing = false;
  host_->samplePos += frames;
  for (size_t c = 0; c < inAreas_.size(); ++c) strays(*inAreas_[c]);
  for (size_t c = 0; c < outs_.size(); ++c) {
    if (!(inPlace && c < inAreas_.size())) strays(*outAreas_[c]);
    std::memcpy(outs_[c].data(), outPtrs_[c], n * sizeof(float));
    if (c < out.size() && out[c] != nullptr)
      std::memcpy(out[c], outs_[c].data(), n * sizeof(float));
  }
}

void Instance::processSignal(const float* signal, int32_t frames, bool inPlace) {
  std::vector<const float*> in(inAreas_.size(), signal);
  process(in, {}, frames, inPlace);
}

TextAnswer Instance::text(VstInt32 opcode, VstInt32 index, size_t limit, VstIntPtr value) {
  uint8_t* buffer = textArea_.place(kTextBuffer, 1, {opcodeLabel(opcode), "text buffer", -1, -1});
  std::memset(buffer, 0, limit + 1);
  std::memset(buffer + limit + 1, kGuard, kTextBuffer - limit - 1);
  dispatch(opcode, index, value, buffer);
  strays(textArea_);
  TextAnswer a;
  bool nonZero = false;
  for (size_t i = limit + 1; i < kTextBuffer; ++i)
    if (buffer[i] != kGuard) {
      a.touched = i + 1;
      if (buffer[i] != 0) nonZero = true;
    }
  if (a.touched > 0) {
    a.padded = !nonZero && a.touched <= kPaddingReach;
    a.overrun = !a.padded;
  }
  a.length = strnlen(reinterpret_cast<const char*>(buffer), kTextBuffer);
  a.text.assign(reinterpret_cast<const char*>(buffer), a.length);
  return a;
}

std::vector<uint8_t> Instance::chunk(bool program) {
  void* data = nullptr;
  const VstIntPtr size = dispatch(effGetChunk, program ? 1 : 0, 0, &data);
  if (size <= 0 || data == nullptr) return {};
  const auto* p = static_cast<const uint8_t*>(data);
  return std::vector<uint8_t>(p, p + size);
}

VstIntPtr Instance::setChunk(const std::vector<uint8_t>& bytes, bool program) {
  // A copy the plug-in may read while the call lasts, and no further than its end.
  uint8_t* p = chunkArea_.place(bytes.size(), 1, {"effSetChunk", "chunk", -1, -1});
  if (!bytes.empty()) std::memcpy(p, bytes.data(), bytes.size());
  const VstIntPtr answer =
      dispatch(effSetChunk, program ? 1 : 0, static_cast<VstIntPtr>(bytes.size()), p);
  strays(chunkArea_);
  return answer;
}

std::vector<float> Instance::parameters() {
  std::vector<float> v;
  for (int i = 0; i < plugin_->numParams(); ++i) v.push_back(getParameter(i));
  return v;
}

}  // namespace validate
