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

// Bytes of the channel message that `status` begins, or 0 when it begins
// none (a data byte, or a system message).
uint32_t channelMessageLength(uint8_t status) {
  if (status < 0x80 || status >= 0xF0) return 0;
  const uint8_t kind = status & 0xF0;
  return (kind == 0xC0 || kind == 0xD0) ? 2 : 3;
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

void Lv2Korva::cleanup() {
  hostGone.store(true, std::memory_order_release);
  release();
}

void Lv2Korva::retain() {
  holds.fetch_add(1, std::memory_order_relaxed);
}

void Lv2Korva::release() {
  if (holds.fetch_sub(1, std::memory_order_acq_rel) == 1) delete this;
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
  for (auto& v : lastPortValue)
    v.store(std::numeric_limits<float>::quiet_NaN(), std::memory_order_relaxed);
}

bool Lv2Korva::takePortValue(int i, float x) {
  // NaN from a host is no value.
  if (!(x == x) || x == lastPortValue[i].load(std::memory_order_relaxed)) return false;
  // Recorded before the effect takes it, the UI's order reversed (see
  // takeReportedPortValue): whichever thread comes second, the port wins.
  lastPortValue[i].store(x, std::memory_order_relaxed);
  // A value that already describes what the effect holds (a preset the
  // state brought, or the port's own last value) is not sent again, so the
  // stored preset keeps its exact numbers.
  if (portValue(i, vek->getParameter(i)) == x) return false;
  vek->setParameter(i, engineValue(i, x));
  return i == kDlyClk || i == kRptInf;
}

void Lv2Korva::followDelayPort() {
  const float x = lastPortValue[kDlyTime].load(std::memory_order_relaxed);
  if (x == x && portValue(kDlyTime, vek->getParameter(kDlyTime)) != x)
    vek->setParameter(kDlyTime, engineValue(kDlyTime, x));
}

void Lv2Korva::applyPorts() {
  bool switchesChanged = false;
  for (int i = 0; i < kNumParams; ++i)
    if (controls[i] && takePortValue(i, *controls[i])) switchesChanged = true;
  if (switchesChanged) followDelayPort();
}

void Lv2Korva::takeReportedPortValue(int i, float x) {
  if (i < 0 || i >= kNumParams || !(x == x)) return;
  if (x == lastPortValue[i].load(std::memory_order_relaxed)) return;
  const bool differs = portValue(i, vek->getParameter(i)) != x;
  if (differs) vek->setParameter(i, engineValue(i, x));
  // Recorded after the effect took it: should a block start meanwhile with
  // another port value, either it sets the effect after us or the next block
  // sees a recorded value that is not the port's and takes the port again.
  lastPortValue[i].store(x, std::memory_order_relaxed);
  if (differs && (i == kDlyClk || i == kRptInf)) followDelayPort();
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
      // Whole channel messages only: a status byte and all the data bytes it
      // needs, each below 0x80. Cut short, a message would reach the effect
      // padded with zeros (a lone 0xB0 as "controller 0 = 0"). System
      // exclusive and running status are not for us.
      const uint32_t needed = size >= 1 ? channelMessageLength(data[0]) : 0;
      bool whole = needed > 0 && size >= needed && size <= 3;
      for (uint32_t b = 1; whole && b < needed; ++b) whole = data[b] < 0x80;
      if (whole && eventList.numEvents < kMaxMidiEvents) {
        VstMidiEvent& m = midi[eventList.numEvents++];
        std::memset(&m, 0, sizeof(m));
        m.type = kVstMidiType;
        m.byteSize = sizeof(VstMidiEvent);
        m.deltaFrames = static_cast<VstInt32>(frame);
        m.flags = 1;
        for (uint32_t b = 0; b < needed; ++b) m.midiData[b] = static_cast<char>(data[b]);
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
  blocks.store(blocks.load(std::memory_order_relaxed) + 1, std::memory_order_release);
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
  if (!data) return restorePreset(retrieve, handle);
  if (type != uris.atomChunk) return refuse(LV2_STATE_ERR_BAD_TYPE, "a state of another type");
  if (size != static_cast<size_t>(kChunkSize))
    return refuse(LV2_STATE_ERR_UNKNOWN, describeChunkVerdict(ChunkVerdict::kUnusable));
  // The effect checks identifier, byte order, counts and every value on a
  // copy first, so a refused state changes nothing.
  const ChunkVerdict verdict = vek->restoreChunk(data, kChunkSize);
  if (verdict != ChunkVerdict::kTaken)
    return refuse(LV2_STATE_ERR_UNKNOWN, describeChunkVerdict(verdict));
  forgetPortValues();
  return LV2_STATE_SUCCESS;
}

LV2_State_Status Lv2Korva::restorePreset(LV2_State_Retrieve_Function retrieve,
                                         LV2_State_Handle handle) {
  size_t size = 0;
  uint32_t type = 0, flags = 0;
  const void* data = retrieve(handle, uris.presetKey, &size, &type, &flags);
  if (!data) return LV2_STATE_ERR_NO_PROPERTY;
  int64_t number = -1;
  if (type == uris.atomInt && size == sizeof(int32_t)) {
    int32_t n;
    std::memcpy(&n, data, sizeof n);
    number = n;
  } else if (type == uris.atomLong && size == sizeof(int64_t)) {
    std::memcpy(&number, data, sizeof number);
  } else {
    return refuse(LV2_STATE_ERR_BAD_TYPE, "a preset number that is no integer");
  }
  if (number < 0 || number >= kNumPresets)
    return refuse(LV2_STATE_ERR_UNKNOWN, "a preset number outside 0..16");
  // The stored presets stay as they are; the port values that come with the
  // preset are its own values and describe what is now selected. The ports
  // are not forgotten: until the host has set them, they still hold the
  // values they held, which are no edit either.
  vek->selectPreset(static_cast<VstInt32>(number));
  return LV2_STATE_SUCCESS;
}

LV2_State_Status Lv2Korva::refuse(LV2_State_Status status, const char* why) {
  std::fprintf(stderr, "korva.lv2: state refused, nothing changed: %s\n", why);
  return status;
}

}  // namespace korvalv2
