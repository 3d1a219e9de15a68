// libFuzzer target for the inputs that reach the preset system from outside:
// the state chunk a host restores and the MIDI event lists it sends. The
// first byte chooses the input; the rest is the input itself.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "presets/CPresetSystemEffect.h"

namespace {

class FuzzEffect : public CPresetSystemEffect {
 public:
  FuzzEffect() : CPresetSystemEffect(nullptr) {}
  void processReplacing(float**, float**, VstInt32) override {}
  void setParameter(VstInt32 index, float value) override {
    if (!isLoadingPreset()) CPresetSystemEffect::setParameter(index, value);
  }

  // A chunk that is refused must leave no trace.
  std::vector<unsigned char> state() {
    void* data = nullptr;
    if (getChunk(&data) != kChunkSize) abort();
    std::vector<unsigned char> s(static_cast<unsigned char*>(data),
                                 static_cast<unsigned char*>(data) + kChunkSize);
    for (int p = 0; p < kNumParams; ++p)
      s.push_back(static_cast<unsigned char>(getParameterController(p)));
    return s;
  }

  void checkTables() {
    for (int p = 0; p < kNumParams; ++p) {
      VstInt32 c = getParameterController(p);
      if (c != kNoAssignment && getControllerParameter(c) != p) abort();
    }
  }
};

void fuzzChunk(FuzzEffect& e, const uint8_t* data, size_t size) {
  std::vector<unsigned char> before = e.state();
  std::vector<unsigned char> copy(data, data + size);
  VstInt32 r = e.setChunk(copy.data(), static_cast<VstInt32>(size));
  if (r == -1 && e.state() != before) abort();
  if (r != -1 && r != 0) abort();
  e.checkTables();
}

void fuzzEvents(FuzzEffect& e, const uint8_t* data, size_t size) {
  // Every 8 bytes: type selector, status, two data bytes, mode switches.
  const size_t count = size / 8;
  std::vector<VstMidiEvent> events(count);
  std::vector<VstEvent*> slots(count + 2, nullptr);
  for (size_t i = 0; i < count; ++i) {
    const uint8_t* d = data + 8 * i;
    VstMidiEvent& m = events[i];
    m.type = d[0] & 1 ? kVstMidiType : d[0];
    m.byteSize = sizeof(VstMidiEvent);
    std::memcpy(m.midiData, d + 1, 3);
    if (d[4] & 1) e.startLearn();
    if (d[4] & 2) e.startForget();
    if (d[4] & 4) e.setParameter(d[5] % 40, d[6] / 200.0f);
    if (d[4] & 8) e.selectPreset(d[7] % kNumPresets);
    slots[i] = d[4] & 16 ? nullptr : reinterpret_cast<VstEvent*>(&m);
  }
  std::vector<unsigned char> listBytes(sizeof(VstEvents) + sizeof(VstEvent*) * (count + 2));
  auto* list = reinterpret_cast<VstEvents*>(listBytes.data());
  list->numEvents = static_cast<VstInt32>(count);
  std::memcpy(list->events, slots.data(), sizeof(VstEvent*) * count);
  if (e.processEvents(list) != 1) abort();
  e.checkTables();
}

// A chunk this effect wrote, partly overwritten: reaches the checks behind
// the identifier far more often than raw bytes do.
void fuzzOverlay(FuzzEffect& e, const uint8_t* data, size_t size) {
  if (size < 2) return;
  void* own = nullptr;
  if (e.getChunk(&own) != kChunkSize) abort();
  std::vector<unsigned char> chunk(static_cast<unsigned char*>(own),
                                   static_cast<unsigned char*>(own) + kChunkSize);
  size_t at = (data[0] | (data[1] << 8)) % kChunkSize;
  for (size_t i = 2; i < size && at < chunk.size(); ++i, ++at) chunk[at] = data[i];
  fuzzChunk(e, chunk.data(), chunk.size());
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 1) return 0;
  FuzzEffect e;
  switch (data[0] % 3) {
    case 0:
      fuzzEvents(e, data + 1, size - 1);
      break;
    case 1:
      fuzzChunk(e, data + 1, size - 1);
      break;
    default:
      fuzzOverlay(e, data + 1, size - 1);
      break;
  }
  return 0;
}
