#include "lv2/Lv2Korva.h"

#include <cmath>
#include <cstdio>
#include <cstring>
#include <limits>
#include <new>

#include "lv2/atom/util.h"
#include "lv2/urid/urid.h"

namespace korvalv2 {

namespace {

const LV2_URID_Map* findMap(const LV2_Feature* const* features) {
  if (!features) return nullptr;
  for (int i = 0; features[i]; ++i)
    if (features[i]->URI && std::strcmp(features[i]->URI, LV2_URID__map) == 0)
      return static_cast<const LV2_URID_Map*>(features[i]->data);
  return nullptr;
}

}  // namespace

Lv2Korva* Lv2Korva::create(double sampleRate, const LV2_Feature* const* features) {
  const LV2_URID_Map* map = findMap(features);
  if (!map || !map->map) {
    std::fputs("korva.lv2: the host provides no urid:map (" LV2_URID__map
               "); Korva needs it for MIDI, time and state and will not start\n",
               stderr);
    return nullptr;
  }
  if (!DelayEngine::supportsSampleRate(sampleRate)) {
    std::fprintf(stderr, "korva.lv2: %s; the plug-in will not start\n",
                 VEK::rateRefusal(sampleRate).c_str());
    return nullptr;
  }
  auto* self = new (std::nothrow) Lv2Korva(map, sampleRate);
  if (self && !self->vek) {
    delete self;
    self = nullptr;
  }
  if (!self) std::fputs("korva.lv2: out of memory creating the plug-in\n", stderr);
  return self;
}

Lv2Korva::Lv2Korva(const LV2_URID_Map* map, double sampleRate)
    : uris(map), rate(sampleRate > 0.0 ? sampleRate : 44100.0) {
  forgetPortValues();
  for (int i = 0; i < kMaxMidiEvents; ++i)
    eventList.events[i] = reinterpret_cast<VstEvent*>(&midi[i]);
  transport.setSampleRate(rate);
  vek = new (std::nothrow) VEK(&hostCallback);
  if (!vek) return;
  vek->getAeffect()->user = this;
  vek->setSampleRate(static_cast<float>(rate));
}

Lv2Korva::~Lv2Korva() {
  if (vek) {
    vek->close();
    delete vek;
  }
}

// The effect's questions to its host, answered for an LV2 host: every pin is
// connected (LV2 connects all ports), time comes from the atom port, and what
// a VST host would hear of edits and preset changes waits for the UI, which
// writes the ports (they are the host's).
VstIntPtr Lv2Korva::hostCallback(AEffect* effect, VstInt32 opcode, VstInt32 index, VstIntPtr value,
                                 void* /*ptr*/, float /*opt*/) {
  auto* self = effect ? static_cast<Lv2Korva*>(effect->user) : nullptr;
  switch (opcode) {
    case audioMasterVersion:
      return kVstVersion;
    case audioMasterGetTime:
      return self ? reinterpret_cast<VstIntPtr>(self->transport.timeInfo(value)) : 0;
    case audioMasterPinConnected:
      return (index == 0 || index == 1) ? 0 : 1;  // 0: connected
    case audioMasterWantMidi:
      return 1;
    case audioMasterAutomate:
      if (self && index >= 0 && index < kNumParams)
        self->portsToReport.fetch_or(1u << index, std::memory_order_acq_rel);
      return 0;
    case audioMasterUpdateDisplay:
      if (self) self->portsToReport.fetch_or((1u << kNumParams) - 1, std::memory_order_acq_rel);
      return 1;
    case audioMasterGetSampleRate:
      return self ? static_cast<VstIntPtr>(self->rate) : 0;
    default:
      return 0;
  }
}

void Lv2Korva::connect(uint32_t port, void* data) {
  switch (port) {
    case kPortInL:
    case kPortInR:
      in[port - kPortInL] = static_cast<const float*>(data);
      break;
    case kPortOutL:
    case kPortOutR:
      out[port - kPortOutL] = static_cast<float*>(data);
      break;
    case kPortEvents:
      events = static_cast<const LV2_Atom_Sequence*>(data);
      break;
    default:
      if (port >= kPortFirstControl && port < kNumPorts)
        controls[port - kPortFirstControl] = static_cast<const float*>(data);
      break;
  }
}

void Lv2Korva::activate() {
  // Values the host set before activating take effect before the engine's
  // reset, as parameters a VST host sets before resuming: the smoothers then
  // start at them instead of gliding there in the first block.
  applyPorts();
  vek->setSampleRate(static_cast<float>(rate));
  vek->resume();
}

void Lv2Korva::deactivate() {
  vek->suspend();
}

void Lv2Korva::forgetPortValues() {
  for (float& v : lastPortValue) v = std::numeric_limits<float>::quiet_NaN();
}

void Lv2Korva::applyPorts() {
  bool switchesChanged = false;
  for (int i = 0; i < kNumParams; ++i) {
    if (!controls[i]) continue;
    const float x = *controls[i];
    if (!(x == x) || x == lastPortValue[i]) continue;  // NaN from a host is no value
    lastPortValue[i] = x;
    // A value that already describes what the effect holds (a preset the
    // state brought, or the port's own last value) is not sent again, so the
    // stored preset keeps its exact numbers.
    if (portValue(i, vek->getParameter(i)) == x) continue;
    vek->setParameter(i, engineValue(i, x));
    if (i == kDlyClk || i == kRptInf) switchesChanged = true;
  }
  // While sync or hold is on the effect keeps DlyTime; once they are off the
  // delay follows the port again, as the host shows it.
  if (switchesChanged && controls[kDlyTime]) {
    const float x = *controls[kDlyTime];
    if (x == x && portValue(kDlyTime, vek->getParameter(kDlyTime)) != x)
      vek->setParameter(kDlyTime, engineValue(kDlyTime, x));
  }
}

void Lv2Korva::readEvents(uint32_t frames) {
  eventList.numEvents = 0;
  if (!events || events->atom.type != uris.atomSequence) return;
  uint32_t left = events->atom.size;
  if (left < sizeof(LV2_Atom_Sequence_Body)) return;
  left -= static_cast<uint32_t>(sizeof(LV2_Atom_Sequence_Body));
  const uint8_t* p =
      reinterpret_cast<const uint8_t*>(&events->body) + sizeof(LV2_Atom_Sequence_Body);
  // Every size is checked against what is left: an event that claims more
  // than the sequence holds ends the walk.
  while (left >= sizeof(LV2_Atom_Event)) {
    const auto* ev = reinterpret_cast<const LV2_Atom_Event*>(p);
    const uint32_t size = ev->body.size;
    if (size > left - sizeof(LV2_Atom_Event)) break;
    int64_t frame = ev->time.frames;
    if (frame < 0) frame = 0;
    if (frames > 0 && frame >= frames) frame = frames - 1;
    const auto* data = reinterpret_cast<const uint8_t*>(ev + 1);
    if (ev->body.type == uris.midiEvent) {
      // Channel messages of up to three bytes; system exclusive and running
      // status are not for us.
      if (size >= 1 && size <= 3 && (data[0] & 0x80) && data[0] < 0xF0 &&
          eventList.numEvents < kMaxMidiEvents) {
        VstMidiEvent& m = midi[eventList.numEvents++];
        std::memset(&m, 0, sizeof(m));
        m.type = kVstMidiType;
        m.byteSize = sizeof(VstMidiEvent);
        m.deltaFrames = static_cast<VstInt32>(frame);
        m.flags = 1;
        for (uint32_t b = 0; b < size; ++b) m.midiData[b] = static_cast<char>(data[b]);
      }
    } else if ((ev->body.type == uris.atomObject || ev->body.type == uris.atomBlank) &&
               size >= sizeof(LV2_Atom_Object_Body)) {
      const auto* body = reinterpret_cast<const LV2_Atom_Object_Body*>(data);
      if (body->otype == uris.timePosition)
        transport.readPosition(uris, body, size, static_cast<uint32_t>(frame));
    }
    const uint32_t whole = lv2_atom_pad_size(static_cast<uint32_t>(sizeof(LV2_Atom_Event)) + size);
    if (whole >= left) break;
    p += whole;
    left -= whole;
  }
}

void Lv2Korva::run(uint32_t frames) {
  applyPorts();
  readEvents(frames);
  // A VST host sends a block's events before the block.
  if (eventList.numEvents > 0) vek->processEvents(reinterpret_cast<VstEvents*>(&eventList));
  float* inputs[2] = {const_cast<float*>(in[0]), const_cast<float*>(in[1])};
  vek->processReplacing(inputs, out, static_cast<VstInt32>(frames));
  transport.endBlock(frames);
}

LV2_State_Status Lv2Korva::save(LV2_State_Store_Function store, LV2_State_Handle handle) {
  if (!store) return LV2_STATE_ERR_UNKNOWN;
  void* chunk = nullptr;
  const VstInt32 size = vek->getChunk(&chunk, false);
  if (size != kChunkSize || !chunk) return LV2_STATE_ERR_UNKNOWN;
  return store(handle, uris.stateKey, chunk, static_cast<size_t>(size), uris.atomChunk,
               LV2_STATE_IS_POD | LV2_STATE_IS_PORTABLE);
}

LV2_State_Status Lv2Korva::restore(LV2_State_Retrieve_Function retrieve, LV2_State_Handle handle) {
  if (!retrieve) return LV2_STATE_ERR_UNKNOWN;
  size_t size = 0;
  uint32_t type = 0, flags = 0;
  const void* data = retrieve(handle, uris.stateKey, &size, &type, &flags);
  if (!data) return LV2_STATE_ERR_NO_PROPERTY;
  if (type != uris.atomChunk) return LV2_STATE_ERR_BAD_TYPE;
  if (size != static_cast<size_t>(kChunkSize)) return LV2_STATE_ERR_UNKNOWN;
  // The effect checks identifier, byte order and counts and copies first, so
  // a refused state changes nothing.
  if (vek->setChunk(const_cast<void*>(data), kChunkSize, false) != 0) return LV2_STATE_ERR_UNKNOWN;
  forgetPortValues();
  return LV2_STATE_SUCCESS;
}

}  // namespace korvalv2
