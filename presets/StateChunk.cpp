#include <cstring>

#include "presets/ByteOrder.h"
#include "presets/CPresetSystemEffect.h"

namespace {
constexpr int kMagicOffset = 0;
constexpr int kIdOffset = 4;
constexpr int kCountOffset = 8;
constexpr int kCurrentOffset = 12;
constexpr int kReservedOffset = 16;
constexpr int kReservedWords = 4;
constexpr int kPresetsOffset = 32;
constexpr int kRecordSize = static_cast<int>(sizeof(PresetRecord));
constexpr int kValuesInRecord = kPresetNameLength;
constexpr int kAssignmentOffset = kPresetsOffset + kNumPresets * kRecordSize;
static_assert(kAssignmentOffset == 1664, "assignment values follow the 17 records");
static_assert(kAssignmentOffset + kNumAssignmentParams * 4 == kChunkSize, "chunk is 1736 bytes");

// Reverses every word of a chunk written on a machine of the other order;
// the identifier is already known and names are bytes.
void swapChunkWords(unsigned char* b) {
  presetbytes::swapWordInPlace(b + kMagicOffset);
  presetbytes::swapWordInPlace(b + kCountOffset);
  presetbytes::swapWordInPlace(b + kCurrentOffset);
  for (int w = 0; w < kReservedWords; ++w)
    presetbytes::swapWordInPlace(b + kReservedOffset + 4 * w);
  for (int p = 0; p < kNumPresets; ++p) {
    unsigned char* values = b + kPresetsOffset + kRecordSize * p + kValuesInRecord;
    for (int j = 0; j < kNumParams; ++j) presetbytes::swapWordInPlace(values + 4 * j);
  }
  for (int j = 0; j < kNumAssignmentParams; ++j)
    presetbytes::swapWordInPlace(b + kAssignmentOffset + 4 * j);
}
}  // namespace

VstInt32 CPresetSystemEffect::getChunk(void** data, bool /*isPreset*/) {
  if (!chunkBuffer || !presets || !data) return 0;
  unsigned char* b = chunkBuffer;
  std::memset(b, 0, kChunkSize);
  presetbytes::writeU32(b + kMagicOffset, kChunkMagic);
  presetbytes::writeU32(b + kIdOffset, static_cast<uint32_t>(getPluginId()));
  presetbytes::writeU32(b + kCountOffset, static_cast<uint32_t>(kNumPresets));
  presetbytes::writeU32(b + kCurrentOffset, static_cast<uint32_t>(getCurrentPreset()));
  for (VstInt32 p = 0; p < kNumPresets; ++p) {
    unsigned char* record = b + kPresetsOffset + kRecordSize * p;
    std::memcpy(record, presets[p].name, kPresetNameLength);
    for (VstInt32 j = 0; j < kNumParams; ++j)
      presetbytes::writeFloat(record + kValuesInRecord + 4 * j, storedValue(p, j));
  }
  for (VstInt32 j = 0; j < kNumAssignmentParams; ++j)
    presetbytes::writeFloat(b + kAssignmentOffset + 4 * j,
                            assignmentValues[j].load(std::memory_order_relaxed));
  *data = b;
  return kChunkSize;
}

const char* describeChunkVerdict(ChunkVerdict verdict) {
  switch (verdict) {
    case ChunkVerdict::kTaken:
      return "taken";
    case ChunkVerdict::kUnusable:
      return "not a 1736-byte state";
    case ChunkVerdict::kForeign:
      return "the state of another plug-in";
    case ChunkVerdict::kOtherLayout:
      return "a state of another layout";
    case ChunkVerdict::kWrongCount:
      return "a state that does not hold 17 presets";
    case ChunkVerdict::kValueOutOfRange:
      return "a state holding a value outside 0..1 or no number";
  }
  return "refused";
}

VstInt32 CPresetSystemEffect::setChunk(void* data, VstInt32 byteSize, bool /*isPreset*/) {
  const ChunkVerdict verdict = restoreChunk(data, byteSize);
  // A block of another layout answers 0 as if taken; hosts have always seen
  // that answer for it.
  return verdict == ChunkVerdict::kTaken || verdict == ChunkVerdict::kOtherLayout ? 0 : -1;
}

ChunkVerdict CPresetSystemEffect::restoreChunk(const void* data, VstInt32 byteSize) {
  if (!chunkBuffer || !presets || !hasTables() || !data || byteSize != kChunkSize)
    return ChunkVerdict::kUnusable;
  // Work on a private copy: the host may hand back our own buffer, and nothing
  // may change before the whole block is known to be good.
  unsigned char b[kChunkSize];
  std::memcpy(b, data, kChunkSize);

  const uint32_t id = static_cast<uint32_t>(getPluginId());
  const uint32_t word = presetbytes::readU32(b + kIdOffset);
  if (word != id) {
    if (word != presetbytes::swap32(id)) return ChunkVerdict::kForeign;
    swapChunkWords(b);
  }
  if (presetbytes::readU32(b + kMagicOffset) != kChunkMagic) return ChunkVerdict::kOtherLayout;
  if (static_cast<int32_t>(presetbytes::readU32(b + kCountOffset)) != kNumPresets)
    return ChunkVerdict::kWrongCount;

  // Every preset counts, not only the current one: any of them can be
  // selected later.
  float values[kNumPresets][kNumParams];
  float assignments[kNumAssignmentParams];
  for (VstInt32 p = 0; p < kNumPresets; ++p) {
    const unsigned char* record = b + kPresetsOffset + kRecordSize * p;
    for (VstInt32 j = 0; j < kNumParams; ++j)
      values[p][j] = presetbytes::readFloat(record + kValuesInRecord + 4 * j);
    if (!areStorableValues(values[p], kNumParams)) return ChunkVerdict::kValueOutOfRange;
  }
  for (VstInt32 j = 0; j < kNumAssignmentParams; ++j) {
    assignments[j] = presetbytes::readFloat(b + kAssignmentOffset + 4 * j);
    if (!isStorableAssignment(assignments[j])) return ChunkVerdict::kValueOutOfRange;
  }

  for (VstInt32 p = 0; p < kNumPresets; ++p) {
    std::memcpy(presets[p].name, b + kPresetsOffset + kRecordSize * p, kPresetNameLength);
    for (VstInt32 j = 0; j < kNumParams; ++j) storeValue(p, j, values[p][j]);
  }
  // The assignment travels as its values; the tables are rebuilt from them so
  // that the restored controllers drive their parameters again.
  for (VstInt32 c = 0; c < kNumControllers; ++c)
    controllerParameter[c].store(kNoAssignment, std::memory_order_relaxed);
  for (VstInt32 j = 0; j < kNumAssignmentParams; ++j) {
    parameterController[j].store(kNoAssignment, std::memory_order_relaxed);
    assignmentValues[j].store(assignmentValue(kNoAssignment), std::memory_order_relaxed);
  }
  for (VstInt32 j = 0; j < kNumAssignmentParams; ++j) {
    // Stored as read, so the state goes back out byte for byte.
    applyAssignmentValue(j, assignments[j]);
    if (parameterController[j].load(std::memory_order_relaxed) ==
        assignmentController(assignments[j]))
      assignmentValues[j].store(assignments[j], std::memory_order_relaxed);
  }

  // Also without a valid current preset the names have changed.
  stateChanged();
  const int32_t h = static_cast<int32_t>(presetbytes::readU32(b + kCurrentOffset));
  if (h >= 0 && h < kNumPresets) selectPreset(h);
  return ChunkVerdict::kTaken;
}
