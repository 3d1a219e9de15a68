#include "tools/validate/instance.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "tools/base/cli.h"
#include "tools/validate/rt_monitor.h"

namespace validate {

namespace {

constexpr size_t kTextBuffer = 1024;
constexpr unsigned char kGuard = 0xA5;

}  // namespace

std::string describeFloat(double v) {
  if (std::isnan(v)) return "nan";
  if (std::isinf(v)) return v > 0 ? "inf" : "-inf";
  return khost::formatGeneral(v);
}

std::string TextAnswer::describe(size_t limit) const {
  std::string shown = text.size() > 60 ? text.substr(0, 60) + "..." : text;
  for (char& c : shown)
    if (static_cast<unsigned char>(c) < 32) c = '?';
  if (overrun && length <= limit)
    return "wrote past the " + std::to_string(limit) + "-character limit after \"" + shown +
           "\" (bytes up to " + std::to_string(touched) + " changed)";
  return "wrote " + std::to_string(length) + " characters (limit " + std::to_string(limit) +
         "): \"" + shown + "\"";
}

Instance::Instance(const std::string& path)
    : host_(std::make_unique<khost::HostContext>()),
      plugin_(std::make_unique<khost::Plugin>(path, *host_)) {}

Instance::~Instance() {
  close();
}

void Instance::close() {
  if (!plugin_) return;
  if (running_) stop();
  plugin_->close();
  plugin_.reset();
}

void Instance::closeWithoutSuspend() {
  if (!plugin_) return;
  running_ = false;
  plugin_->close(false);
  plugin_.reset();
}

void Instance::start(double rate, int32_t maxBlock) {
  if (running_) stop();
  host_->sampleRate = rate;
  host_->blockSize = maxBlock;
  dispatch(effSetSampleRate, 0, 0, nullptr, static_cast<float>(rate));
  dispatch(effSetBlockSize, 0, maxBlock);
  maxBlock_ = maxBlock;
  const size_t frames = static_cast<size_t>(std::max(maxBlock, 1));
  ins_.assign(static_cast<size_t>(std::max(numInputs(), 1)), std::vector<float>(frames, 0.0f));
  outs_.assign(static_cast<size_t>(std::max(numOutputs(), 1)), std::vector<float>(frames, 0.0f));
  plugin_->resume();
  running_ = true;
}

void Instance::stop() {
  plugin_->suspend();
  running_ = false;
}

void Instance::sendMidi(const std::vector<VstMidiEvent>& events) {
  if (events.empty()) return;
  // VstEvents holds a pointer array of any length after its header.
  eventList_.assign(offsetof(VstEvents, events) + events.size() * sizeof(VstEvent*), 0);
  auto* list = reinterpret_cast<VstEvents*>(eventList_.data());
  list->numEvents = static_cast<VstInt32>(events.size());
  VstEvent** slots = reinterpret_cast<VstEvent**>(eventList_.data() + offsetof(VstEvents, events));
  for (size_t i = 0; i < events.size(); ++i)
    slots[i] = reinterpret_cast<VstEvent*>(const_cast<VstMidiEvent*>(&events[i]));
  rt::Watch w;
  dispatch(effProcessEvents, 0, 0, list);
}

void Instance::process(const std::vector<const float*>& in, const std::vector<float*>& out,
                       int32_t frames, bool inPlace) {
  AEffect* e = effect();
  const size_t n = static_cast<size_t>(std::max(frames, 0));
  inPtrs_.assign(ins_.size(), nullptr);
  outPtrs_.assign(outs_.size(), nullptr);
  for (size_t c = 0; c < ins_.size(); ++c) {
    if (c < in.size() && in[c] != nullptr)
      std::memcpy(ins_[c].data(), in[c], n * sizeof(float));
    else
      std::fill(ins_[c].begin(), ins_[c].begin() + static_cast<ptrdiff_t>(n), 0.0f);
    inPtrs_[c] = ins_[c].data();
  }
  for (size_t c = 0; c < outs_.size(); ++c) {
    if (inPlace && c < ins_.size()) {
      outPtrs_[c] = ins_[c].data();
    } else {
      std::fill(outs_[c].begin(), outs_[c].begin() + static_cast<ptrdiff_t>(n), 0.0f);
      outPtrs_[c] = outs_[c].data();
    }
  }
  host_->processing = true;
  {
    rt::Watch w;
    if (e->processReplacing != nullptr)
      e->processReplacing(e, inPtrs_.data(), outPtrs_.data(), frames);
    else if (e->process != nullptr)
      e->process(e, inPtrs_.data(), outPtrs_.data(), frames);
  }
  host_->processing = false;
  host_->samplePos += frames;
  for (size_t c = 0; c < outs_.size(); ++c) {
    if (outPtrs_[c] != outs_[c].data())
      std::memcpy(outs_[c].data(), outPtrs_[c], n * sizeof(float));
    if (c < out.size() && out[c] != nullptr)
      std::memcpy(out[c], outs_[c].data(), n * sizeof(float));
  }
}

void Instance::processSignal(const float* signal, int32_t frames, bool inPlace) {
  std::vector<const float*> in(ins_.size(), signal);
  process(in, {}, frames, inPlace);
}

TextAnswer Instance::text(VstInt32 opcode, VstInt32 index, size_t limit, VstIntPtr value) {
  unsigned char buffer[kTextBuffer];
  std::memset(buffer, 0, limit + 1);
  std::memset(buffer + limit + 1, kGuard, kTextBuffer - limit - 1);
  dispatch(opcode, index, value, buffer);
  TextAnswer a;
  for (size_t i = limit + 1; i < kTextBuffer; ++i)
    if (buffer[i] != kGuard) {
      a.overrun = true;
      a.touched = i + 1;
    }
  buffer[kTextBuffer - 1] = 0;
  a.text = reinterpret_cast<const char*>(buffer);
  a.length = a.text.size();
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
  // A copy the plug-in may read while the call lasts, and no longer.
  std::vector<uint8_t> copy = bytes;
  if (copy.empty()) copy.reserve(1);
  return dispatch(effSetChunk, program ? 1 : 0, static_cast<VstIntPtr>(bytes.size()), copy.data());
}

std::vector<float> Instance::parameters() {
  std::vector<float> v;
  for (int i = 0; i < plugin_->numParams(); ++i) v.push_back(plugin_->getParameter(i));
  return v;
}

long badSamples(const std::vector<std::vector<float>>& channels, int32_t frames, float bound,
                long* where, float* value) {
  long bad = 0;
  for (const auto& ch : channels)
    for (int32_t i = 0; i < frames && i < static_cast<int32_t>(ch.size()); ++i) {
      const float x = ch[static_cast<size_t>(i)];
      if (std::isfinite(x) && std::fabs(x) <= bound) continue;
      if (bad == 0) {
        if (where != nullptr) *where = i;
        if (value != nullptr) *value = x;
      }
      ++bad;
    }
  return bad;
}

}  // namespace validate
