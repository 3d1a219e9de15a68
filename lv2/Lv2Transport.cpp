#include "lv2/Lv2Transport.h"

#include <cmath>
#include <cstring>

#include "lv2/atom/util.h"

namespace korvalv2 {

namespace {

// Time signatures beyond this are no music; they would not fit the answer.
constexpr double kMaxSignature = 1024.0;

// A number atom of any of the four numeric types.
bool readNumber(const Uris& uris, const LV2_Atom* a, double& out) {
  if (a->type == uris.atomFloat && a->size >= sizeof(float))
    out = reinterpret_cast<const LV2_Atom_Float*>(a)->body;
  else if (a->type == uris.atomDouble && a->size >= sizeof(double))
    out = reinterpret_cast<const LV2_Atom_Double*>(a)->body;
  else if (a->type == uris.atomInt && a->size >= sizeof(int32_t))
    out = reinterpret_cast<const LV2_Atom_Int*>(a)->body;
  else if (a->type == uris.atomLong && a->size >= sizeof(int64_t))
    out = static_cast<double>(reinterpret_cast<const LV2_Atom_Long*>(a)->body);
  else
    return false;
  return std::isfinite(out);
}

}  // namespace

void Lv2Transport::readPosition(const Uris& uris, const LV2_Atom_Object_Body* body, uint32_t size,
                                uint32_t frameInBlock) {
  if (size < sizeof(LV2_Atom_Object_Body)) return;
  bool hasBpm = false, hasBeat = false, hasBar = false, hasBarBeat = false, hasSpeed = false;
  double newBpm = 0, newBeat = 0, bar = 0, barBeat = 0, newSpeed = 0;
  double newBeatsPerBar = beatsPerBar, newBeatUnit = beatUnit;
  // Walk the properties by hand, every size checked against what is left.
  const uint8_t* p = reinterpret_cast<const uint8_t*>(body) + sizeof(LV2_Atom_Object_Body);
  uint32_t left = size - static_cast<uint32_t>(sizeof(LV2_Atom_Object_Body));
  while (left >= sizeof(LV2_Atom_Property_Body)) {
    const auto* prop = reinterpret_cast<const LV2_Atom_Property_Body*>(p);
    const uint32_t valueSize = prop->value.size;
    if (valueSize > left - sizeof(LV2_Atom_Property_Body)) break;  // runs past the object
    const uint32_t whole =
        lv2_atom_pad_size(static_cast<uint32_t>(sizeof(LV2_Atom_Property_Body)) + valueSize);
    double v = 0;
    if (readNumber(uris, &prop->value, v)) {
      if (prop->key == uris.timeBeatsPerMinute) {
        hasBpm = v > 0.0;
        newBpm = v;
      } else if (prop->key == uris.timeBeat) {
        hasBeat = true;
        newBeat = v;
      } else if (prop->key == uris.timeBar) {
        hasBar = true;
        bar = v;
      } else if (prop->key == uris.timeBarBeat) {
        hasBarBeat = true;
        barBeat = v;
      } else if (prop->key == uris.timeSpeed) {
        hasSpeed = true;
        newSpeed = v;
      } else if (prop->key == uris.timeBeatsPerBar && v >= 1.0 && v <= kMaxSignature) {
        newBeatsPerBar = v;
      } else if (prop->key == uris.timeBeatUnit && v >= 1.0 && v <= kMaxSignature) {
        newBeatUnit = v;
      }
    }
    if (whole >= left) break;
    p += whole;
    left -= whole;
  }
  beatsPerBar = static_cast<float>(newBeatsPerBar);
  beatUnit = static_cast<float>(newBeatUnit);
  if (hasBpm) {
    bpm = newBpm;
    tempoKnown = true;
  }
  if (hasSpeed) speed = newSpeed;
  if (!hasBeat && hasBar && hasBarBeat) {
    newBeat = bar * newBeatsPerBar + barBeat;
    hasBeat = true;
  }
  if (hasBeat) {
    // Beats of the time signature's unit into quarter notes, taken back to
    // the start of the block.
    const double quarters = newBeat * 4.0 / newBeatUnit;
    beat = quarters - static_cast<double>(frameInBlock) / sampleRate * bpm / 60.0 * speed;
    positionKnown = true;
  }
}

VstTimeInfo* Lv2Transport::timeInfo(VstIntPtr filter) {
  if (!tempoKnown) return nullptr;
  if ((filter & kVstPpqPosValid) && !positionKnown) return nullptr;
  std::memset(&info, 0, sizeof(info));
  info.sampleRate = sampleRate;
  info.tempo = bpm;
  info.ppqPos = beat;
  info.timeSigNumerator = static_cast<VstInt32>(beatsPerBar);
  info.timeSigDenominator = static_cast<VstInt32>(beatUnit);
  info.flags = kVstTempoValid | kVstTimeSigValid;
  if (positionKnown) info.flags |= kVstPpqPosValid;
  if (speed != 0.0) info.flags |= kVstTransportPlaying;
  return &info;
}

void Lv2Transport::endBlock(uint32_t frames) {
  if (positionKnown) beat += static_cast<double>(frames) / sampleRate * bpm / 60.0 * speed;
}

}  // namespace korvalv2
