#include "tools/vst/process.h"

#include <algorithm>
#include <cstring>

namespace khost {

BlockProcessor::BlockProcessor(const Plugin& plugin, int32_t blockSize)
    : plugin_(plugin), blockSize_(blockSize) {
  const size_t ins = static_cast<size_t>(std::max(plugin.numInputs(), 2));
  const size_t outs = static_cast<size_t>(std::max(plugin.numOutputs(), 2));
  inputs_.assign(ins, std::vector<float>(static_cast<size_t>(blockSize), 0.0f));
  outputs_.assign(outs, std::vector<float>(static_cast<size_t>(blockSize), 0.0f));
  for (auto& b : inputs_) inPtrs_.push_back(b.data());
  for (auto& b : outputs_) outPtrs_.push_back(b.data());
}

void BlockProcessor::run(const float* inL, const float* inR, int64_t inFrames, int64_t frames,
                         float* outL, float* outR, const std::vector<MidiControlChange>& events,
                         int64_t startFrame) {
  AEffect* effect = plugin_.effect();
  HostContext& host = plugin_.host();
  size_t nextEvent = 0;
  while (nextEvent < events.size() && events[nextEvent].frame < startFrame) ++nextEvent;
  for (int64_t done = 0; done < frames;) {
    const int32_t n = static_cast<int32_t>(std::min<int64_t>(blockSize_, frames - done));
    const int64_t at = startFrame + done;
    for (auto& b : inputs_) std::fill(b.begin(), b.begin() + n, 0.0f);
    for (auto& b : outputs_) std::fill(b.begin(), b.begin() + n, 0.0f);
    const int64_t avail = std::clamp<int64_t>(inFrames - at, 0, n);
    if (avail > 0) {
      std::memcpy(inputs_[0].data(), inL + at, static_cast<size_t>(avail) * sizeof(float));
      if (host.inputRightConnected)
        std::memcpy(inputs_[1].data(), inR + at, static_cast<size_t>(avail) * sizeof(float));
    }

    // Events of this block; they stay valid until the next block.
    midi_.clear();
    while (nextEvent < events.size() && events[nextEvent].frame < at + n) {
      const MidiControlChange& cc = events[nextEvent++];
      VstMidiEvent m{};
      m.type = kVstMidiType;
      m.byteSize = sizeof(VstMidiEvent);
      m.deltaFrames = static_cast<VstInt32>(cc.frame - at);
      m.flags = 1;  // realtime event
      m.midiData[0] = static_cast<char>(0xB0 | cc.channel);
      m.midiData[1] = static_cast<char>(cc.controller);
      m.midiData[2] = static_cast<char>(cc.value);
      midi_.push_back(m);
    }
    if (!midi_.empty()) {
      eventList_.assign(offsetof(VstEvents, events) + midi_.size() * sizeof(VstEvent*), 0);
      auto* list = reinterpret_cast<VstEvents*>(eventList_.data());
      list->numEvents = static_cast<VstInt32>(midi_.size());
      VstEvent** slots =
          reinterpret_cast<VstEvent**>(eventList_.data() + offsetof(VstEvents, events));
      for (size_t i = 0; i < midi_.size(); ++i) slots[i] = reinterpret_cast<VstEvent*>(&midi_[i]);
      plugin_.dispatch(effProcessEvents, 0, 0, list);
    }

    host.samplePos = at;
    host.processing = true;
    if (effect->processReplacing != nullptr)
      effect->processReplacing(effect, inPtrs_.data(), outPtrs_.data(), n);
    else if (effect->process != nullptr)
      effect->process(effect, inPtrs_.data(), outPtrs_.data(), n);  // adds into the zeroed outputs
    host.processing = false;

    const float* right = plugin_.numOutputs() >= 2 ? outputs_[1].data() : outputs_[0].data();
    std::memcpy(outL + done, outputs_[0].data(), static_cast<size_t>(n) * sizeof(float));
    std::memcpy(outR + done, right, static_cast<size_t>(n) * sizeof(float));
    done += n;
  }
}

}  // namespace khost
